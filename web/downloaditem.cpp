#include "downloaditem.h"

#include "platform/qtcompat.h"
#include "web/regularfile.h"
#include "widgets/busyindicator.h"
#include "widgets/busyoverlay.h"
#include "widgets/downloadnotice.h"
#include "widgets/waitingspinnerwidget.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

namespace {

// What the reply may hold while the body streams to disk. Beyond it the network thread stops
// reading from the socket, so that the server waits for the disk instead of the body piling up
// in memory.
constexpr qint64 streamingBufferSize = 1024 * 1024;
constexpr int chunkBufferSize = 256 * 1024;
// The overlay's line changes at most this often, however small the chunks.
constexpr qint64 progressIntervalMs = 100;

// The names in a folder that are files, for the count of what an archive added.
int fileCount(const QString &folder)
{
    return QDir(folder)
        .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

QString lastPathPart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isServerAnswer(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied
            && error <= QNetworkReply::UnknownContentError)
           || error >= QNetworkReply::InternalServerError;
}

} // namespace

int DownloadItem::liveItemCount = 0;

DownloadItem::DownloadItem(QNetworkReply *reply, QWidget *parentWidget)
    : QObject(nullptr)
    , m_reply(reply)
    , m_spinner(new WaitingSpinnerWidget(parentWidget, true, true))
    , m_overlay(parentWidget ? new BusyOverlay(parentWidget) : nullptr)
    , m_parentWidget(parentWidget)
    , m_print(false)
    , m_unzip(false)
    , m_finishPending(false)
    , m_busy(false)
    , m_releasePending(false)
{
    ++liveItemCount;
    init();
}

DownloadItem::~DownloadItem()
{
    // Replaced in the middle of a transfer: the window must not stay disabled behind it.
    releaseBusyState();
    delete m_spinner;
    delete m_overlay;
    --liveItemCount;
}

void DownloadItem::init()
{
    if (!m_reply)
        return;

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_busy = true;
    startBusyIndicator(*m_spinner, Qt::white);
    if (m_overlay) {
        m_overlay->show();
        m_spinner->raise();
    }
    m_url = m_reply->url();
    // From the first byte on: before the first chunk has been handled, a fast server would
    // otherwise have the network thread read ahead without bound.
    m_reply->setReadBufferSize(streamingBufferSize);

    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    connect(m_reply, SIGNAL(readyRead()), this, SLOT(downloadReadyRead()));
    connect(m_reply, SIGNAL(finished()), this, SLOT(downloadFinished()));
    connect(m_reply, QtCompat::replyErrorSignal(), this, SLOT(error(QNetworkReply::NetworkError)));

    if (m_reply->error() != QNetworkReply::NoError)
        error(m_reply->error());
    if (m_reply->canReadLine()) {
        qDebug() << "DownloadItem::init directory canReadLine()";
        downloadReadyRead();
    }
}

void DownloadItem::releaseBusyState()
{
    if (!m_busy)
        return;
    m_busy = false;
    if (m_overlay)
        m_overlay->hide();
    if (m_spinner) {
        m_spinner->stop();
        if (m_parentWidget && anotherIndicatorSpins())
            m_parentWidget->setEnabled(false);
    }
    QGuiApplication::restoreOverrideCursor();
}

// A download that started meanwhile keeps the window disabled with its own indicator.
bool DownloadItem::anotherIndicatorSpins() const
{
    const auto indicators = m_parentWidget->findChildren<WaitingSpinnerWidget *>(
        QString(), Qt::FindDirectChildrenOnly);
    for (const WaitingSpinnerWidget *indicator : indicators) {
        if (indicator != m_spinner && indicator->isSpinning())
            return true;
    }
    return false;
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
        releaseBusyState();
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
        m_cancelled = true;
        releaseEndedReply();
        return false;
    }
    qDebug() << "DownloadItem::downloadReadyRead got filename=" << m_file.fileName();
    QString errorString;
    if (!openDestination(errorString)) {
        qDebug() << "DownloadItem::downloadReadyRead error=" << errorString << m_url;
        releaseEndedReply();
        // The next chunk tries the open again: until then nobody reads, and a bounded reply
        // would stop receiving for good.
        if (m_reply)
            m_reply->setReadBufferSize(0);
        m_openError = errorString;
        showNotice(DownloadMessages::notSaved(displayName(), m_file.fileName(), errorString), true);
        return false;
    }
    m_openError.clear();
    m_reply->setReadBufferSize(streamingBufferSize);
    return true;
}

