// Download throughput and memory of the shell's own download path (QNetworkAccessManager GET
// handed to a DownloadItem, as the web page does) against curl fetching the same URL from the
// same demo instrument, which runs as a process of its own so that the program's GUI thread
// only does the program's work. A print job is used because it needs no dialog; a stand-in
// pdftocairo that does nothing keeps the follow-up action out of the timing.
//
// Every download of the program runs in a fresh process of its own, as the first download of a
// started program does: memory that malloc kept from an earlier run would otherwise be reused
// by the next one and hide its growth. Its debug lines are written as the program writes them,
// to a null device here. Reported are the median and the highest run of each figure: the
// growth of the peak resident memory during the download, and the growth that stays once the
// download is over.
//
// With --paced BYTES:MS the instrument sends the body in pieces of BYTES with a pause of MS
// milliseconds before each, a server slower than the disk.
//
// With --held-dialog the body is an ordinary file instead, and the "Save File" dialog is only
// answered once the whole body has arrived: the program writes it to disk meanwhile, and the
// memory growth this mode reports shows that it holds none of it (no curl runs then).
//
// Each --build LABEL BENCH_DOWNLOAD names this benchmark as built by another build (Qt 5 or
// Qt 6), whose downloads then run in turn with the others, side by side in one table; without
// one, this program's own build runs, labelled "program".
//
// usage: bench_download INSTRUMENT [--size BYTES] [--repetitions N] [--paced BYTES:MS]
//                       [--held-dialog] [--build LABEL BENCH_DOWNLOAD]... [--json FILE]

#include "benchoptions.h"
#include "median.h"
#include "web/downloaditem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

namespace {

qint64 statusValueKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Peak resident memory is reset so that each run reports its own peak.
void resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

struct Run
{
    double seconds = 0;
    qint64 peakGrowthKiB = 0;
    qint64 retainedGrowthKiB = 0;
    qint64 bytes = 0;
};

void discardNoise()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Answers the "Save File" dialog with the target once the whole body has arrived.
class HeldDialogAnswerer : public QObject
{
public:
    HeldDialogAnswerer(const QNetworkReply *reply, const QString &target)
        : m_reply(reply)
        , m_target(target)
    {
        m_timer.callOnTimeout(this, &HeldDialogAnswerer::poll);
        m_timer.start(20);
    }

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !m_reply->isFinished())
            return;
        dialog->selectFile(m_target);
        static_cast<QDialog *>(dialog)->accept();
        m_timer.stop();
    }

    const QNetworkReply *m_reply;
    QString m_target;
    QTimer m_timer;
};

