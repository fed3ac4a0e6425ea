#include "web/downloadnaming.h"

#include "shared/logcapture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray offered(const QByteArray &name)
{
    return "attachment; filename=\"" + name + '"';
}

} // namespace

// How a download is named from the server's header, sorted into print job, archive or ordinary
// file, and given a path that is new and stays inside the destination directory.
class tst_DownloadNaming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void offeredName_data();
    void offeredName();
    void uniqueFileName_data();
    void uniqueFileName();
};

void tst_DownloadNaming::initTestCase()
{
    // The naming lines come by the hundred here; the capture keeps them out of the output.
    startLogCapture();
}

void tst_DownloadNaming::cleanupTestCase()
{
    stopLogCapture();
}

// clang-format off
void tst_DownloadNaming::offeredName_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("endName");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("proposal");

    const int print = int(DownloadKind::PrintJob);
    const int zip = int(DownloadKind::ZipArchive);
    const int ordinary = int(DownloadKind::OrdinaryFile);

    QTest::newRow("quoted name is split at its last full stop")
        << offered("report.csv") << "report" << "csv" << ordinary << "report.csv";
    QTest::newRow("only the last suffix is the end name")
        << offered("data.tar.gz") << "data.tar" << "gz" << ordinary << "data.tar.gz";
    QTest::newRow("directory part is dropped")
        << offered("a/b.txt") << "b" << "txt" << ordinary << "b.txt";
    QTest::newRow("nothing before the full stop is an unnamed archive")
        << offered(".zip") << "unnamed_download" << "zip" << zip << "unnamed_download.zip";
    QTest::newRow("no header is an unnamed download with a bare full stop")
        << QByteArray() << "unnamed_download" << "" << ordinary << "unnamed_download.";
    QTest::newRow("header of 23 bytes holds no name")
        << QByteArray("attachment; filename=\"\"") << "unnamed_download" << "" << ordinary
        << "unnamed_download.";
    QTest::newRow("header shorter than the prefix holds no name")
        << QByteArray("attachment") << "unnamed_download" << "" << ordinary
        << "unnamed_download.";
    QTest::newRow("unquoted name loses its first and last character")
        << QByteArray("attachment; filename=report.csv") << "eport" << "cs" << ordinary
        << "eport.cs";
    QTest::newRow("inline form loses the first four characters")
        << QByteArray("inline; filename=\"report.csv\"") << "rt" << "csv" << ordinary
        << "rt.csv";
    QTest::newRow("print.pdf is a print job") << offered("print.pdf") << "print" << "pdf" << print
                                              << "print.pdf";
    QTest::newRow("capital base name is no print job")
        << offered("Print.pdf") << "Print" << "pdf" << ordinary << "Print.pdf";
    QTest::newRow("capital suffix is no print job")
        << offered("print.PDF") << "print" << "PDF" << ordinary << "print.PDF";
    QTest::newRow("zip suffix is an archive whatever the base name")
        << offered("results.zip") << "results" << "zip" << zip << "results.zip";
    QTest::newRow("capital zip suffix is an ordinary file")
        << offered("results.ZIP") << "results" << "ZIP" << ordinary << "results.ZIP";
    QTest::newRow("name without full stop gets a bare full stop")
        << offered("README") << "README" << "" << ordinary << "README.";
    QTest::newRow("name is read as UTF-8")
        << offered("Messwerte_\xc3\xa4\xc3\xb6\xc3\xbc.csv")
        << QString::fromUtf8("Messwerte_äöü") << "csv" << ordinary
        << QString::fromUtf8("Messwerte_äöü.csv");
    QTest::newRow("name ends at an embedded zero byte")
        << offered(QByteArray("rep\0ort.csv", 11)) << "rep" << "" << ordinary << "rep.";
    QTest::newRow("parent steps are dropped with the directory part")
        << offered("../../x") << "x" << "" << ordinary << "x.";
    QTest::newRow("absolute path keeps only its last component")
        << offered("/etc/passwd") << "passwd" << "" << ordinary << "passwd.";
    QTest::newRow("backslashes are part of one file name")
        << offered("..\\..\\x") << "..\\." << "\\x" << ordinary << "..\\..\\x";
    QTest::newRow("parent directory name is proposed numbered, inside the directory")
        << offered("..") << "." << "" << ordinary << "._1.";
    QTest::newRow("parent directory after a directory part is proposed numbered")
        << offered("a/..") << "." << "" << ordinary << "._1.";
    QTest::newRow("current directory name is an unnamed download")
        << offered(".") << "unnamed_download" << "" << ordinary << "unnamed_download.";
    QTest::newRow("trailing slash leaves no name")
        << offered("a/") << "unnamed_download" << "" << ordinary << "unnamed_download.";
    QTest::newRow("three full stops are an ordinary name")
        << offered("...") << ".." << "" << ordinary << "...";
}
// clang-format on

