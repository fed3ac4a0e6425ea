#pragma once

#include "web/downloadnaming.h"
#include "web/toolrun.h"

#include <QString>

class QNetworkReply;

// How the transfer ended: the reply came to its end, whatever it held, or the program cut it
// off because the file could not take it, the instrument stopped sending, the answer sent it on
// to an address that is not followed, or the user cancelled.
enum class TransferEnd : quint8 { Received, NotWritten, Stalled, Redirected, Cancelled };

// How a download ended, as far as the notice is concerned. The item fills it in as the
// download goes, and the reply's part once it has ended.
struct DownloadOutcome
{
    DownloadKind kind = DownloadKind::OrdinaryFile;
    QString name;
    // Where the file was saved, and for an archive where it was unpacked.
    QString path;
    QString unpackFolder;
    TransferEnd end = TransferEnd::Received;
    // The destination was opened: something of the body could be written.
    bool opened = false;
    // What came of a file to save was not kept, as it was not whole; earlierKept names the
    // earlier file under the chosen name, which stays as it was, if there was one.
    bool discarded = false;
    QString earlierKept;
    qint64 written = 0;
    // The length the server announced; 0 or less when it announced none.
    qint64 total = 0;
    // The reply's error, if any: an answer of the server (with its HTTP status) or a failure
    // of the transfer itself.
    QString transferError;
    int httpStatus = 0;
    QString httpReason;
    bool serverAnswer = false;
    // Why the file could not be opened or written.
    QString writeError;
    // How the tool ended, once the whole body was handed to it.
    ToolRun tool;
    int unpackedFiles = 0;
};

// What the busy backdrop and the end-of-download notice say, in plain words. The texts, and
// which of them a finished download gets, are decided here, without any widget.
namespace DownloadMessages {

// A size as people read it: "512 bytes", "12.4 MB", "1.1 GB".
QString size(qint64 bytes);
// "report.csv — 12.4 MB of 40.0 MB (31 %)" with a known total (a positive one), else
// "report.csv — 12.4 MB".
QString progress(const QString &name, qint64 received, qint64 total);
QString printing(const QString &name);
QString unpacking(const QString &name);

QString saved(const QString &name, const QString &path);
QString unpacked(const QString &name, const QString &folder, int fileCount);
// The body ended early: with a network error (reason), or shorter than announced.
QString incomplete(const QString &name, qint64 received, qint64 total, const QString &reason);
// The reply ended without a single byte of body: there was nothing to save.
QString nothingSent(const QString &name);
// The destination could not be opened or written (a refused file in the temporary folder, a
// folder that cannot be written to, a full disk).
QString notSaved(const QString &name, const QString &path, const QString &reason);
// The server answered with an error; its answer, if it had one, is what was written.
QString serverError(const QString &name, int httpStatus, const QString &reason, bool answerWritten);
QString cancelled(const QString &name);
// The body reached the destination early or not at all: a transfer that ended without a byte.
QString notReceived(const QString &name, const QString &reason);
// What became of the chosen file after a download that was not saved: "; nothing was saved", or
// "; the earlier NAME is unchanged".
QString leftAlone(const QString &earlierKept);
// How printing or unpacking ended, in one line; problem tells a failure.
QString printOutcome(const QString &name, const ToolRun &run, bool &problem);
QString unpackOutcome(const QString &name, const QString &folder, int fileCount, const ToolRun &run,
                      bool &problem);

// The announced length and how the transfer ended, taken from the ended reply.
void takeTransferOutcome(DownloadOutcome &outcome, const QNetworkReply &reply);
// The one notice for a download that has ended; problem tells a red one from a plain one. A
// short body or a failed tool never reads like a success.
QString endNotice(const DownloadOutcome &outcome, bool &problem);

} // namespace DownloadMessages
