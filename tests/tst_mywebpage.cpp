#include "demoinstrument/demoinstrument.h"
#include "shared/filedialoganswerer.h"
#include "shared/logcapture.h"
#include "shared/modalanswerer.h"
#include "web/downloaditem.h"
#include "web/mywebpage.h"
#include "widgets/waitingspinnerwidget.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QNetworkProxy>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <memory>

namespace {

// The web engine starts its processes on the first load, which takes a while on a busy machine.
constexpr int loadTimeout = 60000;

DemoResponse htmlPage(const QByteArray &body)
{
    DemoResponse response;
    // Back and forward must reach the server again instead of the engine's cache.
    response.headers
        = {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}};
    response.body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body
                    + "</body></html>";
    return response;
}

const QByteArray linksAndForms
    = "<a id=\"l\" href=\"/downloads/x.csv\">x</a>"
      "<a id=\"q\" href=\"/downloads/x.csv?sample=S-0001&amp;unit=mmol#row2\">x with query</a>"
      "<a id=\"e\" href=\"/export?folder=downloads\">export</a>"
      "<a id=\"s\" href=\"/downloads/slow.csv\">slow</a>"
      "<a id=\"r\" href=\"/downloads/moved\">moved</a>"
      "<form id=\"fg\" method=\"get\" action=\"/downloads/form\">"
      "<input name=\"q\" value=\"1\"><button id=\"fgs\" type=\"submit\">get</button></form>"
      "<form id=\"fp\" method=\"post\" action=\"/downloads/post\">"
      "<input name=\"q\" value=\"1\"><button id=\"fps\" type=\"submit\">post</button></form>";

QString clickScript(const QString &id)
{
    return QStringLiteral("document.getElementById('%1').click()").arg(id);
}

const QString frameLocations = QStringLiteral(
    "[...document.querySelectorAll('iframe')].map(f => f.contentWindow.location.href).join()");

void rejectDialog(QWidget *dialog)
{
    if (auto *modal = qobject_cast<QDialog *>(dialog))
        modal->reject();
}

// An https server that answers every request by sending it on to one address, with a
// certificate made for 127.0.0.1 that the test trusts.
class TlsRedirectServer : public QTcpServer
{
public:
    bool start(const QString &folder, const QByteArray &location)
    {
        m_location = location;
        const QString key = folder + QStringLiteral("/key.pem");
        const QString certificate = folder + QStringLiteral("/certificate.pem");
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                       key, QStringLiteral("-out"), certificate});
        const bool made = openssl.waitForFinished() && openssl.exitCode() == 0;
        QFile keyFile(key);
        QFile certificateFile(certificate);
        if (!made || !keyFile.open(QIODevice::ReadOnly)
            || !certificateFile.open(QIODevice::ReadOnly))
            return false;
        m_key = QSslKey(&keyFile, QSsl::Rsa);
        m_certificate = QSslCertificate(&certificateFile);
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.addCaCertificate(m_certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        return listen(QHostAddress::LocalHost);
    }
    int requests() const { return m_requests; }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
            m_received += socket->readAll();
            if (!m_received.contains("\r\n\r\n"))
                return;
            m_received.clear();
            ++m_requests;
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + m_location
                          + "\r\nContent-Length: 6\r\nConnection: close\r\n\r\nmoved\n");
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        socket->startServerEncryption();
    }

private:
    QByteArray m_location;
    QSslKey m_key;
    QSslCertificate m_certificate;
    QByteArray m_received;
    int m_requests = 0;
};

} // namespace

// Records every navigation the web engine asks about and what MyWebPage answered.
class RecordingPage : public MyWebPage
{
public:
    struct Navigation
    {
        QUrl url;
        NavigationType type;
        bool isMainFrame;
        bool accepted;
    };

    using MyWebPage::MyWebPage;

    QList<Navigation> navigations;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        const bool accepted = MyWebPage::acceptNavigationRequest(url, type, isMainFrame);
        navigations.append({url, type, isMainFrame, accepted});
        return accepted;
    }
};

