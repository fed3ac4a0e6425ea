#pragma once

#include <QtGlobal>

class QFile;
class QString;

// Opening and filling a download's destination file.

// Opens the destination of a download write-only and unbuffered, so that each chunk is on disk
// as soon as it has been read. A print job or an archive (inFixedPlace) goes under a fixed name
// into the shared temporary folder, where anyone can plant a link, a FIFO or a file of their
// own under that name: there only a regular file of this user with no other link is emptied and
// written, checked on the opened file itself. A path that the user chose in the dialog is
// written as chosen, links and all.
bool openDownloadDestination(QFile &file, bool inFixedPlace, QString &errorString);
// Writes all of it: a short write (a file size limit, a full disk) is tried again for the rest,
// which then either goes through or fails with the reason in the file's error string.
bool writeFully(QFile &file, const char *data, qint64 size);
