#include "downloaditem.h"

#include "web/downloadbusystate.h"
#include "web/downloadfile.h"
#include "web/toolrun.h"
#include "widgets/downloadnotice.h"
#include "widgets/waitingspinnerwidget.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>

namespace {

// What the reply may hold while the body streams to disk. Beyond it the network thread stops
// reading from the socket, so that the server waits for the disk instead of the body piling up
// in memory.
constexpr qint64 streamingBufferSize = 1024 * 1024;
constexpr int chunkBufferSize = 256 * 1024;

} // namespace

int DownloadItem::liveItemCount = 0;

DownloadItem::DownloadItem(QNetworkReply *reply, QWidget *parentWidget)
    : QObject(nullptr)
    , m_reply(reply)
    , m_mutex(QMutex::NonRecursive)
    , m_spinner(new WaitingSpinnerWidget(parentWidget, true, true))
    , m_parentWidget(parentWidget)
    , m_print(false)
    , m_unzip(false)
    , m_finishPending(false)
{
    ++liveItemCount;
    init();
}

DownloadItem::~DownloadItem()
{
    // Replaced in the middle of a transfer: the window must not stay disabled behind it.
    m_busy.reset();
    delete m_spinner;
    --liveItemCount;
}

void DownloadItem::init()
{
    if (!m_reply)
        return;

    m_busy = std::make_unique<DownloadBusyState>(m_spinner, m_parentWidget);
    m_url = m_reply->url();
    // From the first byte on: before the first chunk has been handled, a fast server would
    // otherwise have the network thread read ahead without bound.
    m_reply->setReadBufferSize(streamingBufferSize);

    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    connect(m_reply, SIGNAL(readyRead()), this, SLOT(downloadReadyRead()));
    connect(m_reply, SIGNAL(finished()), this, SLOT(downloadFinished()));
    connect(m_reply, SIGNAL(error(QNetworkReply::NetworkError)), this,
            SLOT(error(QNetworkReply::NetworkError)));

    if (m_reply->error() != QNetworkReply::NoError)
        error(m_reply->error());
    if (m_reply->canReadLine()) {
        qDebug() << "DownloadItem::init directory canReadLine()";
        downloadReadyRead();
    }
}

void DownloadItem::downloadReadyRead()
{
    qDebug() << "DownloadItem::downloadReadyRead";
    if (!m_reply)
        return;
    showProgress();
    if (!m_mutex.tryLock(0)) {
        qDebug() << "DownloadItem::downloadReadyRead in progress";
        return;
    }

    const bool writing = m_file.isOpen() || openForFirstChunk();
    if (writing) {
        writeAvailable();
        if (m_finishPending)
            handleFinished();
    }
    m_mutex.unlock();
    if (!writing)
        m_busy.reset();
    carryOutRelease();
}

// Names and opens the destination; false when the download has no file to go to (for now).
bool DownloadItem::openForFirstChunk()
{
    m_finishPending = false;
    if (m_file.fileName().isEmpty())
        getFileName();
    if (m_file.fileName().isEmpty()) {
        qDebug() << "DownloadItem::downloadReadyRead empty file";
        m_stage = Stage::GivenUp;
        releaseEndedReply();
        return false;
    }
    qDebug() << "DownloadItem::downloadReadyRead got filename=" << m_file.fileName();
    QString errorString;
    if (!openDownloadDestination(m_file, m_print || m_unzip, errorString)) {
        qDebug() << "DownloadItem::downloadReadyRead error=" << errorString << m_url;
        releaseEndedReply();
        // The next chunk tries the open again: until then nobody reads, and a bounded reply
        // would stop receiving for good.
        if (m_reply)
            m_reply->setReadBufferSize(0);
        m_stage = Stage::OpenFailed;
        showNotice(DownloadMessages::notSaved(m_outcome.name, m_outcome.path, errorString), true);
        return false;
    }
    m_stage = Stage::Writing;
    m_outcome.opened = true;
    m_reply->setReadBufferSize(streamingBufferSize);
    return true;
}