// Which navigations the page lets through and which it turns into a download of its own, checked
// both on the pure rule and on real navigations against a local server.
class tst_MyWebPage : public QObject
{
    Q_OBJECT

public:
    enum Way : quint8 { Typed, Reload, Back, Forward, FormGet, FormPost };
    Q_ENUM(Way)

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void isDownloadRequest_data();
    void isDownloadRequest();
    void clickedDownloadLinkIsFetchedNotFollowed_data();
    void clickedDownloadLinkIsFetchedNotFollowed();
    void otherNavigationsAreFollowed_data();
    void otherNavigationsAreFollowed();
    void nextDownloadReplacesItem_data();
    void nextDownloadReplacesItem();
    void downloadRequestCarriesOnlyTheUrl();
    void redirectFromHttpsToHttpIsRefused();

private:
    QUrl address(const QString &pathAndQuery) const;
    bool load(const QString &pathAndQuery);
    QVariant evaluate(const QString &script);
    bool run(const QString &script);
    int requestCount(const QByteArray &requestLine) const;
    QList<WaitingSpinnerWidget *> spinners() const;
    const RecordingPage::Navigation *lastNavigationTo(const QUrl &url) const;
    void secondDownloadWhileFirstAsks(bool save);
    void pageGoesWhileItemAsks();

    std::unique_ptr<DemoInstrument> m_instrument;
    std::unique_ptr<QWidget> m_mainWindow;
    std::unique_ptr<RecordingPage> m_page;
    QWebEngineView *m_view = nullptr;
};

