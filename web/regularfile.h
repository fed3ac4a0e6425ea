#pragma once

class QFile;
class QString;

// Opens `file` (by its name) write-only, creating it or emptying an existing regular file, but
// never through a symbolic link and never into a FIFO, device or other special file: the check
// and the open are one system call, so nothing can be swapped in between.
bool openRegularFileForWriting(QFile &file, QString &errorString);
