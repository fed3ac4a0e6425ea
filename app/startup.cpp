#include "startup.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

namespace {

void removeFolder(QStandardPaths::StandardLocation location, const QString &name,
                  const char *logText)
{
    const QString path = QStandardPaths::locate(location, name, QStandardPaths::LocateDirectory);
    qDebug() << logText << path;
    if (!path.isEmpty())
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