// Reads everything the reply holds, piece by piece through one buffer. A piece that cannot be
// written loses the rest of this chunk too.
void DownloadItem::writeAvailable()
{
    if (m_chunkBuffer.isEmpty())
        m_chunkBuffer.resize(chunkBufferSize);
    bool failed = false;
    qint64 count = 0;
    while ((count = m_reply->read(m_chunkBuffer.data(), m_chunkBuffer.size())) > 0) {
        if (failed)
            continue;
        if (writeFully(m_file, m_chunkBuffer.constData(), count)) {
            m_outcome.written += count;
        } else {
            failed = true;
            m_outcome.writeError = m_file.errorString();
            qDebug() << "DownloadItem::downloadReadyRead error=" << m_outcome.writeError << m_url;
        }
    }
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

void DownloadItem::showStep(const QString &text)
{
    if (m_busy)
        m_busy->showStepNow(text);
}

void DownloadItem::showNotice(const QString &text, bool problem) const
{
    if (m_parentWidget) {
        DownloadNotice::showOn(m_parentWidget, text,
                               problem ? DownloadNotice::Tone::Problem
                                       : DownloadNotice::Tone::Done);
    }
}

// A finish that came while the dialog was open is not handled any more once the download has
// no file to go to: the reply would otherwise stay with the manager for good.
void DownloadItem::releaseEndedReply()
{
    if (m_finishPending && m_reply)
        m_reply->deleteLater();
}

void DownloadItem::release()
{
    if (!m_mutex.tryLock(0)) {
        // A handler waits in a file dialog: its nested event loop would delete this item
        // under it. The handler lets go of it once it has returned from the dialog.
        m_releasePending = true;
        return;
    }
    m_mutex.unlock();
    // Dropped before its end, the file keeps only part of the body: the user must know.
    if (m_file.isOpen()) {
        showNotice(
            DownloadMessages::replaced(
                m_outcome.name, m_outcome.written,
                m_reply ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() : 0),
            true);
    }
    if (m_reply) {
        // From here on no handler may start, or it could open a dialog for a download that
        // nobody follows any more and be deleted inside it.
        m_reply->disconnect(this);
        // Nobody reads it any more: left to run, it would fill its bounded buffer and hold one
        // of the few connections to the instrument for good.
        if (!m_reply->isFinished()) {
            m_reply->abort();
            m_reply->deleteLater();
        }
    }
    deleteLater();
}

void DownloadItem::carryOutRelease()
{
    if (m_releasePending)
        release();
}

void DownloadItem::downloadFinished()
{
    qDebug() << "DownloadItem::downloadFinished";
    if (m_mutex.tryLock(0)) {
        handleFinished();
        m_mutex.unlock();
        carryOutRelease();
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

    // While the user decides, the reply takes in whatever arrives, without a limit: a server
    // kept waiting for long might give up on the transfer.
    if (!m_print)
        m_reply->setReadBufferSize(0);
    if (m_unzip) {
        m_unzipLocation = QFileDialog::getExistingDirectory(
            m_parentWidget, tr("Select Directory"), QDir::homePath(), QFileDialog::ShowDirsOnly);
        if (m_unzipLocation.isEmpty()) {
            m_reply->close();
            return;
        }
        qDebug() << "DownloadItem::getFileName m_unzipLocation=" << m_unzipLocation;
    } else if (!m_print) {
        const QString selectedFileName
            = QFileDialog::getSaveFileName(m_parentWidget, tr("Save File"), defaultFileName,
                                           QString(), nullptr, QFileDialog::Options());
        if (selectedFileName.isEmpty()) {
            m_reply->close();
            return;
        }
        qDebug() << "DownloadItem::getFileName selectedFileName=" << selectedFileName;
        downloadFileName = selectedFileName;
    }

    qDebug() << "DownloadItem::getFileName downloadFileName=" << downloadFileName;
    m_file.setFileName(downloadFileName);
    m_outcome.path = downloadFileName;
    m_outcome.unpackFolder = m_unzipLocation;
}

void DownloadItem::handleFinished()
{
    qDebug() << "DownloadItem::handleFinished";
    if (m_reply)
        m_reply->deleteLater();
    if (m_file.isOpen()) {
        m_file.close();
        // Opened from a checked descriptor, the file no longer reports its name.
        m_file.setFileName(m_outcome.path);
    }
    // The item stays until the page replaces it; it keeps no buffer meanwhile.
    m_chunkBuffer.clear();

    // When nothing of this download reached the file, whatever sits under its name (a planted
    // link or FIFO, an older job) is not the download, and a tool must not be handed it.
    if ((m_print || m_unzip) && !m_outcome.opened)
        qDebug() << "DownloadItem::handleFinished nothing written to" << m_file.fileName();
    if (m_outcome.opened)
        runFollowUpAction();
    m_busy.reset();
    // A cancelled dialog needs no word, and a failed open has had its say.
    const bool told = m_stage == Stage::GivenUp || m_stage == Stage::OpenFailed;
    m_stage = Stage::Finished;
    if (told)
        return;
    if (m_reply)
        DownloadMessages::takeTransferOutcome(m_outcome, *m_reply);
    bool problem = false;
    const QString text = DownloadMessages::endNotice(m_outcome, problem);
    showNotice(text, problem);
}

void DownloadItem::runFollowUpAction()
{
    // The line is on the screen before the GUI thread waits for the tool.
    if (m_print) {
        showStep(DownloadMessages::printing(m_outcome.name));
        m_outcome.toolFailure = DownloadMessages::toolFailure(
            QStringLiteral("pdftocairo"), m_file.fileName(), printWithDialog(m_file.fileName()));
    }
    if (m_unzip) {
        showStep(DownloadMessages::unpacking(m_outcome.name));
        m_outcome.toolFailure = DownloadMessages::toolFailure(
            QStringLiteral("7za"), m_file.fileName(),
            unpackArchive(m_file.fileName(), m_unzipLocation, m_outcome.unpackedFiles));
    }
}
