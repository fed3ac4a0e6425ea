#include "startup.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

void removeFolder(QStandardPaths::StandardLocation location, const QString &name,
                  const char *logText)
{
    const QString path = QStandardPaths::locate(location, name, QStandardPaths::LocateDirectory);
    qDebug() << logText << path;
    // locate() also searches the system's data folders (XDG_DATA_DIRS) when the user has no such
    // folder; what lies there is not this user's to delete, least of all when run as root. Nor
    // is what a link in the user's own folder leads to: the link goes, its target stays.
    const QString own = QDir(QStandardPaths::writableLocation(location)).absolutePath();
    if (path.isEmpty() || !QDir(path).absolutePath().startsWith(own + QLatin1Char('/')))
        return;
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

} // namespace

void removeWebEngineFolders()
{
    removeFolder(QStandardPaths::AppLocalDataLocation, QStringLiteral("cache"), "main() cacheDir=");
    removeFolder(QStandardPaths::AppLocalDataLocation, QStringLiteral("QtWebEngine"),
                 "main() webengineDir=");
    // On Linux the web engine keeps its HTTP cache under the cache location instead.
    removeFolder(QStandardPaths::CacheLocation, QStringLiteral("QtWebEngine"),
                 "main() webengineCacheDir=");
}