// One download in this process, which does nothing else: prints "result" and the figures.
int runShell(const QUrl &url, const QString &target, qint64 heldDialogSize)
{
    QNetworkAccessManager manager;
    QFile::remove(target);
    QWidget window;
    discardNoise();
    resetPeakMemory();
    const qint64 before = statusValueKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = manager.get(QNetworkRequest(url));
    std::unique_ptr<HeldDialogAnswerer> answerer;
    if (heldDialogSize > 0)
        answerer = std::make_unique<HeldDialogAnswerer>(reply, target);
    auto *item = new DownloadItem(reply, &window);
    // The window is enabled again once the item has finished and run its follow-up action.
    while (!window.isEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Run run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakGrowthKiB = statusValueKiB("VmHWM:") - before;
    run.bytes = QFileInfo(target).size();
    delete item;
    discardNoise();
    run.retainedGrowthKiB = statusValueKiB("VmRSS:") - before;
    QTextStream(stdout) << "result " << run.seconds << ' ' << run.peakGrowthKiB << ' '
                        << run.retainedGrowthKiB << ' ' << run.bytes << Qt::endl;
    return 0;
}

Run runShellProcess(const QString &program, const QUrl &url, const QString &target,
                    qint64 heldDialogSize)
{
    QProcess shell;
    // The program's log lines are written, as they always are, but nobody reads them.
    shell.setStandardErrorFile(QProcess::nullDevice());
    shell.start(program, {QStringLiteral("--shell-run"), url.toString(), target,
                          QString::number(heldDialogSize)});
    shell.waitForFinished(-1);
    const QList<QByteArray> fields = shell.readAllStandardOutput().trimmed().split(' ');
    Run run;
    if (fields.size() != 5 || fields.at(0) != "result")
        return run;
    run.seconds = fields.at(1).toDouble();
    run.peakGrowthKiB = fields.at(2).toLongLong();
    run.retainedGrowthKiB = fields.at(3).toLongLong();
    run.bytes = fields.at(4).toLongLong();
    return run;
}

Run runCurl(const QUrl &url, const QString &target)
{
    QFile::remove(target);
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-o"), target, url.toString()});
    curl.waitForFinished(-1);
    Run run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.bytes = QFileInfo(target).size();
    return run;
}

double highest(const QVector<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

// "median / highest", in MiB.
QString medianAndHighest(const QVector<double> &values)
{
    return QStringLiteral("%1 / %2").arg(median(values), 0, 'f', 1).arg(highest(values), 0, 'f', 1);
}

// One build's download program and its figures.
struct Build
{
    QString label;
    QString program;
    QVector<double> rates;
    QVector<double> growths;
    QVector<double> retained;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 5 && qstrcmp(argv[1], "--shell-run") == 0) {
        QApplication application(argc, argv);
        return runShell(QUrl(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]),
                        QByteArray(argv[4]).toLongLong());
    }

    QTemporaryDir workDir;
    qputenv("TMPDIR", workDir.path().toLocal8Bit());
    const QString tools = workDir.path() + QStringLiteral("/tools");
    QDir().mkpath(tools);
    QFile standIn(tools + QStringLiteral("/pdftocairo"));
    if (!standIn.open(QIODevice::WriteOnly))
        return 1;
    standIn.write("#!/bin/sh\nexit 0\n");
    standIn.close();
    standIn.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                           | QFileDevice::ExeOwner);
    qputenv("PATH", tools.toLocal8Bit() + ':' + qgetenv("PATH"));

    QCoreApplication application(argc, argv);
    const BenchOptions options = parseBenchOptions(QCoreApplication::arguments(), 3);
    const int repetitions = options.repetitions;
    const QStringList &arguments = options.others;
    qint64 size = qint64(1) << 30;
    QString pace;
    bool heldDialog = false;
    std::vector<Build> builds;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--held-dialog"))
            heldDialog = true;
        else if (arguments[i] == QLatin1String("--size") && i + 1 < arguments.size())
            size = arguments[++i].toLongLong();
        else if (arguments[i] == QLatin1String("--paced") && i + 1 < arguments.size())
            pace = arguments[++i];
        else if (arguments[i] == QLatin1String("--build") && i + 2 < arguments.size()) {
            builds.push_back({arguments[i + 1], arguments[i + 2], {}, {}, {}});
            i += 2;
        }
    }
    // Without a run there is no median to report.
    if (arguments.isEmpty() || repetitions < 1) {
        QTextStream(stderr)
            << "usage: bench_download INSTRUMENT [--size BYTES] [--repetitions N] "
               "[--paced BYTES:MS] [--held-dialog] [--build LABEL BENCH_DOWNLOAD]... "
               "[--json FILE]"
            << Qt::endl;
        return 2;
    }
    if (builds.empty())
        builds.push_back(
            {QStringLiteral("program"), QCoreApplication::applicationFilePath(), {}, {}, {}});

    const QString fileName
        = heldDialog ? QStringLiteral("report.csv") : QStringLiteral("print.pdf");
    const QString path = QStringLiteral("/downloads/") + fileName;
    QStringList instrumentArguments{QStringLiteral("--generated=%1:%2").arg(path).arg(size)};
    if (!pace.isEmpty())
        instrumentArguments << QStringLiteral("--pace=") + pace;
    QProcess instrument;
    instrument.start(arguments[0], instrumentArguments);
    if (!instrument.waitForReadyRead(10000))
        return 1;
    const QByteArray listening = instrument.readLine().trimmed();
    if (!listening.startsWith("listening on "))
        return 1;
    const QUrl url = QUrl(QString::fromUtf8(listening.mid(13))).resolved(QUrl(path));
    const QString shellTarget = workDir.path() + QLatin1Char('/') + fileName;
    const QString curlTarget = workDir.path() + QStringLiteral("/curl.out");

    QVector<double> curlRates;
    QTextStream out(stdout);
    for (int i = 0; i < repetitions; ++i) {
        // Every build's download and curl's in turn, so that all see the same machine noise.
        for (Build &build : builds) {
            const Run shell
                = runShellProcess(build.program, url, shellTarget, heldDialog ? size : 0);
            if (shell.bytes != size) {
                out << "incomplete download: " << build.label << ' ' << shell.bytes << " of "
                    << size << " bytes" << Qt::endl;
                return 1;
            }
            build.rates << size / shell.seconds / 1e6;
            build.growths << shell.peakGrowthKiB / 1024.0;
            build.retained << shell.retainedGrowthKiB / 1024.0;
            out << QStringLiteral("run %1, %2: %3 MB/s (peak growth %4 MiB, retained %5 MiB)")
                       .arg(i + 1)
                       .arg(build.label)
                       .arg(build.rates.last(), 0, 'f', 0)
                       .arg(build.growths.last(), 0, 'f', 1)
                       .arg(build.retained.last(), 0, 'f', 1)
                << Qt::endl;
        }
        if (heldDialog)
            continue;
        const Run curl = runCurl(url, curlTarget);
        if (curl.bytes != size) {
            out << "incomplete download: curl " << curl.bytes << " of " << size << " bytes"
                << Qt::endl;
            return 1;
        }
        curlRates << size / curl.seconds / 1e6;
        out << QStringLiteral("run %1, curl: %2 MB/s").arg(i + 1).arg(curlRates.last(), 0, 'f', 0)
            << Qt::endl;
    }

    // One column per build.
    const QString body
        = QStringLiteral("%1 MiB%2%3, median of %4")
              .arg(size >> 20)
              .arg(pace.isEmpty() ? QString() : QStringLiteral(", paced %1").arg(pace))
              .arg(heldDialog ? QStringLiteral(", Save File dialog held open") : QString())
              .arg(repetitions);
    QString header = QStringLiteral("| %1 |").arg(body);
    QString rule = QStringLiteral("|---|");
    QString rateRow
        = QStringLiteral("| MB/s (curl: %1) |").arg(heldDialog ? 0 : median(curlRates), 0, 'f', 0);
    QString ratioRow = QStringLiteral("| ratio to curl |");
    QString growthRow = QStringLiteral("| peak memory growth MiB, median / highest |");
    QString retainedRow
        = QStringLiteral("| growth left after the download MiB, median / highest |");
    QJsonArray results;
    for (const Build &build : builds) {
        const double ratio = heldDialog ? 0 : median(build.rates) / median(curlRates);
        header += QStringLiteral(" %1 |").arg(build.label);
        rule += QStringLiteral("---|");
        rateRow += QStringLiteral(" %1 |").arg(median(build.rates), 0, 'f', 0);
        ratioRow += QStringLiteral(" %1 |").arg(ratio, 0, 'f', 2);
        growthRow += QStringLiteral(" %1 |").arg(medianAndHighest(build.growths));
        retainedRow += QStringLiteral(" %1 |").arg(medianAndHighest(build.retained));
        results.append(QJsonObject{{"label", build.label},
                                   {"MBps", median(build.rates)},
                                   {"ratio", ratio},
                                   {"peakGrowthMiB", median(build.growths)},
                                   {"peakGrowthHighestMiB", highest(build.growths)},
                                   {"retainedGrowthMiB", median(build.retained)},
                                   {"retainedGrowthHighestMiB", highest(build.retained)}});
    }
    out << header << '\n' << rule << '\n';
    if (!heldDialog)
        out << rateRow << '\n' << ratioRow << '\n';
    out << growthRow << '\n';
    if (!heldDialog)
        out << retainedRow << '\n';
    out.flush();

    const bool written = writeJsonReport(
        options.jsonPath, QJsonObject{{"benchmark", "download"},
                                      {"bytes", double(size)},
                                      {"paced", pace},
                                      {"heldDialog", heldDialog},
                                      {"repetitions", repetitions},
                                      {"curlMBps", heldDialog ? 0 : median(curlRates)},
                                      {"builds", results}});
    instrument.terminate();
    instrument.waitForFinished();
    return written ? 0 : 1;
}
