#include "web/downloadmessages.h"

#include <QLocale>
#include <QTest>

// What the busy overlay and the end-of-download notice say, and which notice a finished download
// gets. A short body or a failed tool must never read like a success.
class tst_DownloadMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void texts_data();
    void texts();
};

namespace {

// The end notice, marked "! " when it is a problem.
QString ended(const DownloadOutcome &outcome)
{
    bool problem = false;
    const QString text = DownloadMessages::endNotice(outcome, problem);
    return (problem ? QStringLiteral("! ") : QString()) + text;
}

DownloadOutcome outcome(DownloadKind kind, qint64 written, qint64 total)
{
    DownloadOutcome result;
    result.kind = kind;
    result.name = QStringLiteral("report.csv");
    result.path = QStringLiteral("/home/u/report.csv");
    result.unpackFolder = QStringLiteral("/home/u/r");
    result.opened = written > 0;
    result.written = written;
    result.total = total;
    result.unpackedFiles = 2;
    return result;
}

} // namespace

// clang-format off
void tst_DownloadMessages::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    namespace M = DownloadMessages;
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

    using K = DownloadKind;
    QTest::newRow("end: saved") << ended(outcome(K::OrdinaryFile, 10, 10))
                                << "Saved report.csv to /home/u/report.csv";
    QTest::newRow("end: unpacked") << ended(outcome(K::ZipArchive, 10, -1))
                                   << "Unpacked report.csv: 2 files in /home/u/r";
    QTest::newRow("end: printed") << ended(outcome(K::PrintJob, 10, 0))
                                  << "Handed report.csv to printing";
    QTest::newRow("end: shorter than announced, without an error")
        << ended(outcome(K::OrdinaryFile, 10, 20))
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (the transfer ended early)";
    DownloadOutcome cut = outcome(K::PrintJob, 10, 20);
    cut.transferError = QStringLiteral("Connection closed");
    cut.toolFailure = QStringLiteral("pdftocairo ended with status 1 for /tmp/print.pdf");
    QTest::newRow("end: a cut wins over the tool's failure") << ended(cut)
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (Connection closed)";
    DownloadOutcome unwritten = outcome(K::OrdinaryFile, 10, 10);
    unwritten.writeError = QStringLiteral("No space left on device");
    QTest::newRow("end: a chunk that could not be written") << ended(unwritten)
        << "! report.csv is incomplete: only 10 bytes of 10 bytes arrived (not all of it could be "
           "written: No space left on device)";
    DownloadOutcome answered = outcome(K::OrdinaryFile, 0, 0);
    answered.serverAnswer = true;
    answered.transferError = QStringLiteral("Error transferring - server replied: Not Found");
    answered.httpStatus = 404;
    answered.httpReason = QStringLiteral("Not Found");
    QTest::newRow("end: an empty error answer") << ended(answered)
        << "! report.csv: the instrument answered with error 404 (Not Found)";
    QTest::newRow("end: nothing sent") << ended(outcome(K::OrdinaryFile, 0, 0))
        << "! report.csv: the instrument sent nothing, so nothing was saved";
    DownloadOutcome failedTool = outcome(K::ZipArchive, 10, 10);
    failedTool.toolFailure = QStringLiteral("7za ended with status 2 for /tmp/results.zip");
    QTest::newRow("end: a failed tool") << ended(failedTool)
                                        << "! 7za ended with status 2 for /tmp/results.zip";
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