void tst_MyWebPage::initTestCase()
{
    startLogCapture();
    // Nothing may leave the loopback interface, whatever the environment's proxy settings.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    // A desktop's own file dialogs would not be modal widgets that a test can answer.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_MyWebPage::init()
{
    logLines.clear();
    m_instrument = std::make_unique<DemoInstrument>();
    QVERIFY(m_instrument->listen());
    m_instrument->setResponse(QStringLiteral("/page.html"), htmlPage(linksAndForms));
    m_instrument->setResponse(QStringLiteral("/other.html"), htmlPage("<p>other</p>"));
    m_instrument->setResponse(QStringLiteral("/frame.html"),
                              htmlPage("<iframe id=\"f\" src=\"/inner.html\"></iframe>"));
    m_instrument->setResponse(QStringLiteral("/inner.html"),
                              htmlPage("<a id=\"l\" href=\"/downloads/y.csv\">y</a>"));
    DemoResponse withCookie = htmlPage(linksAndForms);
    withCookie.headers.append(
        qMakePair(QByteArray("Set-Cookie"), QByteArray("session=S-0001; Path=/")));
    m_instrument->setResponse(QStringLiteral("/cookie.html"), withCookie);
    // Plain pages under download addresses, so that a followed navigation shows as a new page.
    for (const char *path : {"/downloads/x.csv", "/downloads/y.csv", "/downloads/form", "/export"})
        m_instrument->setResponse(QString::fromLatin1(path), htmlPage(QByteArray("<p>") + path));
    // A download link that the instrument sends on: fetched from where it leads, in every Qt.
    DemoResponse moved = DemoResponse::plainText(302, "Found", "moved\n");
    moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/downloads/x.csv")));
    m_instrument->setResponse(QStringLiteral("/downloads/moved"), moved);
    DemoResponse stalled = DemoResponse::attachment("slow.csv", "never sent\n");
    stalled.stallAfterBytes = 0;
    m_instrument->setResponse(QStringLiteral("/downloads/slow.csv"), stalled);

    m_mainWindow = std::make_unique<QWidget>();
    m_mainWindow->resize(1280, 768);
    m_page = std::make_unique<RecordingPage>(m_mainWindow.get(), nullptr);
    m_view = new QWebEngineView(m_mainWindow.get());
    m_view->setPage(m_page.get());
    auto *layout = new QVBoxLayout(m_mainWindow.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_mainWindow->show();
}

void tst_MyWebPage::cleanup()
{
    showLogTailIfFailed();
    // The view lets go of the page before the page goes, and the page's items hold spinners
    // that belong to the main window.
    delete m_view;
    m_view = nullptr;
    m_page.reset();
    m_mainWindow.reset();
    m_instrument.reset();
    expectNoConnectWarnings();
}

QUrl tst_MyWebPage::address(const QString &pathAndQuery) const
{
    return m_instrument->baseUrl().resolved(QUrl(pathAndQuery));
}

bool tst_MyWebPage::load(const QString &pathAndQuery)
{
    QSignalSpy finished(m_page.get(), &QWebEnginePage::loadFinished);
    m_page->load(address(pathAndQuery));
    // A refused navigation of a step before (a download link) may still end, as failed, on a
    // busy machine: only the outcome at the address counts.
    return QTest::qWaitFor(
        [&] {
            return !finished.isEmpty() && finished.last().value(0).toBool()
                   && m_page->url() == address(pathAndQuery);
        },
        loadTimeout);
}

QVariant tst_MyWebPage::evaluate(const QString &script)
{
    // Shared with the callback, which may still come after a timed-out wait.
    auto result = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    m_page->runJavaScript(script, [result](const QVariant &value) {
        result->first = true;
        result->second = value;
    });
    if (!QTest::qWaitFor([result] { return result->first; }, loadTimeout))
        return QVariant();
    return result->second;
}

// True once the script has run to its end in the page.
bool tst_MyWebPage::run(const QString &script)
{
    return evaluate(script + QStringLiteral("; true")).toBool();
}

int tst_MyWebPage::requestCount(const QByteArray &requestLine) const
{
    return m_instrument->requestLines().count(requestLine);
}

QList<WaitingSpinnerWidget *> tst_MyWebPage::spinners() const
{
    return m_mainWindow->findChildren<WaitingSpinnerWidget *>(QString(),
                                                              Qt::FindDirectChildrenOnly);
}

const RecordingPage::Navigation *tst_MyWebPage::lastNavigationTo(const QUrl &url) const
{
    for (int i = m_page->navigations.size() - 1; i >= 0; --i) {
        if (m_page->navigations.at(i).url == url)
            return &m_page->navigations.at(i);
    }
    return nullptr;
}

// clang-format off
void tst_MyWebPage::isDownloadRequest_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QWebEnginePage::NavigationType>("type");
    QTest::addColumn<bool>("download");

    const auto link = QWebEnginePage::NavigationTypeLinkClicked;
    const QUrl inPath(QStringLiteral("http://192.168.7.1/downloads/report.csv"));
    QTest::newRow("clicked link with downloads in the path")
        << inPath << link << true;
    QTest::newRow("clicked link with downloads in the query")
        << QUrl(QStringLiteral("http://192.168.7.1/export?folder=downloads")) << link << true;
    QTest::newRow("clicked link with downloads in the host")
        << QUrl(QStringLiteral("http://downloads.instrument/report.csv")) << link << true;
    QTest::newRow("clicked link with downloads in the fragment")
        << QUrl(QStringLiteral("http://192.168.7.1/Quorin/#downloads")) << link << true;
    QTest::newRow("clicked link with downloads inside a longer word")
        << QUrl(QStringLiteral("http://192.168.7.1/mydownloadsfolder/a.txt")) << link << true;
    QTest::newRow("percent-encoded letters count as the text shows them")
        << QUrl(QStringLiteral("http://192.168.7.1/%64ownloads/a.txt")) << link << true;
    QTest::newRow("capital first letter is no download")
        << QUrl(QStringLiteral("http://192.168.7.1/Downloads/report.csv")) << link << false;
    QTest::newRow("singular is no download")
        << QUrl(QStringLiteral("http://192.168.7.1/download/report.csv")) << link << false;
    QTest::newRow("all capitals is no download")
        << QUrl(QStringLiteral("http://192.168.7.1/DOWNLOADS/report.csv")) << link << false;
    QTest::newRow("clicked link without the word is no download")
        << QUrl(QStringLiteral("http://192.168.7.1/Quorin/")) << link << false;
    QTest::newRow("typed address is never a download")
        << inPath << QWebEnginePage::NavigationTypeTyped << false;
    QTest::newRow("form submission is never a download")
        << inPath << QWebEnginePage::NavigationTypeFormSubmitted << false;
    QTest::newRow("back or forward is never a download")
        << inPath << QWebEnginePage::NavigationTypeBackForward << false;
    QTest::newRow("reload is never a download")
        << inPath << QWebEnginePage::NavigationTypeReload << false;
    QTest::newRow("redirect is never a download")
        << inPath << QWebEnginePage::NavigationTypeRedirect << false;
    QTest::newRow("other navigation is never a download")
        << inPath << QWebEnginePage::NavigationTypeOther << false;
}
// clang-format on

void tst_MyWebPage::isDownloadRequest()
{
    QFETCH(QUrl, url);
    QFETCH(QWebEnginePage::NavigationType, type);
    QFETCH(bool, download);

    QCOMPARE(MyWebPage::isDownloadRequest(url, type), download);
}

// clang-format off
void tst_MyWebPage::clickedDownloadLinkIsFetchedNotFollowed_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::addColumn<bool>("mainFrame");

    QTest::newRow("link in the main frame")
        << "/page.html" << clickScript(QStringLiteral("l")) << "/downloads/x.csv"
        << QByteArray("GET /downloads/x.csv HTTP/1.1") << true;
    QTest::newRow("query of the link is fetched too, the fragment stays local")
        << "/page.html" << clickScript(QStringLiteral("q"))
        << "/downloads/x.csv?sample=S-0001&unit=mmol#row2"
        << QByteArray("GET /downloads/x.csv?sample=S-0001&unit=mmol HTTP/1.1") << true;
    QTest::newRow("downloads only in the query")
        << "/page.html" << clickScript(QStringLiteral("e")) << "/export?folder=downloads"
        << QByteArray("GET /export?folder=downloads HTTP/1.1") << true;
    QTest::newRow("link that the instrument sends on is fetched where it leads")
        << "/page.html" << clickScript(QStringLiteral("r")) << "/downloads/moved"
        << QByteArray("GET /downloads/x.csv HTTP/1.1") << true;
    QTest::newRow("link in a sub-frame counts like one in the main frame")
        << "/frame.html"
        << "document.getElementById('f').contentDocument.getElementById('l').click()"
        << "/downloads/y.csv" << QByteArray("GET /downloads/y.csv HTTP/1.1") << false;
}
// clang-format on

