#include "downloadfile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int chunkBufferSize = 256 * 1024;

bool fail(int fd, QString &errorString, const QString &reason)
{
    errorString = reason;
    if (fd != -1)
        ::close(fd);
    return false;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Creates the file or empties an existing regular file of the effective user with no other
// link to it, but never through a symbolic link and never into a FIFO, device or other special
// file: the check is made on the opened file itself, so nothing can be swapped in between.
bool openRegularFileForWriting(QFile &file, QString &errorString)
{
    const QByteArray path = QFile::encodeName(file.fileName());
    // O_NONBLOCK keeps a planted FIFO without a reader from hanging the open.
    const int fd
        = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd == -1)
        return fail(fd, errorString, systemError());

    struct stat status = {};
    if (::fstat(fd, &status) == -1)
        return fail(fd, errorString, systemError());
    if (!S_ISREG(status.st_mode))
        return fail(fd, errorString, QStringLiteral("Not a regular file"));
    // Where the kernel does not protect regular files in sticky folders, another user may have
    // planted this one to read the print job or to swap the archive before it is unpacked; a
    // second link would let the file's contents show up under another name.
    if (status.st_uid != ::geteuid())
        return fail(fd, errorString, QStringLiteral("Owned by another user"));
    if (status.st_nlink > 1)
        return fail(fd, errorString, QStringLiteral("More than one link to the file"));
    // Print jobs and archives hold lab results: readable by their owner only, also when the
    // file was there before and was made under another mode.
    if (::fchmod(fd, 0600) == -1 || ::ftruncate(fd, 0) == -1)
        return fail(fd, errorString, systemError());
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)
        return fail(fd, errorString, systemError());

    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return fail(fd, errorString, file.errorString());
    return true;
}

} // namespace

QString downloadFolderRoot()
{
    // Qt names no temporary folder at all for one that does not exist; a folder is then made
    // nowhere, and the download says where it could not be.
    if (!qEnvironmentVariableIsEmpty("TMPDIR"))
        return QDir::tempPath().isEmpty() ? qEnvironmentVariable("TMPDIR") : QDir::tempPath();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                     + QStringLiteral("/kestrion-shell/downloads");
    if (!QDir().mkpath(folder)
        || !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return QDir::tempPath();
    return folder;
}

bool openDownloadFile(QFile &file, QString &errorString)
{
    const bool opened = openRegularFileForWriting(file, errorString);
    if (!opened && errorString.isEmpty())
        errorString = file.errorString();
    return opened;
}

bool appendAvailable(QIODevice &source, QFile &file, QByteArray &buffer, qint64 &written)
{
    if (buffer.isEmpty())
        buffer.resize(chunkBufferSize);
    qint64 count = 0;
    while ((count = source.read(buffer.data(), buffer.size())) > 0) {
        for (const char *data = buffer.constData(); count > 0;) {
            const qint64 chunk = file.write(data, count);
            if (chunk <= 0)
                return false;
            data += chunk;
            count -= chunk;
            written += chunk;
        }
    }
    return true;
}
