#pragma once

#include <QtGlobal>

class QByteArray;
class QFile;
class QIODevice;
class QString;

// Opening and filling a download's destination file.

// Opens the destination of a download write-only and unbuffered, so that each chunk is on disk
// as soon as it has been read. A print job or an archive (inFixedPlace) goes under a fixed name
// into the shared temporary folder, where anyone can plant a link, a FIFO or a file of their
// own under that name: there only a regular file of this user with no other link is emptied and
// written, checked on the opened file itself. A path that the user chose in the dialog is
// written as chosen, links and all.
bool openDownloadDestination(QFile &file, bool inFixedPlace, QString &errorString);
// Moves everything the source holds into the file, piece by piece through buffer (made on first
// use, for as long as the caller keeps it), and counts
// what was written. A short write (a file size limit, a full disk) is tried again for the rest,
// which then either goes through or fails: false then, with the reason in the file's error
// string, and nothing more is written, so that the file never gets a hole in the middle.
bool appendAvailable(QIODevice &source, QFile &file, QByteArray &buffer, qint64 &written);
