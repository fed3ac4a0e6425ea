#include "logcapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QThread>

QStringList logLines;
QStringList connectWarnings;

namespace {

QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // The lists belong to the GUI thread, where the code under test logs and the tests read
    // them without a lock; the web engine's own threads may log too, and go on to Qt's handler.
    const QCoreApplication *application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread()) {
        if (text.startsWith(QLatin1String("QObject::connect:")))
            connectWarnings << text;
        if (type == QtDebugMsg) {
            logLines << text;
            return;
        }
    }
    // The offscreen platform says so for every file dialog: only noise here.
    if (text == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    previousHandler(type, context, text);
}

} // namespace

void startLogCapture()
{
    previousHandler = qInstallMessageHandler(recordMessage);
}

void stopLogCapture()
{
    qInstallMessageHandler(previousHandler);
}

void expectNoConnectWarnings()
{
    const QStringList warnings = connectWarnings;
    connectWarnings.clear();
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
}

void showLogTailIfFailed()
{
    if (!QTest::currentTestFailed())
        return;
    QStringList tail = logLines.mid(qMax(0, logLines.size() - 40));
    for (QString &line : tail)
        line.truncate(200);
    qWarning("the last log lines:\n%s", qPrintable(tail.join(QLatin1Char('\n'))));
}

int linesStartingWith(const QString &prefix)
{
    int count = 0;
    for (const QString &line : qAsConst(logLines))
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

int finishesHandled()
{
    return logLines.count(QStringLiteral("DownloadItem::handleFinished"));
}

bool logged(const QString &line)
{
    return logLines.contains(line);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QString loggedDestination()
{
    const QString prefix = QStringLiteral("DownloadItem::getFileName downloadFileName= \"");
    for (int i = logLines.size() - 1; i >= 0; --i) {
        if (logLines.at(i).startsWith(prefix))
            return logLines.at(i).mid(prefix.size()).chopped(1);
    }
    return QString();
}
