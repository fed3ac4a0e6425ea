#include "web/downloadmessages.h"

#include <QLocale>
#include <QTest>

// What the busy overlay and the end-of-download notice say. A short body or a failed tool must
// never read like a success.
class tst_DownloadMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void texts_data();
    void texts();
};

// clang-format off
void tst_DownloadMessages::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    using M = DownloadMessages;
    QTest::newRow("one byte") << M::progress("a.csv", 1, -1) << "a.csv — 1 byte";
    QTest::newRow("bytes, no total") << M::progress("a.csv", 999, -1) << "a.csv — 999 bytes";
    QTest::newRow("kilobytes") << M::progress("a.csv", 12400, 0) << "a.csv — 12.4 kB";
    QTest::newRow("megabytes of a total")
        << M::progress("report.csv", 12400000, 40000000) << "report.csv — 12.4 MB of 40.0 MB (31 %)";
    QTest::newRow("gigabytes, all of it")
        << M::progress("big.zip", 1073741824, 1073741824) << "big.zip — 1.1 GB of 1.1 GB (100 %)";
    QTest::newRow("more than announced stays at 100 %")
        << M::progress("a.csv", 2000, 1000) << "a.csv — 2.0 kB of 1.0 kB (100 %)";
    QTest::newRow("printing") << M::printing("print.pdf") << "Printing print.pdf …";
    QTest::newRow("unpacking") << M::unpacking("results.zip") << "Unpacking results.zip …";
    QTest::newRow("saved") << M::saved("report.csv", "/home/u/report.csv")
                           << "Saved report.csv to /home/u/report.csv";
    QTest::newRow("unpacked") << M::unpacked("results.zip", "/home/u/r", 2)
                              << "Unpacked results.zip: 2 files in /home/u/r";
    QTest::newRow("unpacked one") << M::unpacked("results.zip", "/home/u/r", 1)
                                  << "Unpacked results.zip: 1 file in /home/u/r";
    QTest::newRow("incomplete, network error")
        << M::incomplete("report.csv", 100000, 1148576, "Connection closed")
        << "report.csv is incomplete: only 100.0 kB of 1.1 MB arrived (Connection closed)";
    QTest::newRow("incomplete, no total, no reason")
        << M::incomplete("report.csv", 100, -1, QString())
        << "report.csv is incomplete: only 100 bytes arrived (the transfer ended early)";
    QTest::newRow("tool ended with a status")
        << M::toolFailed("7za", "/tmp/results.zip", 2, QString())
        << "7za ended with status 2 for /tmp/results.zip";
    QTest::newRow("tool could not run")
        << M::toolFailed("pdftocairo", "/tmp/print.pdf", 0, "No such file or directory")
        << "pdftocairo could not run for /tmp/print.pdf: No such file or directory";
    QTest::newRow("server error with its answer saved")
        << M::serverError("report.csv", 404, "Not Found", true)
        << "report.csv: the instrument answered with error 404 (Not Found); its answer was saved "
           "instead of the file";
}
// clang-format on

void tst_DownloadMessages::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

QTEST_APPLESS_MAIN(tst_DownloadMessages)
#include "tst_downloadmessages.moc"
