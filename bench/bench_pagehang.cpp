// How soon a page whose script stops answering is found hung and its render process ended, and
// what the watchdog's check costs. The page starts an endless loop; timed from the moment the
// loop was handed to the page to the end of its render process, which the watchdog brings about.
// The page is then loaded anew for the next run. The cost of a check is the round trip of the
// watchdog's own script on a page that answers. Needs an X server (the web engine does).
//
// usage: bench_pagehang [--repetitions N] [--json FILE]

#include "app/pagewatchdog.h"
#include "benchoptions.h"
#include "median.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextStream>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {

constexpr int timeoutMs = 60000;
constexpr int roundTrips = 200;
const QString pageHtml = QStringLiteral("<!DOCTYPE html><html><body><p>page</p></body></html>");

bool loadPage(QWebEnginePage &page)
{
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.setHtml(pageHtml);
    return loaded.wait(timeoutMs) && loaded.last().value(0).toBool();
}

// The median round trip of the watchdog's script, in milliseconds.
double checkRoundTripMs(QWebEnginePage &page)
{
    QVector<double> milliseconds;
    for (int trip = 0; trip < roundTrips; ++trip) {
        QElapsedTimer clock;
        clock.start();
        bool answered = false;
        page.runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                           [&answered](const QVariant &) { answered = true; });
        while (!answered && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        milliseconds << clock.nsecsElapsed() / 1e6;
    }
    return median(milliseconds);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Qt 5 names the type of the signal's argument without its class.
    qRegisterMetaType<QWebEnginePage::RenderProcessTerminationStatus>(
        "RenderProcessTerminationStatus");
    const BenchOptions options = parseBenchOptions(QCoreApplication::arguments(), 3);
    const int repetitions = options.repetitions;
    QTextStream out(stdout);
    if (!options.others.isEmpty() || repetitions < 1) {
        QTextStream(stderr) << "usage: bench_pagehang [--repetitions N] [--json FILE]" << Qt::endl;
        return 2;
    }

    QStackedWidget window;
    QWebEnginePage page;
    QWebEngineView view;
    view.setPage(&page);
    window.addWidget(&view);
    window.resize(1280, 768);
    PageWatchdog watchdog(page, window);
    window.show();
    if (!loadPage(page)) {
        out << "the page did not load" << Qt::endl;
        return 1;
    }
    const double roundTripMs = checkRoundTripMs(page);
    out << QStringLiteral("a check's round trip: median %1 ms of %2")
               .arg(roundTripMs, 0, 'f', 3)
               .arg(roundTrips)
        << Qt::endl;

    QVector<double> seconds;
    for (int run = 0; run < repetitions; ++run) {
        QSignalSpy ended(&page, &QWebEnginePage::renderProcessTerminated);
        QElapsedTimer clock;
        clock.start();
        page.runJavaScript(QStringLiteral("for (;;) {}"));
        if (!ended.wait(PageWatchdog::hangTimeoutMs + timeoutMs)) {
            out << "the hung page was not ended" << Qt::endl;
            return 1;
        }
        seconds << clock.nsecsElapsed() / 1e9;
        out << QStringLiteral("run %1: hung page ended after %2 s")
                   .arg(run + 1)
                   .arg(seconds.last(), 0, 'f', 3)
            << Qt::endl;
        if (!loadPage(page)) {
            out << "the page did not load again" << Qt::endl;
            return 1;
        }
    }

    out << secondsTable(QStringLiteral("page hung to its render process ended"), seconds)
        << Qt::endl;
    QJsonObject report = secondsReport(QStringLiteral("pagehang"), seconds);
    report.insert(QStringLiteral("checkRoundTripMs"), roundTripMs);
    const bool written = writeJsonReport(options.jsonPath, report);
    return written ? 0 : 1;
}
