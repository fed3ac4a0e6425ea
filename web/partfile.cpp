#include "partfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// As the kernel resolves them, up to its own limit of links in a row.
QString followLinks(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

// What a file that the program creates gets: 0666 less the user's umask. The umask is read, not
// set and put back, which would change it for every thread meanwhile.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    mode_t umask = 022;
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    umask = mode_t(value);
                break;
            }
        }
    }
    return 0666 & ~umask;
}

bool writeAll(int fd, const char *data, ssize_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, data, size_t(count));
        if (written <= 0)
            return false;
        data += written;
        count -= written;
    }
    return true;
}

// The spool lies on another file system than the destination: its bytes are copied, once.
bool copyInto(int fd, const QString &spoolPath, QString &errorString)
{
    QFile source(spoolPath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        errorString = source.errorString();
        return false;
    }
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    qint64 count = 0;
    while ((count = source.read(buffer.data(), buffer.size())) > 0) {
        if (!writeAll(fd, buffer.constData(), ssize_t(count))) {
            errorString = systemError();
            return false;
        }
    }
    if (count < 0)
        errorString = source.errorString();
    return count == 0;
}

// The file goes on in the descriptor given, which it owns from here on.
bool reopenOn(QFile &file, int fd, QString &errorString)
{
    file.close();
    if (file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    errorString = file.errorString();
    ::close(fd);
    return false;
}

} // namespace

bool PartFile::takeOver(QFile &file, const QString &spoolPath, const QString &chosenPath,
                        QString &errorString)
{
    m_target = followLinks(chosenPath);
    const QByteArray target = QFile::encodeName(m_target);
    struct stat status = {};
    m_hadEarlier = ::stat(target.constData(), &status) == 0;
    m_earlierMode = status.st_mode & 07777;

    // Created exclusively, never over another file, and readable by nobody else until the
    // permissions are set at the end. A long name is shortened, so that the suffix still fits.
    QString fileName = QFileInfo(m_target).fileName();
    while (QFile::encodeName(fileName).size() > 240)
        fileName.chop(1);
    QByteArray partName
        = QFile::encodeName(QFileInfo(m_target).path() + QLatin1Char('/') + fileName)
          + ".XXXXXX.part";
    const int fd = ::mkostemps(partName.data(), 5, O_CLOEXEC);
    if (fd == -1) {
        if ((errno == EACCES || errno == EPERM || errno == EROFS) && m_hadEarlier)
            return openInPlace(file, errorString)
                   && copyInto(file.handle(), spoolPath, errorString);
        errorString = systemError();
        return false;
    }
    m_path = QFile::decodeName(partName);
    // The spool becomes the part file: the open file goes on where it stands.
    if (::rename(QFile::encodeName(spoolPath).constData(), partName.constData()) == 0) {
        ::close(fd);
        return true;
    }
    if (!copyInto(fd, spoolPath, errorString)) {
        ::close(fd);
        ::unlink(partName.constData());
        m_path.clear();
        return false;
    }
    QFile::remove(spoolPath);
    return reopenOn(file, fd, errorString);
}

bool PartFile::openInPlace(QFile &file, QString &errorString)
{
    const int fd = ::open(QFile::encodeName(m_target).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd == -1) {
        errorString = systemError();
        return false;
    }
    m_inPlace = true;
    return reopenOn(file, fd, errorString);
}

bool PartFile::commit(QFile &file, QString &errorString)
{
    const int fd = file.handle();
    const mode_t mode = m_hadEarlier ? m_earlierMode : newFileMode();
    const bool done = ::fsync(fd) == 0 && (m_inPlace || ::fchmod(fd, mode) == 0)
                      && (m_inPlace
                          || ::rename(QFile::encodeName(m_path).constData(),
                                      QFile::encodeName(m_target).constData())
                                 == 0);
    if (!done) {
        errorString = systemError();
        discard(file);
        return false;
    }
    file.close();
    m_path.clear();
    return true;
}

void PartFile::discard(QFile &file)
{
    file.close();
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_path.clear();
}
