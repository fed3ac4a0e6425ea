#include "downloaditem.h"

#include "web/downloadbusystate.h"
#include "web/downloadfile.h"
#include "widgets/busywindow.h"
#include "widgets/downloadnotice.h"
#include "widgets/waitingspinnerwidget.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

namespace {

// What the reply may hold while the body streams to disk. Beyond it the network thread stops
// reading from the socket, so that the server waits for the disk instead of the body piling up
// in memory.
constexpr qint64 streamingBufferSize = 1024 * 1024;
constexpr int chunkBufferSize = 256 * 1024;
constexpr int defaultStallTimeoutSeconds = 60;

// The bound must reach the network thread before the body does. That thread passes on whatever
// it reads until it learns of the bound, and what it passed on unbounded is later taken off the
// bound's count when it is read: the reply then holds that much more for the rest of the
// transfer. Setting up the item's window takes the GUI thread tens of milliseconds, in which a
// fast server sends megabytes, so the bound is set before anything else.
QNetworkReply *boundedFromTheStart(QNetworkReply *reply)
{
    if (reply)
        reply->setReadBufferSize(streamingBufferSize);
    return reply;
}

} // namespace

int DownloadItem::liveItemCount = 0;

DownloadItem::DownloadItem(QNetworkReply *reply, QWidget *parentWidget)
    : QObject(nullptr)
    , m_reply(boundedFromTheStart(reply))
    , m_mutex(QMutex::NonRecursive)
    , m_spinner(new WaitingSpinnerWidget(parentWidget, true, true))
    , m_parentWidget(parentWidget)
    , m_print(false)
    , m_unzip(false)
    , m_finishPending(false)
    , m_stallTimer(new QTimer(this))
{
    ++liveItemCount;
    init();
}

DownloadItem::~DownloadItem()
{
    // Destroyed in the middle of a transfer: the window must not stay disabled behind it.
    m_busy.reset();
    delete m_spinner;
    --liveItemCount;
}

int DownloadItem::stallTimeoutMs()
{
    const int seconds = qEnvironmentVariableIntValue("KESTRION_STALL_TIMEOUT_SECONDS");
    return (seconds > 0 ? seconds : defaultStallTimeoutSeconds) * 1000;
}

void DownloadItem::init()
{
    if (!m_reply)
        return;

    m_busy = std::make_unique<DownloadBusyState>(m_spinner, m_parentWidget, this,
                                                 [this] { cancel(); });
    m_url = m_reply->url();

    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    connect(m_reply, SIGNAL(readyRead()), this, SLOT(downloadReadyRead()));
    connect(m_reply, SIGNAL(finished()), this, SLOT(downloadFinished()));
    connect(m_reply, SIGNAL(error(QNetworkReply::NetworkError)), this,
            SLOT(error(QNetworkReply::NetworkError)));
    // The manager deletes its replies when the page goes: nobody finishes this transfer then.
    connect(m_reply, &QObject::destroyed, this, &DownloadItem::replyDestroyed);
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(stallTimeoutMs());
    connect(m_stallTimer, &QTimer::timeout, this, &DownloadItem::endStalledTransfer);
    m_stallTimer->start();

    if (m_reply->error() != QNetworkReply::NoError)
        error(m_reply->error());
    if (m_reply->canReadLine()) {
        qDebug() << "DownloadItem::init directory canReadLine()";
        downloadReadyRead();
    }
    // Its finish was told before anyone listened: the window would otherwise stay disabled.
    if (m_reply && m_reply->isFinished())
        downloadFinished();
}

void DownloadItem::downloadReadyRead()
{
    qDebug() << "DownloadItem::downloadReadyRead";
    if (!m_reply)
        return;
    if (m_stage == Stage::WaitingForData || m_stage == Stage::Writing)
        m_stallTimer->start();
    showProgress();
    if (!m_mutex.tryLock(0)) {
        qDebug() << "DownloadItem::downloadReadyRead in progress";
        return;
    }

    if (m_stage == Stage::WaitingForData)
        openForFirstChunk();
    if (m_stage == Stage::Writing)
        writeAvailable();
    // Also the finish of a transfer that ended because its file could not take it.
    if (m_finishPending && (m_stage == Stage::Naming || m_stage == Stage::Writing))
        handleFinished();
    m_mutex.unlock();
    if (m_stage == Stage::GivenUp)
        m_busy.reset();
    deleteIfDone();
}

