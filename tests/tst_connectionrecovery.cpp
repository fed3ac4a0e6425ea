#include "app/connectionrecovery.h"

#include "app/assembledwindow.h"
#include "demoinstrument/demoinstrument.h"
#include "shared/logcapture.h"
#include "widgets/splashmessage.h"

#include <QNetworkProxy>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

// The web engine starts its processes on the first load, which takes a while on a busy machine.
constexpr int loadTimeout = 60000;

DemoResponse startPage()
{
    DemoResponse page;
    page.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    page.body = "<!DOCTYPE html><html><body>"
                "<a id=\"download\" href=\"/downloads/slow.csv\">download</a>"
                "<a id=\"dropped\" href=\"/dropped.html\">dropped</a>"
                "<a id=\"elsewhere\" href=\"http://localhost:1/help.html\">help</a>"
                "<form id=\"form\" method=\"post\" action=\"/form.html\">"
                "<input name=\"q\" value=\"1\"></form></body></html>";
    return page;
}

// Short enough for a test, in the proportions of the program's own.
ConnectionRecovery::Timing quickTiming()
{
    return {2000, 100, 400, 3};
}

} // namespace

// After the page has shown, a failed load is judged by a probe of its host: a download the page
// fetched itself is no failure, a host that answers keeps the web engine's outcome, and a host
// that is away brings the waiting page until it answers again.
class tst_ConnectionRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void failedLoadAfterShown_data();
    void failedLoadAfterShown();
    void comesBackByItself_data();
    void comesBackByItself();

private:
    bool startInstrument(quint16 port);

    std::unique_ptr<DemoInstrument> m_instrument;
};

void tst_ConnectionRecovery::initTestCase()
{
    startLogCapture();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_ConnectionRecovery::cleanupTestCase()
{
    stopLogCapture();
}

bool tst_ConnectionRecovery::startInstrument(quint16 port)
{
    m_instrument = std::make_unique<DemoInstrument>();
    m_instrument->setResponse(QStringLiteral("/page.html"), startPage());
    DemoResponse dropped;
    dropped.dropWithoutResponse = true;
    m_instrument->setResponse(QStringLiteral("/dropped.html"), dropped);
    DemoResponse stalled = DemoResponse::attachment("slow.csv", "never sent\n");
    stalled.stallAfterBytes = 0;
    m_instrument->setResponse(QStringLiteral("/downloads/slow.csv"), stalled);
    return m_instrument->listen(QHostAddress::LocalHost, port);
}

// clang-format off
void tst_ConnectionRecovery::failedLoadAfterShown_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("instrumentAway");
    // The line that tells how the failure was judged; empty: it was no failure at all.
    QTest::addColumn<QString>("judgement");

    QTest::newRow("a download the page fetched itself is no failure")
        << "document.getElementById('download').click()" << false << "";
    QTest::newRow("a failure while the host answers keeps the web engine's outcome")
        << "document.getElementById('dropped').click()" << false
        << "ConnectionRecovery::keepOutcome url=";
    QTest::newRow("a failed form submission loads the start page once the host answers")
        << "document.getElementById('form').submit()" << true
        << "ConnectionRecovery::connectionLost url=";
    // On an offline PC, a help page on the internet: nothing is probed, nothing says
    // "instrument", and the corner's button leads back.
    QTest::newRow("a failed page of another host offers the way back")
        << "document.getElementById('elsewhere').click()" << false
        << "ConnectionRecovery::otherHostFailed url=";
}
// clang-format on

