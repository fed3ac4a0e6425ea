#include "downloaditem.h"

#include "web/destinationchoice.h"
#include "web/downloadbusystate.h"
#include "web/downloadfile.h"
#include "web/stalltimer.h"
#include "web/toolrun.h"
#include "widgets/downloadnotice.h"
#include "widgets/waitingspinnerwidget.h"

#include <QDebug>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// What the reply may hold while the body streams to disk. Beyond it the network thread stops
// reading from the socket, so that the server waits for the disk instead of the body piling up
// in memory.
constexpr qint64 streamingBufferSize = 1024 * 1024;

} // namespace

DownloadItem::DownloadItem(QNetworkReply *reply, QWidget *parentWidget)
    : QObject(nullptr)
    , m_reply(reply)
    // The window's disabled state follows the count of busy downloads (BusyWindow), not each
    // indicator: one that disabled the window by itself, even for a moment, would take the
    // keyboard focus from a file dialog of another download that is open on it.
    , m_spinner(new WaitingSpinnerWidget(parentWidget, true, false))
    , m_parentWidget(parentWidget)
    , m_stallTimer(std::make_unique<StallTimer>(this, [this] {
        qDebug() << "DownloadItem::endStalledTransfer seconds=" << m_stallTimer->seconds()
                 << "url=" << m_url;
        endTransfer(TransferEnd::Stalled);
    }))
{
    ++liveItemCount;
    init();
}

DownloadItem::~DownloadItem()
{
    // Destroyed in the middle of a transfer: the window must not stay disabled behind it.
    m_busy.reset();
    // A part file is taken away; an earlier file under the chosen name stays as it was.
    m_part.discard(m_file);
    delete m_spinner;
    --liveItemCount;
}

void DownloadItem::init()
{
    if (!m_reply)
        return;

    // The bound must reach the network thread before the body does: what that thread passes on
    // unbounded is later taken off the bound's count, and the reply then holds that much more
    // for the rest of the transfer. Setting up the busy window takes the GUI thread tens of
    // milliseconds, in which a fast server sends megabytes.
    m_reply->setReadBufferSize(streamingBufferSize);
    m_busy = std::make_unique<DownloadBusyState>(m_spinner, m_parentWidget, this, [this] {
        if (m_stage == Stage::Finished || m_stage == Stage::GivenUp)
            return;
        qDebug() << "DownloadItem::cancel url=" << m_url;
        endTransfer(TransferEnd::Cancelled);
    });
    m_url = m_reply->url();

    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    connect(m_reply, SIGNAL(readyRead()), this, SLOT(downloadReadyRead()));
    connect(m_reply, SIGNAL(finished()), this, SLOT(downloadFinished()));
    // The signal's name since Qt 5.15, and its only one in Qt 6.
    connect(m_reply, SIGNAL(errorOccurred(QNetworkReply::NetworkError)), this,
            SLOT(error(QNetworkReply::NetworkError)));
    // The manager deletes its replies when the page goes: nobody finishes this transfer then.
    connect(m_reply, &QObject::destroyed, this, &DownloadItem::replyDestroyed);
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
        // A dialog of this download is open: what arrives meanwhile goes to its file on disk.
        if (m_stage == Stage::Naming && m_file.isOpen())
            writeAvailable();
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
    // An answer that sends the download on to an address that was not followed is not the file.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400) {
        qDebug() << "DownloadItem::downloadReadyRead not followed status=" << status << m_url;
        endTransfer(TransferEnd::Redirected);
        return;
    }
    // The dialog has a Cancel of its own, and the user is not to be hurried while choosing.
    m_stallTimer->stop();
    m_busy->setCancelShown(false);
    getFileName();
    m_busy->setCancelShown(true);
    if (!m_outcome.writeError.isEmpty()) {
        // A failed write while the dialog was open has ended the transfer already.
        if (m_outcome.end == TransferEnd::Received) {
            qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
            endTransfer(TransferEnd::NotWritten);
        }
        m_part.discard(m_file);
        m_folder.reset();
        return;
    }
    if (m_outcome.path.isEmpty() || !m_reply) {
        qDebug() << "DownloadItem::downloadReadyRead empty file";
        m_stage = Stage::GivenUp;
        m_file.close();
        m_folder.reset();
        // A finish that came while the dialog was open is not handled any more: the reply
        // would otherwise stay with the manager for good.
        if (m_finishPending && m_reply)
            m_reply->deleteLater();
        return;
    }
    m_stallTimer->start();
    qDebug() << "DownloadItem::downloadReadyRead got filename=" << m_outcome.path;
    if (m_outcome.kind == DownloadKind::OrdinaryFile
        && !m_part.takeOver(m_file, m_spoolPath, m_outcome.path, m_outcome.writeError)) {
        qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
        endTransfer(TransferEnd::NotWritten);
        m_part.discard(m_file);
        m_folder.reset();
        return;
    }
    m_stage = Stage::Writing;
    m_outcome.opened = true;
}