// Names and opens the destination. A failed open ends the download: the body that follows could
// only go to a file that lacks its start.
void DownloadItem::openForFirstChunk()
{
    m_finishPending = false;
    m_stage = Stage::Naming;
    // The dialog has a Cancel of its own, and the user is not to be hurried while choosing.
    m_stallTimer->stop();
    if (m_busy)
        m_busy->setCancelShown(false);
    getFileName();
    if (m_busy)
        m_busy->setCancelShown(true);
    if (m_file.fileName().isEmpty() || !m_reply) {
        qDebug() << "DownloadItem::downloadReadyRead empty file";
        m_stage = Stage::GivenUp;
        // A finish that came while the dialog was open is not handled any more: the reply
        // would otherwise stay with the manager for good.
        if (m_finishPending && m_reply)
            m_reply->deleteLater();
        return;
    }
    m_stallTimer->start();
    qDebug() << "DownloadItem::downloadReadyRead got filename=" << m_file.fileName();
    m_createdFile = !QFileInfo::exists(m_file.fileName());
    if (!openDownloadDestination(m_file, m_print || m_unzip, m_outcome.writeError)) {
        qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
        endTransfer(TransferEnd::NotWritten);
        return;
    }
    m_stage = Stage::Writing;
    m_outcome.opened = true;
    m_reply->setReadBufferSize(streamingBufferSize);
}

// Reads everything the reply holds, piece by piece through one buffer. Once a piece could not
// be written nothing more is appended, so that the file never gets a hole in the middle.
void DownloadItem::writeAvailable()
{
    if (m_chunkBuffer.isEmpty())
        m_chunkBuffer.resize(chunkBufferSize);
    qint64 count = 0;
    while ((count = m_reply->read(m_chunkBuffer.data(), m_chunkBuffer.size())) > 0) {
        if (!writeFully(m_file, m_chunkBuffer.constData(), count)) {
            m_outcome.writeError = m_file.errorString();
            qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
            endTransfer(TransferEnd::NotWritten);
            return;
        }
        m_outcome.written += count;
    }
}

// Cuts the transfer off; the reply's finish then ends the download as any other.
void DownloadItem::endTransfer(TransferEnd end)
{
    m_outcome.end = end;
    m_stallTimer->stop();
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

void DownloadItem::cancel()
{
    if (m_stage == Stage::Finished || m_stage == Stage::GivenUp)
        return;
    qDebug() << "DownloadItem::cancel url=" << m_url;
    endTransfer(TransferEnd::Cancelled);
}

void DownloadItem::endStalledTransfer()
{
    qDebug() << "DownloadItem::endStalledTransfer seconds=" << m_stallTimer->interval() / 1000
             << "url=" << m_url;
    endTransfer(TransferEnd::Stalled);
}

void DownloadItem::replyDestroyed()
{
    m_stallTimer->stop();
    // A handler waiting in a file dialog finds the reply gone once the dialog has closed.
    if (m_stage == Stage::Finished || m_stage == Stage::GivenUp || !m_mutex.tryLock(0))
        return;
    m_file.close();
    m_stage = Stage::GivenUp;
    m_mutex.unlock();
    m_busy.reset();
    deleteIfDone();
}

// The backdrop's line follows what has arrived, the bytes in the reply's buffer included, which
// grow while a dialog is open. The headers have arrived by the first chunk or the end.
void DownloadItem::showProgress()
{
    if (!m_busy || !m_busy->progressDue())
        return;
    if (m_outcome.name.isEmpty())
        m_outcome.name = DownloadNaming::shownName(m_reply->rawHeader("Content-Disposition"));
    m_busy->showProgress(DownloadMessages::progress(
        m_outcome.name, m_outcome.written + m_reply->bytesAvailable(),
        m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()));
}

void DownloadItem::showNotice(const QString &text, bool problem) const
{
    qDebug() << "DownloadItem::showNotice text=" << text;
    if (m_parentWidget) {
        DownloadNotice::showOn(m_parentWidget, text,
                               problem ? DownloadNotice::Tone::Problem
                                       : DownloadNotice::Tone::Done);
    }
}

void DownloadItem::release()
{
    m_released = true;
    deleteIfDone();
}

// A released item goes once its download has ended and no handler of it is running.
void DownloadItem::deleteIfDone()
{
    if (!m_released || (m_stage != Stage::Finished && m_stage != Stage::GivenUp)
        || !m_mutex.tryLock(0))
        return;
    m_mutex.unlock();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
    }
    deleteLater();
}

void DownloadItem::downloadFinished()
{
    qDebug() << "DownloadItem::downloadFinished";
    if (m_mutex.tryLock(0)) {
        handleFinished();
        m_mutex.unlock();
        deleteIfDone();
    } else {
        m_finishPending = true;
    }
}

void DownloadItem::error(QNetworkReply::NetworkError code)
{
    Q_UNUSED(code)
    qDebug() << "DownloadItem::error" << m_reply->errorString() << m_url;
}

