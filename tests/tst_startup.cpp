#include "app/startup.h"

#include "shared/logcapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    void foreignFoldersAreKept_data();
    void foreignFoldersAreKept();
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

void tst_Startup::foreignFoldersAreKept_data()
{
    QTest::addColumn<bool>("linkedFromOwnFolder");
    QTest::newRow("found in the system's data folders, the user having none") << false;
    QTest::newRow("the user's own folder is a link to it: only the link goes") << true;
}

void tst_Startup::foreignFoldersAreKept()
{
    QFETCH(bool, linkedFromOwnFolder);
    const QTemporaryDir elsewhere;
    const QString foreign = elsewhere.path() + QLatin1Char('/')
                            + QCoreApplication::applicationName() + QStringLiteral("/QtWebEngine");
    QVERIFY(makeFolderWithFile(foreign));
    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                        + QStringLiteral("/QtWebEngine");
    if (linkedFromOwnFolder) {
        QVERIFY(QDir().mkpath(QFileInfo(own).path()));
        QVERIFY(QFile::link(foreign, own));
    } else {
        qputenv("XDG_DATA_DIRS", elsewhere.path().toLocal8Bit());
    }

    removeWebEngineFolders();
    qunsetenv("XDG_DATA_DIRS");

    QVERIFY(QFile::exists(foreign + "/entry"));
    QVERIFY(!QFileInfo(own).isSymLink());
    QCOMPARE(
        logLines.value(1),
        QStringLiteral("main() webengineDir= \"%1\"").arg(linkedFromOwnFolder ? own : foreign));
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
