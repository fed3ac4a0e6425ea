#pragma once

#include "web/downloadnaming.h"

#include <QString>

class QNetworkReply;
struct ToolRun;

// How a download ended, as far as the notice is concerned. The item fills it in as the
// download goes, and the reply's part once it has ended.
struct DownloadOutcome
{
    DownloadKind kind = DownloadKind::OrdinaryFile;
    QString name;
    // Where the file was saved, and for an archive where it was unpacked.
    QString path;
    QString unpackFolder;
    // The destination was opened: something of the body could be written.
    bool opened = false;
    qint64 written = 0;
    // The length the server announced; 0 or less when it announced none.
    qint64 total = 0;
    // The reply's error, if any: an answer of the server (with its HTTP status) or a failure
    // of the transfer itself.
    QString transferError;
    int httpStatus = 0;
    QString httpReason;
    bool serverAnswer = false;
    QString writeError;
    // What went wrong with the tool, ready to show, or nothing.
    QString toolFailure;
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
QString handedToPrinting(const QString &name);
// The body ended early: with a network error (reason), or shorter than announced.
QString incomplete(const QString &name, qint64 received, qint64 total, const QString &reason);
// The reply ended without a single byte of body: there was nothing to save.
QString nothingSent(const QString &name);
// The destination could not be opened (a refused file in the temporary folder, a folder
// that cannot be written to).
QString notSaved(const QString &name, const QString &path, const QString &reason);
// The server answered with an error; its answer, if it had one, is what was written.
QString serverError(const QString &name, int httpStatus, const QString &reason, bool answerWritten);
// A tool ended with a status other than 0 (exitStatus), or could not run at all (error).
QString toolFailed(const QString &tool, const QString &file, int exitStatus, const QString &error);
QString toolCrashed(const QString &tool, const QString &file);
// What went wrong with a tool's run, or nothing when it did its work.
QString toolFailure(const QString &tool, const QString &file, const ToolRun &run);
// The newer download that replaced this one left the file with part of the body.
QString replaced(const QString &name, qint64 written, qint64 total);

// The announced length and how the transfer ended, taken from the ended reply.
void takeTransferOutcome(DownloadOutcome &outcome, const QNetworkReply &reply);
// The notice for a download that has ended; problem tells a red one from a plain one. A
// short body or a failed tool never reads like a success.
QString endNotice(const DownloadOutcome &outcome, bool &problem);

} // namespace DownloadMessages
