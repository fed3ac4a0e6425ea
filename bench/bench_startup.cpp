// Start-up time of the real program, from process start to its first successful load of the
// demo instrument's page, against a bare QWebEngineView loading the same page, for one build or
// side by side for several (Qt 5 and Qt 6). Runs alternate, so that every program sees the same
// machine noise. Needs an X server (the web engine does).
//
// usage: bench_startup --build LABEL SHELL BARE_VIEW [--build ...] [--repetitions N]
//                      [--json FILE]

#include "benchoptions.h"
#include "demoinstrument/demoinstrument.h"
#include "median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <vector>

namespace {

// Seconds from start until the program logs a successful load; -1 when it never does. Every
// run gets a new home, so that neither program finds a web engine profile of an earlier run.
double timeToFirstLoad(const QString &program, const QStringList &arguments)
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(home.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    double seconds = -1;
    QByteArray output;
    QObject::connect(&process, &QProcess::readyRead, [&] {
        output += process.readAll();
        if (seconds < 0 && output.contains("loadFinished ok= true"))
            seconds = timer.nsecsElapsed() / 1e9;
    });
    timer.start();
    process.start(program, arguments);
    QElapsedTimer limit;
    limit.start();
    while (seconds < 0 && process.state() != QProcess::NotRunning && limit.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    process.kill();
    process.waitForFinished();
    if (seconds < 0)
        QTextStream(stderr) << program << " did not load:\n" << output << Qt::endl;
    return seconds;
}

// One build's two programs and their times.
struct Build
{
    QString label;
    QString shell;
    QString bareView;
    QVector<double> shellTimes;
    QVector<double> bareTimes;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const BenchOptions options = parseBenchOptions(QCoreApplication::arguments(), 5);
    const int repetitions = options.repetitions;
    const QStringList &arguments = options.others;
    std::vector<Build> builds;
    bool usable = true;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--build") && i + 3 < arguments.size()) {
            // The programs run in folders of their own, so their paths must not be relative.
            builds.push_back({arguments[i + 1],
                              QFileInfo(arguments[i + 2]).absoluteFilePath(),
                              QFileInfo(arguments[i + 3]).absoluteFilePath(),
                              {},
                              {}});
            i += 3;
        } else {
            usable = false;
        }
    }
    // Without a run there is no median to report.
    if (!usable || builds.empty() || repetitions < 1) {
        QTextStream(stderr) << "usage: bench_startup --build LABEL SHELL BARE_VIEW [--build ...] "
                               "[--repetitions N] [--json FILE]"
                            << Qt::endl;
        return 2;
    }

    DemoInstrument instrument;
    if (!instrument.listen())
        return 1;
    const QString page = instrument.baseUrl().toString() + QStringLiteral("/Quorin/");

    QTextStream out(stdout);
    for (int i = 0; i < repetitions; ++i) {
        for (Build &build : builds) {
            const double shell = timeToFirstLoad(
                build.shell, {QStringLiteral("--host=127.0.0.1"), QStringLiteral("--url=") + page});
            const double bare = timeToFirstLoad(build.bareView, {page});
            if (shell < 0 || bare < 0)
                return 1;
            build.shellTimes << shell;
            build.bareTimes << bare;
            out << QStringLiteral("run %1, %2: shell %3 s, bare view %4 s")
                       .arg(i + 1)
                       .arg(build.label)
                       .arg(shell, 0, 'f', 3)
                       .arg(bare, 0, 'f', 3)
                << Qt::endl;
        }
    }

    // One column per build.
    QString header = QStringLiteral("| start to first load, median of %1 |").arg(repetitions);
    QString rule = QStringLiteral("|---|");
    QString shellRow = QStringLiteral("| the program (s) |");
    QString bareRow = QStringLiteral("| a bare QWebEngineView on the same page (s) |");
    QString ratioRow = QStringLiteral("| ratio |");
    QJsonArray results;
    for (const Build &build : builds) {
        const double ratio = median(build.shellTimes) / median(build.bareTimes);
        header += QStringLiteral(" %1 |").arg(build.label);
        rule += QStringLiteral("---|");
        shellRow += QStringLiteral(" %1 |").arg(median(build.shellTimes), 0, 'f', 3);
        bareRow += QStringLiteral(" %1 |").arg(median(build.bareTimes), 0, 'f', 3);
        ratioRow += QStringLiteral(" %1 |").arg(ratio, 0, 'f', 2);
        results.append(QJsonObject{{"label", build.label},
                                   {"shellSeconds", median(build.shellTimes)},
                                   {"bareViewSeconds", median(build.bareTimes)},
                                   {"ratio", ratio}});
    }
    out << header << '\n'
        << rule << '\n'
        << shellRow << '\n'
        << bareRow << '\n'
        << ratioRow << Qt::endl;

    const bool written = writeJsonReport(
        options.jsonPath,
        QJsonObject{{"benchmark", "startup"}, {"repetitions", repetitions}, {"builds", results}});
    return written ? 0 : 1;
}