// Opens the file in the download's own folder that takes the body until a destination has been
// chosen; a print job or an archive stays there.
bool DownloadItem::startSpool(const QString &baseName, const QString &endName)
{
    const QString root = downloadFolderRoot();
    m_folder = std::make_unique<QTemporaryDir>(root + QStringLiteral("/download-XXXXXX"));
    if (!m_folder->isValid()) {
        m_outcome.path = root;
        m_outcome.writeError = m_folder->errorString();
        m_folder.reset();
        return false;
    }
    // A file to save waits under a name of the folder's own: the offered one may be longer than
    // any file system takes, and the user may choose another.
    m_spoolPath = m_outcome.kind == DownloadKind::OrdinaryFile
                      ? m_folder->filePath(QStringLiteral("body"))
                      : DownloadNaming::storedFileName(m_folder->path() + QLatin1Char('/'),
                                                       baseName, endName);
    m_file.setFileName(m_spoolPath);
    if (!openDownloadFile(m_file, m_outcome.writeError)) {
        m_outcome.path = m_spoolPath;
        return false;
    }
    return true;
}

// Once a piece could not be written, the download ends: whatever came after it would leave a
// hole in the file.
void DownloadItem::writeAvailable()
{
    if (!appendAvailable(*m_reply, m_file, m_chunkBuffer, m_outcome.written)) {
        m_outcome.writeError = m_file.errorString();
        qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
        endTransfer(TransferEnd::NotWritten);
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

void DownloadItem::replyDestroyed()
{
    m_stallTimer->stop();
    // A handler waiting in a file dialog finds the reply gone once the dialog has closed.
    if (m_stage == Stage::Finished || m_stage == Stage::GivenUp || !m_mutex.tryLock(0))
        return;
    m_part.discard(m_file);
    m_folder.reset();
    m_stage = Stage::GivenUp;
    m_mutex.unlock();
    m_busy.reset();
    deleteIfDone();
}

// The backdrop's line follows what has arrived, the bytes in the reply's buffer included, which
// grow while a dialog is open. The headers have arrived by the first chunk or the end.
void DownloadItem::showProgress()
{
    if (m_outcome.name.isEmpty())
        m_outcome.name = DownloadNaming::shownName(m_reply->rawHeader("Content-Disposition"));
    if (m_busy) {
        m_busy->showProgress(m_outcome.name, m_outcome.written + m_reply->bytesAvailable(),
                             m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
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

    // While the user decides, what arrives goes to disk: held in memory it would grow with the
    // body, and a server kept waiting instead might give up on the transfer.
    if (!startSpool(baseName, endName))
        return;
    const QString downloadFileName = DestinationChoice::choose(
        m_outcome.kind, baseName, endName, m_folder->path(), m_parentWidget, m_unzipLocation);
    // The page may have gone, and with it the reply, while the dialog was open.
    if (!m_reply)
        return;
    if (downloadFileName.isEmpty()) {
        m_reply->close();
        return;
    }
    m_outcome.path = downloadFileName;
    m_outcome.unpackFolder = m_unzipLocation;
}

// A file to save replaces the chosen one only when the body has come whole, an error answer of
// the server included; otherwise the earlier file stays as it was. A print job or an archive
// stays in its folder for its tool.
void DownloadItem::keepOrDiscard()
{
    if (m_outcome.kind != DownloadKind::OrdinaryFile || !m_outcome.opened) {
        m_file.close();
        return;
    }
    const bool whole = m_outcome.end == TransferEnd::Received
                       && (m_outcome.transferError.isEmpty() || m_outcome.serverAnswer)
                       && (m_outcome.total <= 0 || m_outcome.written >= m_outcome.total);
    if (whole) {
        if (m_part.commit(m_file, m_outcome.writeError))
            return;
        qDebug() << "DownloadItem::handleFinished error=" << m_outcome.writeError << m_url;
        m_outcome.end = TransferEnd::NotWritten;
    }
    m_outcome.discarded = !m_part.writesInPlace();
    if (m_part.keepsEarlier())
        m_outcome.earlierKept = QFileInfo(m_part.target()).fileName();
    m_part.discard(m_file);
}

void DownloadItem::handleFinished()
{
    qDebug() << "DownloadItem::handleFinished";
    m_stallTimer->stop();
    if (m_reply) {
        DownloadMessages::takeTransferOutcome(m_outcome, *m_reply);
        m_reply->deleteLater();
    }
    keepOrDiscard();
    // Opened from a checked descriptor, the file no longer reports its name.
    m_file.setFileName(m_outcome.path);
    // The item stays until the page replaces it; it keeps no buffer meanwhile.
    m_chunkBuffer.clear();

    runFollowUpAction(m_outcome, m_file.fileName(), m_unzipLocation,
                      [this](const QString &step) { m_busy->showToolStepNow(step); });
    // The print job or the archive goes once its tool has ended, and with it its folder.
    m_folder.reset();
    m_busy.reset();
    // A cancelled dialog needs no word.
    const bool givenUp = m_stage == Stage::GivenUp;
    m_stage = Stage::Finished;
    if (givenUp)
        return;
    bool problem = false;
    const QString text = DownloadMessages::endNotice(m_outcome, problem);
    qDebug() << "DownloadItem::handleFinished notice=" << text;
    DownloadNotice::showOn(m_parentWidget, text,
                           problem ? DownloadNotice::Tone::Problem : DownloadNotice::Tone::Done);
}
