#pragma once

#include <QString>

class QByteArray;

// What the offered name makes of a download: where it goes, and what is done with it.
enum class DownloadKind : quint8 { PrintJob, ZipArchive, OrdinaryFile };

// How a download is named from the server's header: plain functions, so that the tests and the
// fuzzer call them without a reply or a window.
namespace DownloadNaming {

// The offered name is taken by position from `attachment; filename="NAME"` and split at the
// last full stop of its last part; a name with nothing before that stop becomes
// "unnamed_download". Logs each step, the parts before the fallback is applied.
void splitOfferedName(const QByteArray &contentDisposition, QString &baseName, QString &endName);
// The offered name's last part as the user is shown it, the same fallback applied.
QString shownName(const QByteArray &contentDisposition);
DownloadKind kindOf(const QString &baseName, const QString &endName);
// The folder of each kind, with "/" appended unless it is empty: print jobs and archives go
// into the download's own folder, so that two of one name never share a file; ordinary files
// are proposed in the home folder.
QString directoryFor(DownloadKind kind, const QString &downloadFolder);
// The first path in `directory` (which ends with "/" or is empty) that does not exist yet.
QString uniqueFileName(const QString &directory, const QString &baseName, const QString &endName);
// Where a print job or an archive is stored: the plain name in its own folder (print.pdf is what
// the print queue shows as the job's title), with nothing in it that a tool reads as more than
// a name.
QString storedFileName(const QString &directory, const QString &baseName, const QString &endName);

} // namespace DownloadNaming