void tst_MyWebPage::clickedDownloadLinkIsFetchedNotFollowed()
{
    QFETCH(QString, page);
    QFETCH(QString, script);
    QFETCH(QString, link);
    QFETCH(QByteArray, requestLine);
    QFETCH(bool, mainFrame);

    QVERIFY(load(page));
    const QUrl shown = m_page->url();
    const QString frameLocation = evaluate(frameLocations).toString();

    ModalAnswerer answerer(rejectDialog);
    QVERIFY(run(script));
    QTRY_COMPARE_WITH_TIMEOUT(requestCount(requestLine), 1, loadTimeout);
    // The download's own "Save File" question shows the item took the reply.
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);
    QCOMPARE(answerer.seenTitle(), QStringLiteral("Save File"));

    // The renderer still shows the same documents, in every frame.
    QCOMPARE(evaluate(QStringLiteral("location.href")).toString(), shown.toString());
    QCOMPARE(evaluate(frameLocations).toString(), frameLocation);
    QCOMPARE(m_page->url(), shown);
    QCOMPARE(requestCount(requestLine), 1);
    QCOMPARE(spinners().size(), 1);

    const RecordingPage::Navigation *navigation = lastNavigationTo(address(link));
    QVERIFY(navigation);
    QCOMPARE(navigation->type, QWebEnginePage::NavigationTypeLinkClicked);
    QCOMPARE(navigation->isMainFrame, mainFrame);
    QVERIFY(!navigation->accepted);
}

