#include "web/newwindowhost.h"

#include "app/assembledwindow.h"
#include "demoinstrument/demoinstrument.h"
#include "shared/filedialoganswerer.h"
#include "shared/logcapture.h"

#include <QNetworkProxy>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The web engine starts its processes on the first load, which takes a while on a busy machine.
constexpr int loadTimeout = 60000;

// The title comes after the body in the text: once it shows, the whole page has been read.
DemoResponse htmlPage(const QByteArray &title, const QByteArray &body)
{
    DemoResponse page;
    page.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}};
    page.body = "<!DOCTYPE html><html><body>" + body + "<script>document.title = '" + title
                + "'</script></body></html>";
    return page;
}

const QByteArray downloadRequest = "GET /downloads/slow.csv HTTP/1.1";
const QByteArray savedContent = "sample,value\nS-0001,42\n";

} // namespace

// What the instrument's page opens in a new window shows as a further page of the one window,
// with a way back; its downloads are taken over as the main page's are.
class tst_NewWindowHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void newWindowShowsAndCloses_data();
    void newWindowShowsAndCloses();
    void newWindowThatIsADownloadOpensNothing();

private:
    QWebEngineView *newWindowView() const;
    bool finished(QWebEnginePage &page);

    std::unique_ptr<DemoInstrument> m_instrument;
    std::unique_ptr<AssembledWindow> m_shell;
};

void tst_NewWindowHost::initTestCase()
{
    startLogCapture();
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    // A desktop's own file dialogs would not be modal widgets that a test can answer.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_NewWindowHost::cleanupTestCase()
{
    stopLogCapture();
}

void tst_NewWindowHost::init()
{
    logLines.clear();
    m_instrument = std::make_unique<DemoInstrument>();
    m_instrument->setResponse(
        QStringLiteral("/page.html"),
        htmlPage("page",
                 "<a id=\"blank\" href=\"/other.html\" target=\"_blank\">other</a>"
                 "<a id=\"blankDownload\" href=\"/downloads/slow.csv\" target=\"_blank\">csv</a>"));
    m_instrument->setResponse(
        QStringLiteral("/other.html"),
        htmlPage("other", "<a id=\"download\" href=\"/downloads/x.csv\">csv</a>"));
    m_instrument->setResponse(QStringLiteral("/downloads/x.csv"),
                              DemoResponse::attachment("x.csv", savedContent));
    DemoResponse stalled = DemoResponse::attachment("slow.csv", "never sent\n");
    stalled.stallAfterBytes = 0;
    m_instrument->setResponse(QStringLiteral("/downloads/slow.csv"), stalled);
    QVERIFY(m_instrument->listen());

    const QUrl startUrl = m_instrument->baseUrl().resolved(QUrl(QStringLiteral("/page.html")));
    m_shell = std::make_unique<AssembledWindow>();
    m_shell->window.show();
    m_shell->open(startUrl, QString());
    QVERIFY(finished(m_shell->page));
    QTRY_COMPARE(m_shell->window.currentWidget(), &m_shell->view);
}

void tst_NewWindowHost::cleanup()
{
    showLogTailIfFailed();
    m_shell.reset();
    m_instrument.reset();
    expectNoConnectWarnings();
}

QWebEngineView *tst_NewWindowHost::newWindowView() const
{
    QWidget *window = m_shell->newWindows.currentWindow();
    return window ? window->findChild<QWebEngineView *>() : nullptr;
}

bool tst_NewWindowHost::finished(QWebEnginePage &page)
{
    QSignalSpy spy(&page, &QWebEnginePage::loadFinished);
    return spy.wait(loadTimeout) && spy.last().value(0).toBool();
}

// clang-format off
void tst_NewWindowHost::newWindowShowsAndCloses_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("close");

    const QString closeButton = QStringLiteral("Close");
    QTest::newRow("a link with a target, closed by the Close button")
        << "document.getElementById('blank').click()" << closeButton;
    QTest::newRow("window.open, closed by the Close button")
        << "window.open('/other.html')" << closeButton;
    QTest::newRow("window.open, closed by window.close()")
        << "window.open('/other.html')" << "window.close()";
}
// clang-format on