void tst_DownloadNaming::offeredName()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, baseName);
    QFETCH(QString, endName);
    QFETCH(int, kind);
    QFETCH(QString, proposal);

    QString base = QStringLiteral("stale");
    QString end = QStringLiteral("stale");
    DownloadNaming::splitOfferedName(header, base, end);
    QCOMPARE(base, baseName);
    QCOMPARE(end, endName);
    QCOMPARE(int(DownloadNaming::kindOf(base, end)), kind);
    // The user is shown the name that is stored, the fallback included.
    const QString shown = DownloadNaming::shownName(header);
    QVERIFY2(shown.startsWith(base) && shown.endsWith(end), qPrintable(shown));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString directory = dir.path() + QLatin1Char('/');
    const QString proposed = DownloadNaming::uniqueFileName(directory, base, end);
    QCOMPARE(proposed, directory + proposal);
    // Whatever the server offers, the file lands in the directory itself.
    const QFileInfo cleaned(QDir::cleanPath(proposed));
    QCOMPARE(cleaned.absolutePath(), QDir::cleanPath(dir.path()));
    QVERIFY(cleaned.fileName() != QLatin1String(".."));
    QVERIFY(cleaned.fileName() != QLatin1String("."));
}

// clang-format off
void tst_DownloadNaming::uniqueFileName_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("endName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free name is proposed as it is")
        << QStringList() << "report" << "csv" << "report.csv";
    QTest::newRow("taken name gets the first free number")
        << QStringList{"report.csv", "report_1.csv"} << "report" << "csv" << "report_2.csv";
    QTest::newRow("free plain name wins over a gap in the numbers")
        << QStringList{"report_1.csv"} << "report" << "csv" << "report.csv";
    QTest::newRow("number goes before the full stop")
        << QStringList{"report.csv"} << "report" << "csv" << "report_1.csv";
    QTest::newRow("numbers go on past nine")
        << QStringList{"r.csv", "r_1.csv", "r_2.csv", "r_3.csv", "r_4.csv", "r_5.csv",
                       "r_6.csv", "r_7.csv", "r_8.csv", "r_9.csv"}
        << "r" << "csv" << "r_10.csv";
    QTest::newRow("unnamed download keeps its bare full stop")
        << QStringList() << "unnamed_download" << "" << "unnamed_download.";
    QTest::newRow("numbered unnamed download keeps its bare full stop")
        << QStringList{"unnamed_download."} << "unnamed_download" << ""
        << "unnamed_download_1.";
    QTest::newRow("name without full stop does not count as taken")
        << QStringList{"unnamed_download"} << "unnamed_download" << "" << "unnamed_download.";
    QTest::newRow("directory of that name counts as taken")
        << QStringList{"report.csv/"} << "report" << "csv" << "report_1.csv";
}
// clang-format on

void tst_DownloadNaming::uniqueFileName()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, baseName);
    QFETCH(QString, endName);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : existing) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(dir.path()).mkdir(name));
            continue;
        }
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString directory = dir.path() + QLatin1Char('/');
    QCOMPARE(DownloadNaming::uniqueFileName(directory, baseName, endName), directory + expected);
    // Only asks the file system: nothing is created.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             existing.size());
}

QTEST_GUILESS_MAIN(tst_DownloadNaming)
#include "tst_downloadnaming.moc"
