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
    QTest::newRow("server error with its answer saved")
        << M::serverError("report.csv", 404, "Not Found", true)
        << "report.csv: the instrument answered with error 404 (Not Found); its answer was saved "
           "instead of the file";

    using K = DownloadKind;
    const auto tool = [](ToolRun::End end, int exitStatus) {
        ToolRun run;
        run.end = end;
        run.exitStatus = exitStatus;
        run.error = QStringLiteral("No such file or directory");
        return run;
    };
    const auto ending = [](DownloadOutcome result, const ToolRun &run) {
        result.tool = run;
        return ended(result);
    };
    using E = ToolRun::End;
    QTest::newRow("end: saved") << ended(outcome(K::OrdinaryFile, 10, 10))
                                << "Saved report.csv to /home/u/report.csv";
    QTest::newRow("end: unpacked") << ended(outcome(K::ZipArchive, 10, -1))
                                   << "Unpacked report.csv: 2 files in /home/u/r";
    QTest::newRow("end: printed") << ended(outcome(K::PrintJob, 10, 0)) << "Printed report.csv";
    QTest::newRow("end: print dialog cancelled is no problem")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::Failed, 10))
        << "Printing of report.csv was cancelled";
    QTest::newRow("end: printer refused the job, in words")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::Failed, 3))
        << "! report.csv was not printed: the printer did not take the job";
    QTest::newRow("end: not a printable PDF")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::Failed, 1))
        << "! report.csv was not printed: it is not a PDF that can be printed";
    QTest::newRow("end: PDF file not written")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::Failed, 2))
        << "! report.csv was not printed: its pages could not be written to the PDF file";
    QTest::newRow("end: the platform's pdftocairo, which has no print dialog")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::Failed, 99))
        << "! report.csv was not printed: pdftocairo ended with status 99";
    QTest::newRow("end: print tool missing")
        << ending(outcome(K::PrintJob, 10, 10), tool(E::NotStarted, 0))
        << "! report.csv was not printed: pdftocairo could not be started (No such file or "
           "directory)";
    QTest::newRow("end: archiver failed")
        << ending(outcome(K::ZipArchive, 10, 10), tool(E::Failed, 2))
        << "! report.csv could not be unpacked: 7za ended with status 2";
    QTest::newRow("end: archiver crashed")
        << ending(outcome(K::ZipArchive, 10, 10), tool(E::Crashed, 0))
        << "! report.csv could not be unpacked: 7za crashed";
    QTest::newRow("end: shorter than announced, without an error")
        << ended(outcome(K::OrdinaryFile, 10, 20))
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (the transfer ended early)";
    DownloadOutcome cut = outcome(K::PrintJob, 10, 20);
    cut.transferError = QStringLiteral("Connection closed");
    QTest::newRow("end: a cut print job is incomplete, not printed") << ended(cut)
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (Connection closed)";
    DownloadOutcome unwritten = outcome(K::OrdinaryFile, 10, 10);
    unwritten.end = TransferEnd::NotWritten;
    unwritten.writeError = QStringLiteral("No space left on device");
    QTest::newRow("end: a write failure says why, not that bytes were missing") << ended(unwritten)
        << "! report.csv could not be saved to /home/u/report.csv: No space left on device";
    DownloadOutcome stalled = outcome(K::ZipArchive, 10, 20);
    stalled.end = TransferEnd::Stalled;
    stalled.transferError = QStringLiteral("Operation canceled");
    QTest::newRow("end: stalled") << ended(stalled)
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (the instrument stopped "
           "sending)";
    DownloadOutcome cancelled = outcome(K::OrdinaryFile, 10, 20);
    cancelled.end = TransferEnd::Cancelled;
    QTest::newRow("end: cancelled, written in place") << ended(cancelled)
        << "report.csv is incomplete: only 10 bytes of 20 bytes arrived (the download was "
           "cancelled)";
    cancelled.discarded = true;
    QTest::newRow("end: cancelled, nothing kept") << ended(cancelled)
        << "The download of report.csv was cancelled; nothing was saved";
    cancelled.earlierKept = QStringLiteral("report.csv");
    QTest::newRow("end: cancelled, the earlier file unchanged") << ended(cancelled)
        << "The download of report.csv was cancelled; the earlier report.csv is unchanged";
    DownloadOutcome cutOver = outcome(K::OrdinaryFile, 10, 20);
    cutOver.transferError = QStringLiteral("Connection closed");
    cutOver.discarded = true;
    cutOver.earlierKept = QStringLiteral("old.csv");
    QTest::newRow("end: cut, the earlier file unchanged") << ended(cutOver)
        << "! report.csv is incomplete: only 10 bytes of 20 bytes arrived (Connection closed); "
           "the earlier old.csv is unchanged";
    DownloadOutcome redirected = outcome(K::OrdinaryFile, 0, 0);
    redirected.end = TransferEnd::Redirected;
    redirected.httpStatus = 302;
    redirected.httpReason = QStringLiteral("Found");
    QTest::newRow("end: an answer that sends it elsewhere is not saved") << ended(redirected)
        << "! report.csv was not downloaded: the instrument sent it on with 302 (Found), which "
           "was not followed";
    DownloadOutcome answered = outcome(K::OrdinaryFile, 0, 0);
    answered.serverAnswer = true;
    answered.transferError = QStringLiteral("Error transferring - server replied: Not Found");
    answered.httpStatus = 404;
    answered.httpReason = QStringLiteral("Not Found");
    QTest::newRow("end: an empty error answer") << ended(answered)
        << "! report.csv: the instrument answered with error 404 (Not Found)";
    QTest::newRow("end: nothing sent") << ended(outcome(K::OrdinaryFile, 0, 0))
        << "! report.csv: the instrument sent nothing, so nothing was saved";
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
