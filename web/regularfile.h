#pragma once

class QFile;
class QString;

// Opens `file` (by its name) write-only and unbuffered, creating it or emptying an existing
// regular file of the effective user with no other link to it, but never through a symbolic
// link and never into a FIFO, device or other special file: the check is made on the opened
// file itself, so nothing can be swapped in between.
bool openRegularFileForWriting(QFile &file, QString &errorString);
