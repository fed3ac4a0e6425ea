#pragma once

#include <QString>

#include <functional>

struct DownloadOutcome;

// How a tool that a finished download was handed to ended.
struct ToolRun
{
    enum class End : quint8 { Succeeded, Failed, Crashed, NotStarted };

    End end = End::Succeeded;
    int exitStatus = 0;
    // Why it could not be started.
    QString error;
};

// The two tools a finished download is handed to. Each runs to its end and blocks the GUI thread
// on purpose: nothing may happen to the window while the tool works on the file.
ToolRun printWithDialog(const QString &fileName);
// The number of files the archive added to the folder goes into unpackedFiles.
ToolRun unpackArchive(const QString &fileName, const QString &folder, int &unpackedFiles);

// The file holds the whole body as the instrument meant it: only then is it handed to a tool.
bool wholeBodyWritten(const DownloadOutcome &outcome);
// Hands a finished print job or archive to its tool, once the whole body is in its file: a part
// of a PDF or an archive is of no use to the tool. showStep gets the line to show before the GUI
// thread waits for the tool.
void runFollowUpAction(DownloadOutcome &outcome, const QString &fileName,
                       const QString &unpackFolder,
                       const std::function<void(const QString &)> &showStep);
