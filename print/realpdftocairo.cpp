#include "realpdftocairo.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const QString systemPdftocairo = QStringLiteral("/usr/bin/pdftocairo");

QString canonicalFolder(const QString &folder)
{
    return QFileInfo(folder).canonicalFilePath();
}

} // namespace

QString RealPdftocairo::locate(const QString &searchPath, const QString &ownProgram)
{
    const QString self = QFileInfo(ownProgram).canonicalFilePath();
    const QString ownFolder = QFileInfo(self).absolutePath();
    // Only absolute folders: an empty or relative entry would run whatever pdftocairo lies in
    // the folder the helper happens to be started in.
    QStringList folders = searchPath.split(QLatin1Char(':'));
    folders.erase(std::remove_if(folders.begin(), folders.end(),
                                 [](const QString &folder) { return !folder.startsWith('/'); }),
                  folders.end());

    int first = 0;
    for (int i = 0; i < folders.size(); ++i) {
        if (canonicalFolder(folders.at(i)) == ownFolder) {
            first = i + 1;
            break;
        }
    }
    for (int i = first; i < folders.size(); ++i) {
        const QFileInfo candidate(QDir(folders.at(i)).filePath(QStringLiteral("pdftocairo")));
        if (candidate.isFile() && candidate.isExecutable() && candidate.canonicalFilePath() != self)
            return candidate.absoluteFilePath();
    }
    return systemPdftocairo;
}

QString RealPdftocairo::locate()
{
    return locate(QString::fromLocal8Bit(qgetenv("PATH")),
                  QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
}

int RealPdftocairo::exec(const QString &program, char *argv[])
{
    qDebug() << "RealPdftocairo::exec program=" << program;
    const QByteArray path = QFile::encodeName(program);
    argv[0] = const_cast<char *>(path.constData());
    ::execv(path.constData(), argv);
    qDebug() << "RealPdftocairo::exec error=" << QString::fromLocal8Bit(std::strerror(errno));
    return 127;
}
