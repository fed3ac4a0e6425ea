#include "singleinstance.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

namespace {

const QByteArray comeForwardRequest = "come forward\n";
const QByteArray cameForwardAnswer = "came forward\n";
// How often a second start knocks while the first is between its lock and its socket.
constexpr int knockIntervalMs = 50;

int remainingMs(const QElapsedTimer &clock)
{
    return int(qMax<qint64>(0, SingleInstance::answerTimeoutMs - clock.elapsed()));
}

} // namespace

SingleInstance::SingleInstance() = default;

// The lock goes with the process, by exit() without this destructor as well: a lock whose
// process has gone is stale, and the next start takes it over.
SingleInstance::~SingleInstance() = default;

QString SingleInstance::instanceName(const QString &platform, const QString &display)
{
    QString server = display;
    // The screen number after the display number names a screen of the same server.
    server.replace(QRegularExpression(QStringLiteral("(:\\d+)\\.\\d+$")), QStringLiteral("\\1"));
    server.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return QStringLiteral("kestrion-shell-") + platform + server;
}

QString SingleInstance::currentDisplay()
{
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    return QString::fromLocal8Bit(qgetenv(wayland ? "WAYLAND_DISPLAY" : "DISPLAY"));
}

bool SingleInstance::claim()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QString path = folder + QLatin1Char('/')
                         + instanceName(QGuiApplication::platformName(), currentDisplay());
    const QString lockPath = path + QStringLiteral(".lock");
    m_lock = std::make_unique<QLockFile>(lockPath);
    // Stale only when its process has gone, however old: a shell runs for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen(path + QStringLiteral(".socket"));
        return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        // Better a second window than none at all.
        qDebug() << "SingleInstance::claim cannot lock" << lockPath << "error=" << m_lock->error();
        return true;
    }
    qint64 pid = 0;
    QString hostName;
    QString application;
    m_lock->getLockInfo(&pid, &hostName, &application);
    const bool answered = askToComeForward(path + QStringLiteral(".socket"));
    qDebug() << "SingleInstance::secondStart pid=" << pid << "answered=" << answered;
    return false;
}

bool SingleInstance::askToComeForward(const QString &socketPath)
{
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    // The first may have taken the lock and not yet opened its socket: two starts at once.
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(remainingMs(clock)))
            break;
        socket.abort();
        if (remainingMs(clock) == 0)
            return false;
        QThread::msleep(knockIntervalMs);
    }
    socket.write(comeForwardRequest);
    if (!socket.waitForBytesWritten(remainingMs(clock)))
        return false;
    while (!socket.canReadLine()) {
        if (remainingMs(clock) == 0 || !socket.waitForReadyRead(remainingMs(clock)))
            return false;
    }
    return socket.readLine() == cameForwardAnswer;
}

void SingleInstance::listen(const QString &socketPath)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // What is left there belongs to a first that crashed: the lock was stale.
    QLocalServer::removeServer(socketPath);
    if (!m_server.listen(socketPath)) {
        qDebug() << "SingleInstance::claim cannot listen" << socketPath << m_server.errorString();
        return;
    }
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

void SingleInstance::setWindow(QWidget *window)
{
    m_window = window;
}

void SingleInstance::answer()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == comeForwardRequest) {
                bringToFront();
                socket->write(cameForwardAnswer);
            }
            socket->disconnectFromServer();
        });
    }
}

void SingleInstance::bringToFront()
{
    // Before the main window shows, the connection dialog is what the user is looking for.
    QWidget *target = QApplication::activeModalWidget();
    if (!target)
        target = m_window;
    qDebug() << "SingleInstance::bringToFront window="
             << (target ? target->windowTitle() : QString());
    if (!target || !target->isVisible())
        return;
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->raise();
    target->activateWindow();
}