// clang-format off
void tst_MyWebPage::otherNavigationsAreFollowed_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::addColumn<QWebEnginePage::NavigationType>("type");

    const QByteArray getX = "GET /downloads/x.csv HTTP/1.1";
    QTest::newRow("typed address is followed")
        << Typed << "/downloads/x.csv" << getX << QWebEnginePage::NavigationTypeTyped;
    QTest::newRow("reload is followed")
        << Reload << "/downloads/x.csv" << getX << QWebEnginePage::NavigationTypeReload;
    QTest::newRow("back is followed")
        << Back << "/downloads/x.csv" << getX << QWebEnginePage::NavigationTypeBackForward;
    QTest::newRow("forward is followed")
        << Forward << "/downloads/x.csv" << getX << QWebEnginePage::NavigationTypeBackForward;
    QTest::newRow("form sent with GET is followed")
        << FormGet << "/downloads/form?q=1" << QByteArray("GET /downloads/form?q=1 HTTP/1.1")
        << QWebEnginePage::NavigationTypeFormSubmitted;
    QTest::newRow("form sent with POST is followed")
        << FormPost << "/downloads/post" << QByteArray("POST /downloads/post HTTP/1.1")
        << QWebEnginePage::NavigationTypeFormSubmitted;
}
// clang-format on

void tst_MyWebPage::otherNavigationsAreFollowed()
{
    QFETCH(Way, way);
    QFETCH(QString, target);
    QFETCH(QByteArray, requestLine);
    QFETCH(QWebEnginePage::NavigationType, type);

    // Get to the point from which the navigation under test starts.
    switch (way) {
    case Typed:
    case FormGet:
    case FormPost:
        QVERIFY(load(QStringLiteral("/page.html")));
        break;
    case Reload:
        QVERIFY(load(target));
        break;
    case Back:
        QVERIFY(load(target));
        QVERIFY(load(QStringLiteral("/other.html")));
        break;
    case Forward:
        QVERIFY(load(QStringLiteral("/other.html")));
        QVERIFY(load(target));
        m_page->triggerAction(QWebEnginePage::Back);
        QTRY_COMPARE_WITH_TIMEOUT(m_page->url(), address(QStringLiteral("/other.html")),
                                  loadTimeout);
        break;
    }
    const int before = requestCount(requestLine);
    // A navigation taken for a download would ask where to save it.
    ModalAnswerer answerer(rejectDialog);

    switch (way) {
    case Typed:
        m_page->load(address(target));
        break;
    case Reload:
        m_page->triggerAction(QWebEnginePage::Reload);
        break;
    case Back:
        m_page->triggerAction(QWebEnginePage::Back);
        break;
    case Forward:
        m_page->triggerAction(QWebEnginePage::Forward);
        break;
    case FormGet:
        QVERIFY(run(clickScript(QStringLiteral("fgs"))));
        break;
    case FormPost:
        QVERIFY(run(clickScript(QStringLiteral("fps"))));
        break;
    }

    QTRY_COMPARE_WITH_TIMEOUT(requestCount(requestLine), before + 1, loadTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(m_page->url(), address(target), loadTimeout);
    const RecordingPage::Navigation *navigation = lastNavigationTo(address(target));
    QVERIFY(navigation);
    QCOMPARE(navigation->type, type);
    QVERIFY(navigation->isMainFrame);
    QVERIFY(navigation->accepted);
    QVERIFY(spinners().isEmpty());
    QVERIFY(!answerer.answered());
}

// clang-format off
void tst_MyWebPage::nextDownloadReplacesItem_data()
{
    QTest::addColumn<QString>("firstLink");
    QTest::addColumn<QByteArray>("firstRequestLine");
    QTest::addColumn<bool>("firstAsks");
    QTest::addColumn<QString>("whileAsking");

    QTest::newRow("item whose user declined to save is replaced")
        << "l" << QByteArray("GET /downloads/x.csv HTTP/1.1") << true << QString();
    QTest::newRow("item still waiting for data is replaced")
        << "s" << QByteArray("GET /downloads/slow.csv HTTP/1.1") << false << QString();
    QTest::newRow("item replaced in its dialog saves once it is answered")
        << "l" << QByteArray("GET /downloads/x.csv HTTP/1.1") << true << "save";
    QTest::newRow("item replaced in its dialog goes once it is cancelled")
        << "l" << QByteArray("GET /downloads/x.csv HTTP/1.1") << true << "cancel";
    QTest::newRow("item whose page goes while its dialog is open goes once it is answered")
        << "l" << QByteArray("GET /downloads/x.csv HTTP/1.1") << true << "page goes";
}
// clang-format on

void tst_MyWebPage::nextDownloadReplacesItem()
{
    QFETCH(QString, firstLink);
    QFETCH(QByteArray, firstRequestLine);
    QFETCH(bool, firstAsks);
    QFETCH(QString, whileAsking);

    QVERIFY(load(QStringLiteral("/page.html")));
    if (whileAsking == QLatin1String("page goes")) {
        pageGoesWhileItemAsks();
        return;
    }
    if (!whileAsking.isEmpty()) {
        secondDownloadWhileFirstAsks(whileAsking == QLatin1String("save"));
        return;
    }
    {
        ModalAnswerer answerer(rejectDialog);
        QVERIFY(run(clickScript(firstLink)));
        QTRY_COMPARE_WITH_TIMEOUT(requestCount(firstRequestLine), 1, loadTimeout);
        if (firstAsks)
            QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);
    }
    QCOMPARE(spinners().size(), 1);
    const QPointer<WaitingSpinnerWidget> first = spinners().constFirst();
    QCOMPARE(first->isSpinning(), !firstAsks);

    ModalAnswerer answerer(rejectDialog);
    QVERIFY(run(clickScript(QStringLiteral("q"))));
    QTRY_COMPARE_WITH_TIMEOUT(requestCount("GET /downloads/x.csv?sample=S-0001&unit=mmol HTTP/1.1"),
                              1, loadTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);

    // The replaced item is gone with its spinner; the page holds only the latest one.
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), loadTimeout);
    QCOMPARE(spinners().size(), 1);
    // Neither item may leave the window disabled or the wait cursor behind.
    QTRY_VERIFY_WITH_TIMEOUT(m_mainWindow->isEnabled(), loadTimeout);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

