#include "app/pagewatchdog.h"

#include "app/rendererrecovery.h"
#include "demoinstrument/demoinstrument.h"
#include "shared/logcapture.h"

#include <QNetworkProxy>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// The web engine starts its processes on the first load, which takes a while on a busy machine.
constexpr int loadTimeout = 60000;
// A hung page is found within the hang time and one check interval more; the load of the start
// page follows.
constexpr int comeBackTimeout
    = PageWatchdog::hangTimeoutMs + 2 * PageWatchdog::checkIntervalMs + loadTimeout;

using Step = PageWatchdog::Step;

} // namespace

// A page whose script stops answering comes back by itself; one that is only busy for a while,
// or held by a dialog or a tool by design, is left alone.
class tst_PageWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nextStep_data();
    void nextStep();
    void busyPage_data();
    void busyPage();
};

void tst_PageWatchdog::initTestCase()
{
    startLogCapture();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    // Qt 5 names the type of the signal's argument without its class.
    qRegisterMetaType<QWebEnginePage::RenderProcessTerminationStatus>(
        "RenderProcessTerminationStatus");
}

void tst_PageWatchdog::cleanupTestCase()
{
    stopLogCapture();
}

// clang-format off
void tst_PageWatchdog::nextStep_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("pageHeld");
    QTest::addColumn<bool>("asking");
    QTest::addColumn<qint64>("askedForMs");
    QTest::addColumn<Step>("step");

    const qint64 hang = PageWatchdog::hangTimeoutMs;
    QTest::newRow("an answered page is asked again") << false << false << false << qint64(0) << Step::Ask;
    QTest::newRow("a check under way is waited for") << false << false << true << hang - 1 << Step::Wait;
    QTest::newRow("no answer for the hang time ends the page") << false << false << true << hang << Step::EndPage;
    QTest::newRow("a held GUI thread drops the check") << true << false << true << hang * 2 << Step::Drop;
    QTest::newRow("a dialog drops the check") << false << true << true << hang * 2 << Step::Drop;
    QTest::newRow("nothing is asked under a dialog") << false << true << false << qint64(0) << Step::Drop;
}
// clang-format on

void tst_PageWatchdog::nextStep()
{
    QFETCH(bool, held);
    QFETCH(bool, pageHeld);
    QFETCH(bool, asking);
    QFETCH(qint64, askedForMs);
    QFETCH(Step, step);

    QCOMPARE(PageWatchdog::nextStep(held, pageHeld, asking, askedForMs), step);
}

// clang-format off
void tst_PageWatchdog::busyPage_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("comesBack");

    QTest::newRow("an endless loop comes back")
        << "setTimeout(() => { for (;;) {} }, 0)" << true;
    QTest::newRow("a page busy for 5 s is left alone")
        << "setTimeout(() => { const end = Date.now() + 5000; while (Date.now() < end) {} }, 0)"
        << false;
}
// clang-format on

void tst_PageWatchdog::busyPage()
{
    QFETCH(QString, script);
    QFETCH(bool, comesBack);

    DemoInstrument instrument;
    DemoResponse response;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    response.body = "<!DOCTYPE html><html><body><p>page</p></body></html>";
    instrument.setResponse(QStringLiteral("/page.html"), response);
    QVERIFY(instrument.listen());
    const QUrl startUrl = instrument.baseUrl().resolved(QUrl(QStringLiteral("/page.html")));

    QStackedWidget window;
    QWebEnginePage page;
    QWebEngineView view;
    view.setPage(&page);
    window.addWidget(&view);
    RendererRecovery recovery(view, startUrl, window);
    connect(&page, &QWebEnginePage::renderProcessTerminated, &recovery,
            &RendererRecovery::renderProcessTerminated);
    PageWatchdog watchdog(page, window);
    window.show();

    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    QSignalSpy ended(&page, &QWebEnginePage::renderProcessTerminated);
    view.setUrl(startUrl);
    QVERIFY(loaded.wait(loadTimeout));
    QVERIFY(loaded.last().value(0).toBool());
    const qint64 firstRenderer = page.renderProcessPid();
    logLines.clear();

    page.runJavaScript(script);
    // A check goes out while the page is busy, and stays unanswered for a while.
    QTRY_COMPARE_WITH_TIMEOUT(watchdog.state(), PageWatchdog::State::Asking,
                              2 * PageWatchdog::checkIntervalMs);
    if (comesBack) {
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, comeBackTimeout);
        QCOMPARE(
            linesStartingWith(QStringLiteral("RendererRecovery::renderProcessTerminated "
                                             "status= QWebEnginePage::KilledTerminationStatus")),
            1);
        QCOMPARE(linesStartingWith(QStringLiteral("PageWatchdog::pageHung seconds=")), 1);
        QVERIFY(logLines.filter(QStringLiteral("PageWatchdog::pageHung"))
                    .first()
                    .endsWith(QStringLiteral(" pid= %1").arg(firstRenderer)));
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 2, loadTimeout);
        QVERIFY(loaded.last().value(0).toBool());
        QCOMPARE(instrument.requestLines().count("GET /page.html HTTP/1.1"), 2);
    }
    // The page answers, and so the window takes the next touch.
    QSignalSpy answered(this, &QObject::objectNameChanged);
    page.runJavaScript(QStringLiteral("6 * 7"),
                       [this](const QVariant &result) { setObjectName(result.toString()); });
    QVERIFY(answered.wait(comeBackTimeout));
    QCOMPARE(objectName(), QStringLiteral("42"));
    QTRY_COMPARE_WITH_TIMEOUT(watchdog.state(), PageWatchdog::State::Answered,
                              2 * PageWatchdog::checkIntervalMs);
    if (!comesBack) {
        QCOMPARE(linesStartingWith(QStringLiteral("PageWatchdog::pageHung")), 0);
        QCOMPARE(ended.size(), 0);
        QCOMPARE(page.renderProcessPid(), firstRenderer);
    }
    setObjectName(QString());
}

QTEST_MAIN(tst_PageWatchdog)
#include "tst_pagewatchdog.moc"
