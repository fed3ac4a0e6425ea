#include "toolrun.h"

#include "platform/qtcompat.h"
#include "web/downloadmessages.h"

#include <QDebug>
#include <QDir>
#include <QProcess>

#include <unistd.h>

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// Qt 6 replaced this hook by QProcess::setChildProcessModifier().
class SessionLeaderProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::setsid(); }
};
#endif

// The names in a folder that are files, for the count of what an archive added.
int fileCount(const QString &folder)
{
    return QDir(folder)
        .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

ToolRun runTool(const QString &program, const QStringList &arguments)
{
    // Nobody ever answers the tool: a prompt (the password of an encrypted archive) must fail
    // at once instead of waiting for ever while the window cannot even repaint. Its input ends
    // at once, and in a session of its own it has no terminal to ask on either, wherever the
    // program was started.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    SessionLeaderProcess process;
#else
    QProcess process;
    process.setChildProcessModifier([] { ::setsid(); });
#endif
    process.start(program, arguments, QIODevice::ReadWrite);
    process.closeWriteChannel();
    ToolRun run;
    // A tool that never started would otherwise be waited for forever.
    while (!process.waitForFinished(1000)) {
        if (process.state() == QProcess::NotRunning) {
            qDebug() << "DownloadItem::handleFinished cannot run" << program
                     << process.errorString();
            run.end = ToolRun::End::NotStarted;
            run.error = process.errorString();
            return run;
        }
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        run.end = ToolRun::End::Crashed;
    } else if (process.exitCode() != 0) {
        run.end = ToolRun::End::Failed;
        run.exitStatus = process.exitCode();
    }
    return run;
}

} // namespace

ToolRun printWithDialog(const QString &fileName)
{
    qDebug() << "DownloadItem::handleFinished printing " << fileName;
    return runTool(QStringLiteral("pdftocairo"), {QStringLiteral("-printdlg"), fileName});
}

ToolRun unpackArchive(const QString &fileName, const QString &folder, int &unpackedFiles)
{
    qDebug() << "DownloadItem::handleFinished unzipping " << fileName << " to " << folder;
    const QStringList stringList{QStringLiteral("e"), fileName, QStringLiteral("-o") + folder,
                                 QStringLiteral("-aou")};
    qDebug() << "DownloadItem::handleFinished stringList=" << QtCompat::LoggedList{stringList};
    const int before = fileCount(folder);
    ToolRun run = runTool(QStringLiteral("7za"), stringList);
    unpackedFiles = fileCount(folder) - before;
    return run;
}

bool wholeBodyWritten(const DownloadOutcome &outcome)
{
    return outcome.end == TransferEnd::Received && outcome.opened && outcome.transferError.isEmpty()
           && (outcome.total <= 0 || outcome.written >= outcome.total);
}

void runFollowUpAction(DownloadOutcome &outcome, const QString &fileName,
                       const QString &unpackFolder,
                       const std::function<void(const QString &)> &showStep)
{
    if (outcome.kind == DownloadKind::OrdinaryFile)
        return;
    // When nothing of this download reached the file, whatever sits under its name (a planted
    // link or FIFO, an older job) is not the download; nor is a part of the body what the
    // instrument offered.
    if (!outcome.opened) {
        qDebug() << "DownloadItem::handleFinished nothing written to" << fileName;
    } else if (!wholeBodyWritten(outcome)) {
        qDebug() << "DownloadItem::handleFinished incomplete" << fileName;
    } else if (outcome.kind == DownloadKind::PrintJob) {
        showStep(DownloadMessages::printing(outcome.name));
        outcome.tool = printWithDialog(fileName);
    } else {
        showStep(DownloadMessages::unpacking(outcome.name));
        outcome.tool = unpackArchive(fileName, unpackFolder, outcome.unpackedFiles);
    }
}