void DownloadItem::providedFileName(QString &baseName, QString &endName)
{
    const QByteArray header = m_reply->rawHeader("Content-Disposition");
    DownloadNaming::splitOfferedName(header, baseName, endName);
    m_outcome.name = DownloadNaming::shownName(header);
}

void DownloadItem::getFileName()
{
    QString baseName;
    QString endName;
    providedFileName(baseName, endName);

    m_outcome.kind = DownloadNaming::kindOf(baseName, endName);
    m_print = m_outcome.kind == DownloadKind::PrintJob;
    m_unzip = m_outcome.kind == DownloadKind::ZipArchive;

    const QString directory = DownloadNaming::directoryFor(m_outcome.kind);
    const QString defaultFileName = DownloadNaming::uniqueFileName(directory, baseName, endName);
    qDebug() << "DownloadItem::getFileName defaultFileName=" << defaultFileName;
    QString downloadFileName = DownloadNaming::storedFileName(directory, baseName, endName);

    if (!m_print) {
        // While the user decides, the reply takes in whatever arrives, without a limit: a server
        // kept waiting for long might give up on the transfer.
        m_reply->setReadBufferSize(0);
        const BusyWindow::OpenDialog openDialog(m_parentWidget);
        if (m_unzip) {
            m_unzipLocation
                = QFileDialog::getExistingDirectory(m_parentWidget, tr("Select Directory"),
                                                    QDir::homePath(), QFileDialog::ShowDirsOnly);
        } else {
            downloadFileName
                = QFileDialog::getSaveFileName(m_parentWidget, tr("Save File"), defaultFileName,
                                               QString(), nullptr, QFileDialog::Options());
        }
    }
    // The page may have gone, and with it the reply, while the dialog was open.
    if (!m_reply)
        return;
    if (m_unzip ? m_unzipLocation.isEmpty() : downloadFileName.isEmpty()) {
        m_reply->close();
        return;
    }
    if (m_unzip)
        qDebug() << "DownloadItem::getFileName m_unzipLocation=" << m_unzipLocation;
    else if (!m_print)
        qDebug() << "DownloadItem::getFileName selectedFileName=" << downloadFileName;

    qDebug() << "DownloadItem::getFileName downloadFileName=" << downloadFileName;
    m_file.setFileName(downloadFileName);
    m_outcome.path = downloadFileName;
    m_outcome.unpackFolder = m_unzipLocation;
}

void DownloadItem::handleFinished()
{
    qDebug() << "DownloadItem::handleFinished";
    m_stallTimer->stop();
    if (m_reply) {
        DownloadMessages::takeTransferOutcome(m_outcome, *m_reply);
        m_reply->deleteLater();
    }
    if (m_file.isOpen()) {
        m_file.close();
        // Opened from a checked descriptor, the file no longer reports its name.
        m_file.setFileName(m_outcome.path);
    }
    // The item stays until the page replaces it; it keeps no buffer meanwhile.
    m_chunkBuffer.clear();
    // A cancelled download leaves nothing of its own behind, but a file the user chose to
    // replace keeps what came.
    if (m_outcome.end == TransferEnd::Cancelled && m_outcome.opened
        && (m_createdFile || m_print || m_unzip))
        m_outcome.removed = QFile::remove(m_file.fileName());

    // When nothing of this download reached the file, whatever sits under its name (a planted
    // link or FIFO, an older job) is not the download; nor is a part of the body what the
    // instrument offered. No tool is handed either.
    if ((m_print || m_unzip) && !m_outcome.opened)
        qDebug() << "DownloadItem::handleFinished nothing written to" << m_file.fileName();
    else if ((m_print || m_unzip) && !DownloadMessages::wholeBodyWritten(m_outcome))
        qDebug() << "DownloadItem::handleFinished incomplete" << m_file.fileName();
    else if (m_print || m_unzip)
        runFollowUpAction();
    m_busy.reset();
    // A cancelled dialog needs no word.
    const bool givenUp = m_stage == Stage::GivenUp;
    m_stage = Stage::Finished;
    if (givenUp)
        return;
    bool problem = false;
    const QString text = DownloadMessages::endNotice(m_outcome, problem);
    showNotice(text, problem);
}

void DownloadItem::runFollowUpAction()
{
    // The line is on the screen before the GUI thread waits for the tool.
    if (m_print) {
        if (m_busy)
            m_busy->showToolStepNow(DownloadMessages::printing(m_outcome.name));
        m_outcome.tool = printWithDialog(m_file.fileName());
    }
    if (m_unzip) {
        if (m_busy)
            m_busy->showToolStepNow(DownloadMessages::unpacking(m_outcome.name));
        m_outcome.tool = unpackArchive(m_file.fileName(), m_unzipLocation, m_outcome.unpackedFiles);
    }
}