// A page script clicks a second download link while the first one's "Save File" dialog is
// open. The first item must outlive its dialog, whose nested event loop runs meanwhile.
void tst_MyWebPage::secondDownloadWhileFirstAsks(bool save)
{
    QTemporaryDir chosen;
    QVERIFY(chosen.isValid());
    const QString destination = chosen.filePath(QStringLiteral("x.csv"));
    QPointer<WaitingSpinnerWidget> first;
    bool secondStarted = false;
    bool firstAliveInDialog = false;
    ModalAnswerer answerer([&](QWidget *dialog) {
        first = spinners().value(0);
        // The second download starts from inside the first one's dialog.
        m_page->runJavaScript(clickScript(QStringLiteral("s")));
        secondStarted = QTest::qWaitFor(
            [this] {
                return requestCount("GET /downloads/slow.csv HTTP/1.1") == 1
                       && spinners().size() == 2;
            },
            loadTimeout);
        firstAliveInDialog = !first.isNull();
        auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
        if (!save || !fileDialog) {
            rejectDialog(dialog);
            return;
        }
        choose(destination)(fileDialog);
    });
    QVERIFY(run(clickScript(QStringLiteral("l"))));
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);
    QCOMPARE(answerer.seenTitle(), QStringLiteral("Save File"));
    QVERIFY(secondStarted);
    QVERIFY(firstAliveInDialog);

    // Once it has returned from its dialog the first item goes, having saved what the user
    // chose; the second goes on waiting for its data with the window disabled.
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), loadTimeout);
    QFile saved(destination);
    QCOMPARE(saved.open(QIODevice::ReadOnly), save);
    if (save)
        QVERIFY(saved.readAll().contains("<p>/downloads/x.csv"));
    QCOMPARE(spinners().size(), 1);
    QVERIFY(spinners().constFirst()->isSpinning());
    QVERIFY(!m_mainWindow->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // The page going with the second one gives everything back.
    delete m_view;
    m_view = nullptr;
    m_page.reset();
    QTRY_VERIFY_WITH_TIMEOUT(m_mainWindow->isEnabled(), loadTimeout);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

// The page, its network access manager and the reply go while the item waits in its dialog.
void tst_MyWebPage::pageGoesWhileItemAsks()
{
    QTemporaryDir chosen;
    QVERIFY(chosen.isValid());
    const QString destination = chosen.filePath(QStringLiteral("x.csv"));
    ModalAnswerer answerer([&](QWidget *dialog) {
        delete m_view;
        m_view = nullptr;
        m_page.reset();
        choose(destination)(qobject_cast<QFileDialog *>(dialog));
    });
    QVERIFY(run(clickScript(QStringLiteral("l"))));
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);

    QTRY_COMPARE_WITH_TIMEOUT(DownloadItem::liveCount(), 0, loadTimeout);
    QVERIFY(m_mainWindow->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void tst_MyWebPage::downloadRequestCarriesOnlyTheUrl()
{
    const QByteArray requestLine = "GET /downloads/x.csv HTTP/1.1";
    QVERIFY(load(QStringLiteral("/cookie.html")));

    ModalAnswerer answerer(rejectDialog);
    QVERIFY(run(clickScript(QStringLiteral("l"))));
    QTRY_COMPARE_WITH_TIMEOUT(requestCount(requestLine), 1, loadTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(answerer.answered(), loadTimeout);

    // The engine's own request for the same address carries the page's cookie, so the cookie
    // is there to be leaked.
    QVERIFY(load(QStringLiteral("/downloads/x.csv")));
    QCOMPARE(requestCount(requestLine), 2);

    const QList<QByteArray> lines = m_instrument->requestLines();
    const QList<QByteArray> heads = m_instrument->requestHeads();
    QCOMPARE(heads.size(), lines.size());
    const int download = lines.indexOf(requestLine);
    const int typed = lines.lastIndexOf(requestLine);
    QVERIFY(heads.at(typed).contains("\r\nCookie: session=S-0001"));
    const QByteArray downloadHead = heads.at(download).toLower();
    QVERIFY2(!downloadHead.contains("\r\ncookie:"), downloadHead.constData());
    QVERIFY2(!downloadHead.contains("\r\nreferer:"), downloadHead.constData());
}

// A download over https that the server sends on to plain http would go out unprotected: it is
// not followed, and nothing is saved as if it had come.
void tst_MyWebPage::redirectFromHttpsToHttpIsRefused()
{
    const QByteArray requestLine = "GET /downloads/x.csv HTTP/1.1";
    QTemporaryDir folder;
    TlsRedirectServer server;
    QVERIFY(server.start(folder.path(), address(QStringLiteral("/downloads/x.csv")).toEncoded()));
    QVERIFY(load(QStringLiteral("/page.html")));

    ModalAnswerer answerer(rejectDialog);
    const QString link
        = QStringLiteral("https://127.0.0.1:%1/downloads/moved").arg(server.serverPort());
    QVERIFY(run(QStringLiteral("const a = document.createElement('a'); a.href = '%1';"
                               " document.body.appendChild(a); a.click()")
                    .arg(link)));
    QTRY_VERIFY_WITH_TIMEOUT(logLines.join(QLatin1Char('\n'))
                                 .contains(QStringLiteral("DownloadItem::handleFinished notice=")),
                             loadTimeout);
    QCOMPARE(server.requests(), 1);
    QCOMPARE(requestCount(requestLine), 0);
    QVERIFY(!answerer.answered());
    const QString log = logLines.join(QLatin1Char('\n'));
    QVERIFY2(log.contains(QStringLiteral("was not downloaded")), qPrintable(log));
}

QTEST_MAIN(tst_MyWebPage)
#include "tst_mywebpage.moc"
