#include "downloadmessages.h"

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

QString handedToPrinting(const QString &name)
{
    return QStringLiteral("Handed %1 to printing").arg(name);
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

QString toolFailed(const QString &tool, const QString &file, int exitStatus, const QString &error)
{
    if (!error.isEmpty())
        return QStringLiteral("%1 could not run for %2: %3").arg(tool, file, error);
    return QStringLiteral("%1 ended with status %2 for %3")
        .arg(tool, QString::number(exitStatus), file);
}

QString toolCrashed(const QString &tool, const QString &file)
{
    return QStringLiteral("%1 crashed while working on %2").arg(tool, file);
}

QString toolFailure(const QString &tool, const QString &file, const ToolRun &run)
{
    switch (run.end) {
    case ToolRun::End::Succeeded:
        break;
    case ToolRun::End::NotStarted:
        return toolFailed(tool, file, 0, run.error);
    case ToolRun::End::Crashed:
        return toolCrashed(tool, file);
    case ToolRun::End::Failed:
        return toolFailed(tool, file, run.exitStatus, QString());
    }
    return QString();
}

QString replaced(const QString &name, qint64 written, qint64 total)
{
    return incomplete(name, written, total, QStringLiteral("a newer download took its place"));
}

void takeTransferOutcome(DownloadOutcome &outcome, const QNetworkReply &reply)
{
    outcome.total = reply.header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (reply.error() == QNetworkReply::NoError)
        return;
    outcome.serverAnswer = isServerAnswer(reply.error());
    outcome.transferError = reply.errorString();
    outcome.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.httpReason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
}

QString endNotice(const DownloadOutcome &outcome, bool &problem)
{
    problem = true;
    if (outcome.serverAnswer) {
        return serverError(outcome.name, outcome.httpStatus, outcome.httpReason, outcome.opened);
    }
    if (!outcome.transferError.isEmpty() || !outcome.writeError.isEmpty()
        || (outcome.total > 0 && outcome.written < outcome.total)) {
        const QString reason
            = !outcome.transferError.isEmpty() ? outcome.transferError
              : !outcome.writeError.isEmpty()
                  ? QStringLiteral("not all of it could be written: %1").arg(outcome.writeError)
                  : QString();
        return incomplete(outcome.name, outcome.written, outcome.total, reason);
    }
    if (!outcome.opened)
        return nothingSent(outcome.name);
    if (!outcome.toolFailure.isEmpty())
        return outcome.toolFailure;
    problem = false;
    switch (outcome.kind) {
    case DownloadKind::PrintJob:
        return handedToPrinting(outcome.name);
    case DownloadKind::ZipArchive:
        return unpacked(outcome.name, outcome.unpackFolder, outcome.unpackedFiles);
    case DownloadKind::OrdinaryFile:
        break;
    }
    return saved(outcome.name, outcome.path);
}

} // namespace DownloadMessages