void tst_ConnectionRecovery::failedLoadAfterShown()
{
    QFETCH(QString, script);
    QFETCH(bool, instrumentAway);
    QFETCH(QString, judgement);

    QVERIFY(startInstrument(0));
    const quint16 port = m_instrument->serverPort();
    const QUrl startUrl = m_instrument->baseUrl().resolved(QUrl(QStringLiteral("/page.html?s=1")));
    const QByteArray startRequest = "GET /page.html?s=1 HTTP/1.1";

    AssembledWindow shell;
    QStackedWidget &window = shell.window;
    const SplashPage &splash = shell.splash;
    QWebEngineView &view = shell.view;
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    shell.open(startUrl, QString());
    const ConnectionRecovery &recovery = *shell.recovery;
    window.show();
    QVERIFY(finished.wait(loadTimeout));
    QCOMPARE(recovery.state(), ConnectionRecovery::State::Shown);

    if (instrumentAway)
        m_instrument.reset();
    logLines.clear();
    shell.page.runJavaScript(script);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, loadTimeout);
    QCOMPARE(finished.last().value(0).toBool(), false);

    if (!instrumentAway) {
        const bool otherHost = judgement.contains(QLatin1String("otherHost"));
        if (!judgement.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(linesStartingWith(judgement), 1, loadTimeout);
        QCOMPARE(linesStartingWith(QStringLiteral("ConnectionRecovery::checkConnection")),
                 judgement.isEmpty() || otherHost ? 0 : 1);
        QCOMPARE(window.currentWidget(), &view);
        QVERIFY(!splash.message().isVisible());
        QCOMPARE(splash.cornerButton().isVisible(), otherHost);
        if (!otherHost)
            return;
        for (const QPushButton *button : window.findChildren<QPushButton *>())
            QVERIFY(!button->isVisible() || !button->text().contains(QLatin1String("instrument")));
        QTest::mouseClick(const_cast<QPushButton *>(&splash.cornerButton()), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(recovery.state(), ConnectionRecovery::State::Shown, loadTimeout);
        QCOMPARE(shell.page.url(), startUrl);
        QVERIFY(!splash.cornerButton().isVisible());
        QCOMPARE(window.currentWidget(), &view);
        return;
    }

    QTRY_COMPARE_WITH_TIMEOUT(recovery.state(), ConnectionRecovery::State::Lost, loadTimeout);
    QCOMPARE(linesStartingWith(judgement), 1);
    QCOMPARE(window.currentWidget(), &shell.splash.label());
    QVERIFY(splash.indicator().isSpinning());
    QCOMPARE(splash.message().text(),
             QString::fromUtf8("Connection to the instrument at 127.0.0.1:%1 lost — reconnecting …")
                 .arg(port));
    QVERIFY(splash.message().isVisible());
    QVERIFY(splash.message().button()->isVisible() && splash.message().button()->isEnabled());

    QVERIFY(startInstrument(port));
    QTRY_COMPARE_WITH_TIMEOUT(recovery.state(), ConnectionRecovery::State::Shown, loadTimeout);
    QCOMPARE(window.currentWidget(), &view);
    QVERIFY(!splash.message().isVisible());
    QVERIFY(m_instrument->requestLines().contains(startRequest));
    QVERIFY(!m_instrument->requestLines().contains("POST /form.html HTTP/1.1"));
    m_instrument.reset();
}

// Nothing is waited for without an end. A web server that takes connections and answers nothing
// (one that boots) lets no load of the program's own wait for ever; a failure while the host
// takes connections keeps the web engine's page and loads the address again after a growing
// delay, until it answers or the tries run out. The path fails from the given request on, up to
// the one from which it answers again (0: never).
// clang-format off
void tst_ConnectionRecovery::comesBackByItself_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("failingFrom");
    QTest::addColumn<int>("answeringFrom");
    // The recovery's lines, each up to its address.
    QTest::addColumn<QStringList>("judgements");

    const QStringList retried{"checkConnection", "keepOutcome"};
    QTest::newRow("an error page comes back once the server answers")
        << "click" << "/dropped.html" << false << 1 << 3
        << retried + QStringList{"retryAfter seconds= 0.1"} + retried
               + QStringList{"retryAfter seconds= 0.2", "pageShown"};
    QTest::newRow("an error page's tries end after the last")
        << "click" << "/dropped.html" << false << 1 << 0
        << retried + QStringList{"retryAfter seconds= 0.1"} + retried
               + QStringList{"retryAfter seconds= 0.2"} + retried
               + QStringList{"retryAfter seconds= 0.4"} + retried + QStringList{"retriesEnded"};
    QTest::newRow("the first load and the reload time out, and the waiting goes on")
        << "open" << "/page.html" << true << 1 << 3
        << QStringList{"loadTimedOut", "waitAtStart", "instrumentBack", "loadTimedOut",
                       "resumeWaiting", "instrumentBack", "pageShown"};
    QTest::newRow("the start page after the page's process ended times out and is tried again")
        << "kill" << "/page.html" << true << 2 << 3
        << QStringList{"loadTimedOut", "checkConnection", "keepOutcome",
                       "retryAfter seconds= 0.1", "pageShown"};
}
// clang-format on

void tst_ConnectionRecovery::comesBackByItself()
{
    QFETCH(QString, trigger);
    QFETCH(QString, path);
    QFETCH(bool, silent);
    QFETCH(int, failingFrom);
    QFETCH(int, answeringFrom);
    QFETCH(QStringList, judgements);

    QVERIFY(startInstrument(0));
    DemoResponse failing;
    failing.dropWithoutResponse = !silent;
    failing.answerNothing = silent;
    const QByteArray requestLine = "GET " + path.toLatin1();
    int requests = 0;
    connect(m_instrument.get(), &DemoInstrument::requestReceived, this,
            [&](const QByteArray &line) {
                if (!line.startsWith(requestLine + ' '))
                    return;
                ++requests;
                const bool fails
                    = requests >= failingFrom && (answeringFrom == 0 || requests < answeringFrom);
                m_instrument->setResponse(path, fails ? failing : startPage());
            });

    AssembledWindow shell;
    QSignalSpy finished(&shell.view, &QWebEngineView::loadFinished);
    shell.open(m_instrument->baseUrl().resolved(QUrl(QStringLiteral("/page.html"))), QString());
    shell.recovery->setTiming(quickTiming());
    shell.window.show();
    if (trigger != QLatin1String("open"))
        QVERIFY(finished.wait(loadTimeout));
    logLines.clear();
    if (trigger == QLatin1String("click"))
        shell.page.runJavaScript(QStringLiteral("document.getElementById('dropped').click()"));
    else if (trigger == QLatin1String("kill"))
        QVERIFY(::kill(pid_t(shell.page.renderProcessPid()), SIGKILL) == 0);

    const QString last = QStringLiteral("ConnectionRecovery::") + judgements.last();
    QTRY_COMPARE_WITH_TIMEOUT(linesStartingWith(last), 1, loadTimeout);
    QStringList seen;
    for (const QString &line : std::as_const(logLines)) {
        if (line.startsWith(QLatin1String("ConnectionRecovery::")))
            seen << line.section(QLatin1String(" url="), 0, 0).mid(20);
    }
    QCOMPARE(seen, judgements);
    QCOMPARE(shell.window.currentWidget(), &shell.view);
    if (answeringFrom > 0) {
        QCOMPARE(shell.recovery->state(), ConnectionRecovery::State::Shown);
        QCOMPARE(shell.page.url().path(), path);
    } else {
        QCOMPARE(shell.recovery->state(), ConnectionRecovery::State::KeepingOutcome);
    }
    m_instrument.reset();
}

QTEST_MAIN(tst_ConnectionRecovery)
#include "tst_connectionrecovery.moc"
