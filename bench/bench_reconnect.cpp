// How soon the real program shows the instrument's page again once the instrument answers after
// it went away. The demo instrument's start page loads itself again every second, as a page that
// follows the instrument's state does; the instrument is stopped while the page shows, the next
// load fails and the program shows its waiting page; then the instrument starts again on the
// same port. Timed from the instrument's "listening on" line to the program's next successful
// load. Each run restarts the instrument at another point of the probe's 2 s cycle. Then the
// tries of an error page: the instrument comes back taking connections but failing its page, and
// the time from each failed request of the page to the program's next one is measured against
// the delay the program means to wait. Needs an X server (the web engine does).
//
// usage: bench_reconnect SHELL INSTRUMENT [--repetitions N] [--json FILE]

#include "app/connectionprobe.h"
#include "app/connectionrecovery.h"
#include "benchoptions.h"
#include "median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int timeoutMs = 60000;
// 2 + 4 + 8 + 16 s of delays: the doubling shows, and the run stays short.
constexpr int timedRetries = 4;
const QByteArray pageRequest = "GET /Quorin/";
const QByteArray loaded = "main() QWebEngineView::loadFinished ok= true";
const QByteArray lost = "ConnectionRecovery::connectionLost";

bool waitFor(const std::function<bool()> &condition, int limitMs)
{
    QElapsedTimer limit;
    limit.start();
    while (!condition()) {
        if (limit.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void pause(int ms)
{
    waitFor([] { return false; }, ms);
}

// A process whose merged output is kept line by line, with the moment each line arrived on the
// benchmark's own clock.
class Watched
{
public:
    Watched(const QString &program, const QStringList &arguments, const QString &folder,
            const QElapsedTimer &clock)
    {
        m_process.setWorkingDirectory(folder);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), folder);
        m_process.setProcessEnvironment(environment);
        QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this, &clock] {
            const qint64 now = clock.nsecsElapsed();
            m_pending += m_process.readAll();
            for (int end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
                m_lines.append({m_pending.left(end), now});
                m_pending.remove(0, end + 1);
            }
        });
        m_process.start(program, arguments);
    }
    ~Watched()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished();
    }
    Watched(const Watched &) = delete;
    Watched &operator=(const Watched &) = delete;

    int count(const QByteArray &text) const
    {
        return int(std::count_if(m_lines.begin(), m_lines.end(),
                                 [&text](const Line &line) { return line.text.contains(text); }));
    }
    // When the line with this text after the first `skipped` ones arrived; -1 before it has.
    qint64 arrival(const QByteArray &text, int skipped) const
    {
        for (const Line &line : m_lines) {
            if (line.text.contains(text) && skipped-- == 0)
                return line.arrivalNs;
        }
        return -1;
    }
    QByteArray firstLine(const QByteArray &text) const
    {
        for (const Line &line : m_lines) {
            if (line.text.contains(text))
                return line.text;
        }
        return QByteArray();
    }
    QByteArray output() const
    {
        QByteArray all;
        for (const Line &line : m_lines)
            all += line.text + '\n';
        return all + m_pending;
    }

private:
    struct Line
    {
        QByteArray text;
        qint64 arrivalNs;
    };

    QProcess m_process;
    QByteArray m_pending;
    QList<Line> m_lines;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const BenchOptions options = parseBenchOptions(QCoreApplication::arguments(), 5);
    const int repetitions = options.repetitions;
    if (options.others.size() != 2 || repetitions < 1) {
        QTextStream(stderr) << "usage: bench_reconnect SHELL INSTRUMENT [--repetitions N] "
                               "[--json FILE]"
                            << Qt::endl;
        return 2;
    }
    const QString shellProgram = QFileInfo(options.others[0]).absoluteFilePath();
    const QString instrumentProgram = QFileInfo(options.others[1]).absoluteFilePath();
    QTemporaryDir folder;
    QElapsedTimer clock;
    clock.start();
    QTextStream out(stdout);
    const auto failed = [&out](const char *what, const Watched &process) {
        out << what << ":\n" << process.output() << Qt::endl;
        return 1;
    };

    int port = 0;
    const auto startInstrument = [&](const QStringList &options = {}) {
        auto instrument = std::make_unique<Watched>(
            instrumentProgram,
            QStringList{QStringLiteral("--address=127.0.0.1"),
                        QStringLiteral("--port=%1").arg(port), QStringLiteral("--refresh=1")}
                + options,
            folder.path(), clock);
        if (waitFor([&] { return instrument->count("listening on ") > 0; }, timeoutMs))
            port = QUrl(QString::fromLatin1(instrument->firstLine("listening on ").mid(13))).port();
        return instrument;
    };
    auto instrument = startInstrument();
    if (port <= 0)
        return failed("the instrument did not start", *instrument);
    const Watched shell(shellProgram,
                        {QStringLiteral("--host=127.0.0.1"),
                         QStringLiteral("--url=http://127.0.0.1:%1/Quorin/").arg(port)},
                        folder.path(), clock);
    if (!waitFor([&] { return shell.count(loaded) > 0; }, timeoutMs))
        return failed("the page did not load", shell);

    QVector<double> seconds;
    for (int run = 0; run < repetitions; ++run) {
        const int lostBefore = shell.count(lost);
        instrument.reset();
        if (!waitFor([&] { return shell.count(lost) > lostBefore; }, timeoutMs))
            return failed("the program did not show its waiting page", shell);
        pause(run * 700 % ConnectionProbe::minimumIntervalMs);
        const int loadsBefore = shell.count(loaded);
        instrument = startInstrument();
        const qint64 answeringNs = instrument->arrival("listening on ", 0);
        if (answeringNs < 0)
            return failed("the instrument did not start again", *instrument);
        if (!waitFor([&] { return shell.count(loaded) > loadsBefore; }, timeoutMs))
            return failed("the page did not come back", shell);
        seconds << (shell.arrival(loaded, loadsBefore) - answeringNs) / 1e9;
        out << QStringLiteral("run %1: page back %2 s after the instrument answered")
                   .arg(run + 1)
                   .arg(seconds.last(), 0, 'f', 3)
            << Qt::endl;
    }

    out << secondsTable(QStringLiteral("instrument answering again to its page shown"), seconds)
        << Qt::endl;

    // The page's next refresh fails while the host takes connections: the program tries again.
    instrument.reset();
    instrument = startInstrument({QStringLiteral("--drop=/Quorin/")});
    if (!waitFor([&] { return instrument->count(pageRequest) > timedRetries; },
                 timeoutMs + 60 * 1000))
        return failed("the page was not tried again", shell);
    ConnectionRecovery::Timing timing;
    QJsonArray retries;
    out << "| try | delay meant (s) | failed request to the next (s) |\n|---|---|---|\n";
    for (int retry = 0; retry < timedRetries; ++retry) {
        const double meant = ConnectionRecovery::retryDelayMs(timing, retry) / 1e3;
        const double measured = (instrument->arrival(pageRequest, retry + 1)
                                 - instrument->arrival(pageRequest, retry))
                                / 1e9;
        out << QStringLiteral("| %1 | %2 | %3 |\n")
                   .arg(retry + 1)
                   .arg(meant)
                   .arg(measured, 0, 'f', 3);
        retries.append(QJsonObject{{QStringLiteral("meantSeconds"), meant},
                                   {QStringLiteral("measuredSeconds"), measured}});
    }
    out.flush();

    QJsonObject report = secondsReport(QStringLiteral("reconnect"), seconds);
    report.insert(QStringLiteral("errorPageRetries"), retries);
    const bool written = writeJsonReport(options.jsonPath, report);
    return written ? 0 : 1;
}