void tst_NewWindowHost::newWindowShowsAndCloses()
{
    QFETCH(QString, open);
    QFETCH(QString, close);

    const QUrl mainUrl = m_shell->page.url();
    m_shell->page.runJavaScript(open);
    QTRY_VERIFY_WITH_TIMEOUT(newWindowView(), loadTimeout);
    QWebEngineView *view = newWindowView();
    QTRY_COMPARE_WITH_TIMEOUT(m_shell->window.currentWidget(), m_shell->newWindows.currentWindow(),
                              loadTimeout);
    const QUrl other = m_instrument->baseUrl().resolved(QUrl(QStringLiteral("/other.html")));
    QTRY_COMPARE_WITH_TIMEOUT(view->url(), other, loadTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("other"), loadTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(
        logged(QStringLiteral("NewWindowHost::newWindow url= QUrl(\"%1\")").arg(other.toString())),
        loadTimeout);

    // A download link in that window is taken over as on the main page: the file holds what
    // came, and the window stays.
    QTemporaryDir folder;
    const QString saved = folder.filePath(QStringLiteral("x.csv"));
    FileDialogAnswerer answerer;
    answerer.start();
    answerer.answer(choose(saved));
    view->page()->runJavaScript(QStringLiteral("document.getElementById('download').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(saved), savedContent, loadTimeout);
    QCOMPARE(answerer.titles(), QStringList{QStringLiteral("Save File")});
    QTRY_VERIFY_WITH_TIMEOUT(m_shell->window.isEnabled(), loadTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(
        linesStartingWith(QStringLiteral("acceptNavigationRequest() download detected")), 1,
        loadTimeout);
    QCOMPARE(m_shell->window.currentWidget(), m_shell->newWindows.currentWindow());

    if (close == QLatin1String("Close")) {
        auto *button = m_shell->newWindows.currentWindow()->findChild<QPushButton *>();
        QVERIFY(button);
        QCOMPARE(button->text(), close);
        QVERIFY(button->height() >= 64);
        QTest::mouseClick(button, Qt::LeftButton);
    } else {
        view->page()->runJavaScript(close);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_shell->window.currentWidget(), &m_shell->view, loadTimeout);
    QVERIFY(!m_shell->newWindows.currentWindow());
    // The instrument's page is as it was: not loaded again, still at its address.
    QCOMPARE(m_shell->page.url(), mainUrl);
    QCOMPARE(m_instrument->requestLines().count("GET /page.html HTTP/1.1"), 1);
    QCOMPARE(linesStartingWith(QStringLiteral("NewWindowHost::close url=")), 1);
}

void tst_NewWindowHost::newWindowThatIsADownloadOpensNothing()
{
    m_shell->page.runJavaScript(QStringLiteral("document.getElementById('blankDownload').click()"));
    QTRY_VERIFY_WITH_TIMEOUT(m_instrument->requestLines().contains(downloadRequest), loadTimeout);
    QCOMPARE(linesStartingWith(QStringLiteral("acceptNavigationRequest() download detected")), 1);
    QCOMPARE(linesStartingWith(QStringLiteral("NewWindowHost::newWindow")), 0);
    QCOMPARE(m_shell->window.currentWidget(), &m_shell->view);
    // The page takes the next link as before.
    m_shell->page.runJavaScript(QStringLiteral("document.getElementById('blank').click()"));
    QTRY_VERIFY_WITH_TIMEOUT(linesStartingWith(QStringLiteral("NewWindowHost::newWindow")) == 1,
                             loadTimeout);
    QCOMPARE(m_shell->window.currentWidget(), m_shell->newWindows.currentWindow());
}

QTEST_MAIN(tst_NewWindowHost)
#include "tst_newwindowhost.moc"
