#include "app/startup.h"

#include "shared/logcapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool makeFolderWithFile(const QString &path)
{
    QFile file(path + QStringLiteral("/entry"));
    return QDir().mkpath(path + QStringLiteral("/Default")) && file.open(QIODevice::WriteOnly);
}

} // namespace

// An instrument update must never be hidden behind a cached copy of its web application.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void removesFoldersFoundAndLogsThem();
    void absentFoldersLogEmptyPaths();
    void systemFoldersAreKept();
};

void tst_Startup::initTestCase()
{
    startLogCapture();
}

void tst_Startup::cleanupTestCase()
{
    stopLogCapture();
}

void tst_Startup::init()
{
    // Only this test's own folders (named after the test executable) are cleared.
    for (const auto location :
         {QStandardPaths::AppLocalDataLocation, QStandardPaths::CacheLocation})
        QVERIFY(QDir(QStandardPaths::writableLocation(location)).removeRecursively());
    logLines.clear();
}

void tst_Startup::removesFoldersFoundAndLogsThem()
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QVERIFY(dataDir.startsWith(QDir::homePath()));
    QVERIFY(makeFolderWithFile(dataDir + "/cache"));
    QVERIFY(makeFolderWithFile(dataDir + "/QtWebEngine"));
    QVERIFY(makeFolderWithFile(cacheDir + "/QtWebEngine"));
    QVERIFY(makeFolderWithFile(dataDir + "/keep"));

    removeWebEngineFolders();

    QVERIFY(!QFile::exists(dataDir + "/cache"));
    QVERIFY(!QFile::exists(dataDir + "/QtWebEngine"));
    QVERIFY(!QFile::exists(cacheDir + "/QtWebEngine"));
    QVERIFY(QFile::exists(dataDir + "/keep/entry"));
    QCOMPARE(logLines,
             QStringList(
                 {QStringLiteral("main() cacheDir= \"%1/cache\"").arg(dataDir),
                  QStringLiteral("main() webengineDir= \"%1/QtWebEngine\"").arg(dataDir),
                  QStringLiteral("main() webengineCacheDir= \"%1/QtWebEngine\"").arg(cacheDir)}));
}

void tst_Startup::absentFoldersLogEmptyPaths()
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY(makeFolderWithFile(dataDir + "/other"));

    removeWebEngineFolders();

    QVERIFY(QFile::exists(dataDir + "/other/entry"));
    QCOMPARE(logLines, QStringList({QStringLiteral("main() cacheDir= \"\""),
                                    QStringLiteral("main() webengineDir= \"\""),
                                    QStringLiteral("main() webengineCacheDir= \"\"")}));
}

// With no folder of the user's own, locate() finds one in the system's data folders: it is
// logged as found, and kept.
void tst_Startup::systemFoldersAreKept()
{
    const QTemporaryDir systemData;
    const QString found = systemData.path() + QLatin1Char('/') + QCoreApplication::applicationName()
                          + QStringLiteral("/QtWebEngine");
    QVERIFY(makeFolderWithFile(found));
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", systemData.path().toLocal8Bit());

    removeWebEngineFolders();
    qputenv("XDG_DATA_DIRS", dataDirs);

    QVERIFY(QFile::exists(found + "/entry"));
    QCOMPARE(logLines.value(1), QStringLiteral("main() webengineDir= \"%1\"").arg(found));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
