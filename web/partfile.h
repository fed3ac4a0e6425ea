#pragma once

#include <QString>

#include <sys/types.h>

class QFile;

// Where a saved download is written until it is whole: a file of its own beside the
// destination, in the same folder so that the last step is an atomic rename over it. Until then
// an earlier file under the chosen name stays exactly as it was, and a download that ends early
// leaves nothing under that name.
class PartFile
{
public:
    PartFile() = default;
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    // Moves what the open file at spoolPath holds into a part file beside the destination, and
    // leaves file open there for the rest. A chosen name that is a symbolic link means its
    // target. Where the folder takes no new file but the earlier file may be written, the file
    // is written in place instead. False with the reason on failure; the spool is left to its
    // owner then.
    bool takeOver(QFile &file, const QString &spoolPath, const QString &chosenPath,
                  QString &errorString);
    // The body is whole: it is flushed to disk and renamed over the destination, with the
    // earlier file's permissions, or those a new file gets.
    bool commit(QFile &file, QString &errorString);
    // Closes the file and removes the part file; the destination stays as it was.
    void discard(QFile &file);

    // The destination, its links followed.
    QString target() const { return m_target; }
    // The destination itself is written: what came stays in it whatever happens.
    bool writesInPlace() const { return m_inPlace; }
    // An earlier file stays as it was, if the download goes no further.
    bool keepsEarlier() const { return m_hadEarlier && !m_inPlace; }

private:
    bool openInPlace(QFile &file, QString &errorString);

    QString m_target;
    QString m_path;
    bool m_hadEarlier = false;
    bool m_inPlace = false;
    mode_t m_earlierMode = 0;
};
