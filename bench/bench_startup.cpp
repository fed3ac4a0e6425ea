// Start-up time of the real program, from process start to its first successful load of the
// demo instrument's page, against a bare QWebEngineView loading the same page. Runs alternate,
// so that both see the same machine noise. Needs an X server (the web engine does).
//
// usage: bench_startup SHELL BARE_VIEW [--repetitions N] [--json FILE]

#include "demoinstrument/demoinstrument.h"
#include "median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    int repetitions = 5;
    QString jsonPath;
    for (int i = 3; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--repetitions"))
            repetitions = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--json"))
            jsonPath = arguments[i + 1];
    }
    // Without a run there is no median to report.
    if (arguments.size() < 3 || repetitions < 1) {
        QTextStream(stderr)
            << "usage: bench_startup SHELL BARE_VIEW [--repetitions N] [--json FILE]" << Qt::endl;
        return 2;
    }

    // The programs run in folders of their own, so their paths must not be relative.
    const QString shellProgram = QFileInfo(arguments[1]).absoluteFilePath();
    const QString bareProgram = QFileInfo(arguments[2]).absoluteFilePath();

    DemoInstrument instrument;
    if (!instrument.listen())
        return 1;
    const QString page = instrument.baseUrl().toString() + QStringLiteral("/Quorin/");

    QVector<double> shellTimes, bareTimes;
    QTextStream out(stdout);
    for (int i = 0; i < repetitions; ++i) {
        const double shell = timeToFirstLoad(
            shellProgram, {QStringLiteral("--host=127.0.0.1"), QStringLiteral("--url=") + page});
        const double bare = timeToFirstLoad(bareProgram, {page});
        if (shell < 0 || bare < 0)
            return 1;
        shellTimes << shell;
        bareTimes << bare;
        out << QStringLiteral("run %1: shell %2 s, bare view %3 s")
                   .arg(i + 1)
                   .arg(shell, 0, 'f', 3)
                   .arg(bare, 0, 'f', 3)
            << Qt::endl;
    }
    const double ratio = median(shellTimes) / median(bareTimes);
    out << QStringLiteral("| start to first load | shell s | bare view s | ratio |\n"
                          "|---|---|---|---|\n| median of %1 | %2 | %3 | %4 |")
               .arg(repetitions)
               .arg(median(shellTimes), 0, 'f', 3)
               .arg(median(bareTimes), 0, 'f', 3)
               .arg(ratio, 0, 'f', 2)
        << Qt::endl;

    if (!jsonPath.isEmpty()) {
        QFile json(jsonPath);
        if (!json.open(QIODevice::WriteOnly))
            return 1;
        json.write(QJsonDocument(QJsonObject{{"benchmark", "startup"},
                                             {"repetitions", repetitions},
                                             {"shellSeconds", median(shellTimes)},
                                             {"bareViewSeconds", median(bareTimes)},
                                             {"ratio", ratio}})
                       .toJson());
    }
    return 0;
}
