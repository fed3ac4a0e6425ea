#include "app/pagewatchdog.h"

#include "shared/logcapture.h"

#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// The web engine starts its processes on the first load, which takes a while on a busy machine.
constexpr int loadTimeout = 60000;

using Step = PageWatchdog::Step;

} // namespace

// A page whose script stops answering is ended; one that is only busy for a while, or held by a
// dialog or a tool by design, is left alone.
class tst_PageWatchdog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nextStep_data();
    void nextStep();
    void pageBusyForAWhileIsLeftAlone();
};

void tst_PageWatchdog::initTestCase()
{
    startLogCapture();
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

// The endless loop that comes back is shown end to end, against the real program.
void tst_PageWatchdog::pageBusyForAWhileIsLeftAlone()
{
    QStackedWidget window;
    QWebEnginePage page;
    QWebEngineView view;
    view.setPage(&page);
    window.addWidget(&view);
    PageWatchdog watchdog(page, window);
    window.show();
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    QSignalSpy ended(&page, &QWebEnginePage::renderProcessTerminated);
    page.setHtml(QStringLiteral("<p>page</p>"));
    QVERIFY(loaded.wait(loadTimeout));
    QVERIFY(loaded.last().value(0).toBool());
    const qint64 renderer = page.renderProcessPid();

    page.runJavaScript(QStringLiteral(
        "setTimeout(() => { const end = Date.now() + 5000; while (Date.now() < end) {} }, 0)"));
    // A check goes out while the page is busy and stays unanswered for a while.
    QTRY_COMPARE_WITH_TIMEOUT(watchdog.state(), PageWatchdog::State::Asking,
                              2 * PageWatchdog::checkIntervalMs);
    // Then the page answers again, the check too, and the window takes the next touch.
    QVariant answer;
    page.runJavaScript(QStringLiteral("6 * 7"),
                       [&answer](const QVariant &result) { answer = result; });
    QTRY_COMPARE_WITH_TIMEOUT(answer, QVariant(42), PageWatchdog::hangTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(watchdog.state(), PageWatchdog::State::Answered,
                              2 * PageWatchdog::checkIntervalMs);
    QCOMPARE(linesStartingWith(QStringLiteral("PageWatchdog::pageHung")), 0);
    QCOMPARE(ended.size(), 0);
    QCOMPARE(page.renderProcessPid(), renderer);
}

QTEST_MAIN(tst_PageWatchdog)
#include "tst_pagewatchdog.moc"
