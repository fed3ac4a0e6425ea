#include "downloadmessages.h"

#include "platform/printhelperstatus.h"
#include "web/toolrun.h"

#include <QLocale>
#include <QNetworkReply>

namespace {

bool isServerAnswer(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied
            && error <= QNetworkReply::UnknownContentError)
           || error >= QNetworkReply::InternalServerError;
}

// Why a tool's run did not do its work, for the notice; empty when it did.
QString toolProblem(const QString &tool, const ToolRun &run)
{
    switch (run.end) {
    case ToolRun::End::Succeeded:
        break;
    case ToolRun::End::NotStarted:
        return QStringLiteral("%1 could not be started (%2)").arg(tool, run.error);
    case ToolRun::End::Crashed:
        return QStringLiteral("%1 crashed").arg(tool);
    case ToolRun::End::Failed:
        return QStringLiteral("%1 ended with status %2").arg(tool, QString::number(run.exitStatus));
    }
    return QString();
}

} // namespace

namespace DownloadMessages {

QString size(qint64 bytes)
{
    if (bytes == 1)
        return QStringLiteral("1 byte");
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString progress(const QString &name, qint64 received, qint64 total)
{
    if (total <= 0)
        return QString::fromUtf8("%1 — %2").arg(name, size(received));
    const qint64 percent = qMin<qint64>(100, received * 100 / total);
    return QString::fromUtf8("%1 — %2 of %3 (%4 %)")
        .arg(name, size(received), size(total), QString::number(percent));
}

QString printing(const QString &name)
{
    return QString::fromUtf8("Printing %1 …").arg(name);
}

QString unpacking(const QString &name)
{
    return QString::fromUtf8("Unpacking %1 …").arg(name);
}

QString saved(const QString &name, const QString &path)
{
    return QStringLiteral("Saved %1 to %2").arg(name, path);
}

QString unpacked(const QString &name, const QString &folder, int fileCount)
{
    return fileCount == 1 ? QStringLiteral("Unpacked %1: 1 file in %2").arg(name, folder)
                          : QStringLiteral("Unpacked %1: %2 files in %3")
                                .arg(name, QString::number(fileCount), folder);
}

QString incomplete(const QString &name, qint64 received, qint64 total, const QString &reason)
{
    const QString got
        = total > 0 ? QStringLiteral("%1 of %2").arg(size(received), size(total)) : size(received);
    const QString why = reason.isEmpty() ? QStringLiteral("the transfer ended early") : reason;
    return QStringLiteral("%1 is incomplete: only %2 arrived (%3)").arg(name, got, why);
}

QString nothingSent(const QString &name)
{
    return QStringLiteral("%1: the instrument sent nothing, so nothing was saved").arg(name);
}

QString notSaved(const QString &name, const QString &path, const QString &reason)
{
    return QStringLiteral("%1 could not be saved to %2: %3").arg(name, path, reason);
}

QString serverError(const QString &name, int httpStatus, const QString &reason, bool answerWritten)
{
    const QString text = QStringLiteral("%1: the instrument answered with error %2 (%3)")
                             .arg(name, QString::number(httpStatus), reason);
    return answerWritten ? text + QStringLiteral("; its answer was saved instead of the file")
                         : text;
}

QString cancelled(const QString &name)
{
    return QStringLiteral("The download of %1 was cancelled").arg(name);
}

QString notReceived(const QString &name, const QString &reason)
{
    return QStringLiteral("%1 was not downloaded: %2").arg(name, reason);
}

QString leftAlone(const QString &earlierKept)
{
    if (earlierKept.isEmpty())
        return QStringLiteral("; nothing was saved");
    return QStringLiteral("; the earlier %1 is unchanged").arg(earlierKept);
}

QString printOutcome(const QString &name, const ToolRun &run, bool &problem)
{
    problem = false;
    if (run.end == ToolRun::End::Succeeded)
        return QStringLiteral("Printed %1").arg(name);
    if (run.end == ToolRun::End::Failed && run.exitStatus == PrintHelperStatus::Cancelled)
        return QStringLiteral("Printing of %1 was cancelled").arg(name);
    problem = true;
    QString why = toolProblem(QStringLiteral("pdftocairo"), run);
    if (run.end == ToolRun::End::Failed) {
        switch (run.exitStatus) {
        case PrintHelperStatus::DocumentNotPrintable:
            why = QStringLiteral("it is not a PDF that can be printed");
            break;
        case PrintHelperStatus::OutputFileFailed:
            why = QStringLiteral("its pages could not be written to the PDF file");
            break;
        case PrintHelperStatus::JobRefused:
            why = QStringLiteral("the printer did not take the job");
            break;
        default:
            break;
        }
    }
    return QStringLiteral("%1 was not printed: %2").arg(name, why);
}

QString unpackOutcome(const QString &name, const QString &folder, int fileCount, const ToolRun &run,
                      bool &problem)
{
    problem = run.end != ToolRun::End::Succeeded;
    if (!problem)
        return unpacked(name, folder, fileCount);
    return QStringLiteral("%1 could not be unpacked: %2")
        .arg(name, toolProblem(QStringLiteral("7za"), run));
}

void takeTransferOutcome(DownloadOutcome &outcome, const QNetworkReply &reply)
{
    // A transfer that ended before the first chunk has not been named yet.
    if (outcome.name.isEmpty())
        outcome.name = DownloadNaming::shownName(reply.rawHeader("Content-Disposition"));
    outcome.total = reply.header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (reply.error() == QNetworkReply::NoError)
        return;
    outcome.serverAnswer = isServerAnswer(reply.error());
    outcome.transferError = reply.errorString();
    outcome.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.httpReason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
}

namespace {

// The notice without what became of an earlier file.
QString endNoticeOfTransfer(const DownloadOutcome &outcome, bool &problem)
{
    problem = true;
    switch (outcome.end) {
    case TransferEnd::Received:
        break;
    case TransferEnd::NotWritten:
        return notSaved(outcome.name, outcome.path, outcome.writeError);
    case TransferEnd::Redirected:
        return notReceived(outcome.name,
                           QStringLiteral("the instrument sent it on with %1 (%2), which was not "
                                          "followed")
                               .arg(QString::number(outcome.httpStatus), outcome.httpReason));
    case TransferEnd::Stalled:
        return incomplete(outcome.name, outcome.written, outcome.total,
                          QStringLiteral("the instrument stopped sending"));
    case TransferEnd::Cancelled:
        problem = false;
        // A print job or an archive goes with its folder.
        if (!outcome.opened || outcome.discarded || outcome.kind != DownloadKind::OrdinaryFile)
            return cancelled(outcome.name);
        return incomplete(outcome.name, outcome.written, outcome.total,
                          QStringLiteral("the download was cancelled"));
    }
    if (outcome.serverAnswer)
        return serverError(outcome.name, outcome.httpStatus, outcome.httpReason, outcome.opened);
    if (!outcome.opened && !outcome.transferError.isEmpty())
        return notReceived(outcome.name, outcome.transferError);
    if (!outcome.transferError.isEmpty() || (outcome.total > 0 && outcome.written < outcome.total))
        return incomplete(outcome.name, outcome.written, outcome.total, outcome.transferError);
    if (!outcome.opened)
        return nothingSent(outcome.name);
    switch (outcome.kind) {
    case DownloadKind::PrintJob:
        return printOutcome(outcome.name, outcome.tool, problem);
    case DownloadKind::ZipArchive:
        return unpackOutcome(outcome.name, outcome.unpackFolder, outcome.unpackedFiles,
                             outcome.tool, problem);
    case DownloadKind::OrdinaryFile:
        break;
    }
    problem = false;
    return saved(outcome.name, outcome.path);
}

} // namespace

QString endNotice(const DownloadOutcome &outcome, bool &problem)
{
    QString text = endNoticeOfTransfer(outcome, problem);
    if (outcome.discarded && (outcome.opened || !outcome.earlierKept.isEmpty()))
        text += leftAlone(outcome.earlierKept);
    return text;
}

} // namespace DownloadMessages
