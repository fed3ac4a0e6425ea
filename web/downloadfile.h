#pragma once

#include <QtGlobal>

class QByteArray;
class QFile;
class QIODevice;
class QString;

// Opening and filling a download's files.

// Where every download gets a folder of its own, for a print job or an archive and for what
// arrives while a dialog of the download is open: the temporary folder, which the launcher makes
// private to the running program and keeps on disk. Without TMPDIR it is the user's cache folder
// instead of the system's /tmp, which may be held in memory.
QString downloadFolderRoot();

// Opens a file in the download's own folder write-only and unbuffered, so that each chunk is on
// disk as soon as it has been read. Only a regular file of this user with no other link is
// emptied and written, checked on the opened file itself: the folder is the download's, but a
// temporary folder shared by accident must not let anyone else's link or FIFO in.
bool openDownloadFile(QFile &file, QString &errorString);
// Moves everything the source holds into the file, piece by piece through buffer (made on first
// use, for as long as the caller keeps it), and counts
// what was written. A short write (a file size limit, a full disk) is tried again for the rest,
// which then either goes through or fails: false then, with the reason in the file's error
// string, and nothing more is written, so that the file never gets a hole in the middle.
bool appendAvailable(QIODevice &source, QFile &file, QByteArray &buffer, qint64 &written);
