#pragma once

#include <QString>

// What the busy overlay and the end-of-download notice say, in plain words. The texts are
// decided here, without any widget, so that every wording can be checked on its own.
class DownloadMessages
{
public:
    // A size as people read it: "512 bytes", "12.4 MB", "1.1 GB".
    static QString size(qint64 bytes);
    // "report.csv — 12.4 MB of 40.0 MB (31 %)" with a known total (a positive one), else
    // "report.csv — 12.4 MB".
    static QString progress(const QString &name, qint64 received, qint64 total);
    static QString printing(const QString &name);
    static QString unpacking(const QString &name);

    static QString saved(const QString &name, const QString &path);
    static QString unpacked(const QString &name, const QString &folder, int fileCount);
    static QString handedToPrinting(const QString &name);
    // The body ended early: with a network error (reason), or shorter than announced.
    static QString incomplete(const QString &name, qint64 received, qint64 total,
                              const QString &reason);
    // The reply ended without a single byte of body: there was nothing to save.
    static QString nothingSent(const QString &name);
    // The destination could not be opened (a refused file in the temporary folder, a folder
    // that cannot be written to).
    static QString notSaved(const QString &name, const QString &path, const QString &reason);
    // The server answered with an error; its answer, if it had one, is what was written.
    static QString serverError(const QString &name, int httpStatus, const QString &reason,
                               bool answerWritten);
    // A tool ended with a status other than 0 (exitStatus), or could not run at all (error).
    static QString toolFailed(const QString &tool, const QString &file, int exitStatus,
                              const QString &error);
};