bool DownloadItem::openDestination(QString &errorString)
{
    const QString fileName = m_file.fileName();
    // Each chunk goes to the file as soon as it has been read: if the server stalls or the
    // program ends, what has arrived is on disk and not in a buffer of ours.
    bool opened = false;
    if (m_print || m_unzip) {
        // Print jobs and archives go under fixed names into the shared temporary directory,
        // where anyone can plant a link, a FIFO or a file of their own under that name.
        opened = openRegularFileForWriting(m_file, errorString);
    } else {
        // The user chose this path in the dialog, links and all.
        opened = m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    if (opened) {
        m_openedFileName = fileName;
        return true;
    }
    if (errorString.isEmpty())
        errorString = m_file.errorString();
    return false;
}

// Reads everything the reply holds, piece by piece through one buffer. A piece that cannot be
// written loses the rest of this chunk too, so that the file never gets a hole in the middle.
void DownloadItem::writeAvailable()
{
    if (m_chunkBuffer.isEmpty())
        m_chunkBuffer.resize(chunkBufferSize);
    bool failed = false;
    qint64 count = 0;
    while ((count = m_reply->read(m_chunkBuffer.data(), m_chunkBuffer.size())) > 0) {
        if (failed)
            continue;
        if (writeAll(m_chunkBuffer.constData(), count)) {
            m_written += count;
        } else {
            failed = true;
            m_writeError = m_file.errorString();
            qDebug() << "DownloadItem::downloadReadyRead error=" << m_writeError << m_url;
        }
    }
}

// A short write (a file size limit, a full disk) is tried again for the rest, which then
// either goes through or fails with the reason.
bool DownloadItem::writeAll(const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = m_file.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The overlay's line follows what has arrived, the bytes in the reply's buffer included, which
// grow while a dialog is open.
void DownloadItem::showProgress()
{
    if (!m_overlay || !m_busy)
        return;
    if (m_progressClock.isValid() && m_progressClock.elapsed() < progressIntervalMs)
        return;
    m_progressClock.start();
    m_overlay->setText(DownloadMessages::progress(
        displayName(), m_written + m_reply->bytesAvailable(), contentLength()));
}

// Taken from the headers once they have arrived, which they have by the first chunk or the end.
const QString &DownloadItem::displayName()
{
    if (m_displayName.isEmpty() && m_reply)
        m_displayName = offeredFileName(m_reply->rawHeader("Content-Disposition"));
    return m_displayName;
}

qint64 DownloadItem::contentLength() const
{
    return m_reply ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() : 0;
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
    if (m_file.isOpen())
        showNotice(DownloadMessages::replaced(displayName(), m_written, contentLength()), true);
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

QString DownloadItem::offeredPath(const QByteArray &contentDisposition)
{
    QByteArray name = contentDisposition.mid(22);
    name.chop(1);
    return QString::fromUtf8(name.constData());
}

QString DownloadItem::offeredFileName(const QByteArray &contentDisposition)
{
    const QString fileName = lastPathPart(offeredPath(contentDisposition));
    return fileName.isEmpty() ? QStringLiteral("unnamed_download") : fileName;
}

void DownloadItem::splitOfferedName(const QByteArray &contentDisposition, QString &baseName,
                                    QString &endName)
{
    qDebug() << "DownloadItem::providedFileName contentDisposition header=" << contentDisposition;
    // The 22 bytes are `attachment; filename="`, the last one the closing quote: the name is
    // taken by position only, as the instrument always sends exactly this form.
    const QString path = offeredPath(contentDisposition);
    qDebug() << "DownloadItem::providedFileName path=" << path;

    // Split by hand as QFileInfo::completeBaseName() and suffix() would: QFileInfo keeps its
    // offsets in 16 bits and splits names of more than 32767 characters at the wrong places.
    const QString fileName = lastPathPart(path);
    const int lastDot = fileName.lastIndexOf(QLatin1Char('.'));
    baseName = lastDot < 0 ? fileName : fileName.left(lastDot);
    endName = lastDot < 0 ? QString() : fileName.mid(lastDot + 1);
    qDebug() << "DownloadItem::providedFileName baseName=" << baseName;
    qDebug() << "DownloadItem::providedFileName endName=" << endName;
    // ".." gives the base name "." and no end name, which names "<directory>/..": that always
    // exists, so the proposal goes on to "._1." inside the directory.
    if (baseName.isEmpty()) {
        baseName = QStringLiteral("unnamed_download");
        qDebug() << "DownloadItem::providedFileName downloading unknown file:" << path;
    }
}

void DownloadItem::providedFileName(QString &baseName, QString &endName)
{
    splitOfferedName(m_reply->rawHeader("Content-Disposition"), baseName, endName);
}

DownloadItem::Kind DownloadItem::kindOf(const QString &baseName, const QString &endName)
{
    if (QString::compare(baseName, QLatin1String("print"), Qt::CaseSensitive) == 0
        && QString::compare(endName, QLatin1String("pdf"), Qt::CaseSensitive) == 0)
        return Kind::PrintJob;
    if (QString::compare(endName, QLatin1String("zip"), Qt::CaseSensitive) == 0)
        return Kind::ZipArchive;
    return Kind::OrdinaryFile;
}

QString DownloadItem::uniqueFileName(const QString &directory, const QString &baseName,
                                     const QString &endName)
{
    QString candidate = directory + baseName + QLatin1Char('.') + endName;
    if (!QFile::exists(candidate))
        return candidate;
    for (qint64 n = 1;; ++n) {
        QString numbered = directory + baseName + QLatin1Char('_') + QString::number(n, 10)
                           + QLatin1Char('.') + endName;
        if (!QFile::exists(numbered))
            return numbered;
    }
}

void DownloadItem::getFileName()
{
    QString baseName;
    QString endName;
    providedFileName(baseName, endName);

    const Kind kind = kindOf(baseName, endName);
    m_print = kind == Kind::PrintJob;
    m_unzip = kind == Kind::ZipArchive;

    QString directory = (m_print || m_unzip) ? QDir::tempPath() : QDir::homePath();
    if (!directory.isEmpty())
        directory += QLatin1Char('/');

    const QString defaultFileName = uniqueFileName(directory, baseName, endName);
    qDebug() << "DownloadItem::getFileName defaultFileName=" << defaultFileName;
    QString downloadFileName = directory + baseName + QLatin1Char('.') + endName;

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
}

void DownloadItem::handleFinished()
{
    qDebug() << "DownloadItem::handleFinished";
    if (m_reply)
        m_reply->deleteLater();
    if (m_file.isOpen()) {
        m_file.close();
        m_file.setFileName(m_openedFileName);
    }
    // The item stays until the page replaces it; it keeps no buffer meanwhile.
    m_chunkBuffer.clear();

    // When nothing of this download reached the file, whatever sits under its name (a planted
    // link or FIFO, an older job) is not the download, and a tool must not be handed it.
    const bool opened = !m_openedFileName.isEmpty();
    if ((m_print || m_unzip) && !opened)
        qDebug() << "DownloadItem::handleFinished nothing written to" << m_file.fileName();
    QString toolFailure;
    int unpackedFiles = 0;
    if (m_print && opened) {
        qDebug() << "DownloadItem::handleFinished printing " << m_file.fileName();
        if (m_overlay)
            m_overlay->setTextAndPaintNow(DownloadMessages::printing(displayName()));
        toolFailure = runTool(QStringLiteral("pdftocairo"),
                              {QStringLiteral("-printdlg"), m_file.fileName()});
    }
    if (m_unzip && opened) {
        qDebug() << "DownloadItem::handleFinished unzipping " << m_file.fileName() << " to "
                 << m_unzipLocation;
        const QStringList stringList{QStringLiteral("e"), m_file.fileName(),
                                     QStringLiteral("-o") + m_unzipLocation,
                                     QStringLiteral("-aou")};
        qDebug() << "DownloadItem::handleFinished stringList=" << QtCompat::LoggedList{stringList};
        if (m_overlay)
            m_overlay->setTextAndPaintNow(DownloadMessages::unpacking(displayName()));
        const int before = fileCount(m_unzipLocation);
        toolFailure = runTool(QStringLiteral("7za"), stringList);
        unpackedFiles = fileCount(m_unzipLocation) - before;
    }
    releaseBusyState();
    // A cancelled dialog needs no word, and a failed open has had its say.
    if (!m_cancelled && m_openError.isEmpty())
        showEndNotice(opened, toolFailure, unpackedFiles);
}

void DownloadItem::showEndNotice(bool opened, const QString &toolFailure, int unpackedFiles)
{
    DownloadOutcome outcome;
    outcome.kind = m_print ? Kind::PrintJob : m_unzip ? Kind::ZipArchive : Kind::OrdinaryFile;
    outcome.name = displayName();
    outcome.path = m_file.fileName();
    outcome.unpackFolder = m_unzipLocation;
    outcome.opened = opened;
    outcome.written = m_written;
    outcome.total = contentLength();
    if (m_reply && m_reply->error() != QNetworkReply::NoError) {
        outcome.serverAnswer = isServerAnswer(m_reply->error());
        outcome.transferError = m_reply->errorString();
        outcome.httpStatus = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        outcome.httpReason
            = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    }
    outcome.writeError = m_writeError;
    outcome.toolFailure = toolFailure;
    outcome.unpackedFiles = unpackedFiles;
    bool problem = false;
    const QString text = DownloadMessages::endNotice(outcome, problem);
    showNotice(text, problem);
}

QString DownloadItem::runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadWrite);
    // Nobody ever writes to the tool: a prompt (the password of an encrypted archive) then
    // reads the end of its input and the tool gives up, instead of waiting for ever while the
    // window cannot even repaint.
    process.closeWriteChannel();
    // Blocks the GUI thread on purpose: nothing may happen to the window until the tool is done.
    // A tool that never started would otherwise be waited for forever.
    while (!process.waitForFinished(1000)) {
        if (process.state() == QProcess::NotRunning) {
            qDebug() << "DownloadItem::handleFinished cannot run" << program
                     << process.errorString();
            return DownloadMessages::toolFailed(program, m_file.fileName(), 0,
                                                process.errorString());
        }
    }
    if (process.exitStatus() == QProcess::CrashExit)
        return DownloadMessages::toolCrashed(program, m_file.fileName());
    if (process.exitCode() != 0)
        return DownloadMessages::toolFailed(program, m_file.fileName(), process.exitCode(),
                                            QString());
    return QString();
}
