#include "app/loadoutcomehandler.h"

#include "app/assembledwindow.h"
#include "shared/logcapture.h"
#include "shared/modalanswerer.h"
#include "widgets/splashmessage.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

// The retry question names the link to check, judged by the chosen address alone; a success
// takes the splash page away and keeps every later failure from being asked about.
class tst_LoadOutcomeHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void questionText_data();
    void questionText();
    void outcomesWithoutQuestion_data();
    void outcomesWithoutQuestion();
};

void tst_LoadOutcomeHandler::initTestCase()
{
    startLogCapture();
}

void tst_LoadOutcomeHandler::cleanupTestCase()
{
    stopLogCapture();
}

// clang-format off
void tst_LoadOutcomeHandler::questionText_data()
{
    QTest::addColumn<QString>("chosenAddress");
    QTest::addColumn<QString>("firstLine");

    const QString lan = QStringLiteral("Please check entered IP address and connection");
    QTest::newRow("USB address") << "192.168.7.1" << "Please check USB connection";
    QTest::newRow("WiFi address") << "192.168.8.1" << "Please check WiFi connection";
    QTest::newRow("LAN address") << "10.0.0.5" << lan;
    QTest::newRow("USB address with a trailing space is LAN") << "192.168.7.1 " << lan;
    QTest::newRow("USB address with a port is LAN") << "192.168.7.1:80" << lan;
    QTest::newRow("any other text is LAN") << "instrument.local" << lan;
}
// clang-format on

void tst_LoadOutcomeHandler::questionText()
{
    QFETCH(QString, chosenAddress);
    QFETCH(QString, firstLine);

    QCOMPARE(LoadOutcomeHandler::questionText(chosenAddress),
             firstLine + QString::fromUtf8(" to your Kestrion®.\nTry again?"));
}

// clang-format off
void tst_LoadOutcomeHandler::outcomesWithoutQuestion_data()
{
    QTest::addColumn<QString>("chosenAddress");
    QTest::addColumn<QList<bool>>("outcomes");
    QTest::addColumn<QString>("start");
    // Loaded for real after the outcomes told: its own outcome comes last.
    QTest::addColumn<QString>("navigation");
    QTest::addColumn<QString>("splashMessage");

    // Should a question come after all, Yes would load this: nothing listens there, and nothing
    // leaves the machine.
    const QString unused = QStringLiteral("http://127.0.0.1:9/Quorin/?touch=On");
    const QString waiting = QString::fromUtf8("Waiting for the instrument at %1 …");
    QTest::newRow("success shows the web view and stops the indicator")
        << "192.168.7.1" << QList<bool>{true} << unused << "" << "";
    QTest::newRow("failure after a success asks nothing")
        << "192.168.7.1" << QList<bool>{true, false} << unused << "" << "";
    QTest::newRow("success after a success changes nothing")
        << "10.0.0.5" << QList<bool>{true, true} << unused << "" << "";
    QTest::newRow("host named: failure asks nothing, the splash stays and waits")
        << "" << QList<bool>{false} << unused << "" << waiting.arg(QStringLiteral("127.0.0.1:9"));
    QTest::newRow("the address waited for names the port http takes when none is given")
        << "" << QList<bool>{false} << "http://127.0.0.1/Quorin/" << ""
        << waiting.arg(QStringLiteral("127.0.0.1:80"));
    QTest::newRow("an IPv6 host waited for stands in brackets")
        << "" << QList<bool>{false} << "http://[::1]:9/Quorin/" << ""
        << waiting.arg(QStringLiteral("[::1]:9"));
    QTest::newRow("a recorded navigation that fails after a success is probed, nothing asked")
        << "192.168.7.1" << QList<bool>{true} << unused << "http://127.0.0.1:9/later.html"
        << QString::fromUtf8("Connection to the instrument at 127.0.0.1:9 lost — reconnecting …");
}
// clang-format on

void tst_LoadOutcomeHandler::outcomesWithoutQuestion()
{
    QFETCH(QString, chosenAddress);
    QFETCH(QList<bool>, outcomes);
    QFETCH(QString, start);
    QFETCH(QString, navigation);
    QFETCH(QString, splashMessage);

    const QUrl startUrl(start);
    AssembledWindow shell;
    shell.open(startUrl, chosenAddress);
    // The outcomes are told here, not by a load of the start page.
    shell.view.stop();
    QObject::disconnect(&shell.view, &QWebEngineView::loadFinished, nullptr, nullptr);
    const LoadOutcomeHandler handler(shell.view, startUrl, shell.chosenAddress, shell.window,
                                     shell.splash, *shell.recovery);
    // A question would run its own event loop inside the call, where this answers it.
    ModalAnswerer answerer(ModalAnswerer::clickButton(QMessageBox::Yes));
    logLines.clear();

    QStringList expectedLines;
    for (const bool ok : qAsConst(outcomes)) {
        handler(ok);
        expectedLines << QStringLiteral("main() QWebEngineView::loadFinished ok= %1")
                             .arg(ok ? QStringLiteral("true") : QStringLiteral("false"));
    }
    if (!navigation.isEmpty()) {
        // Through the page, which records the navigation the recovery then judges by.
        QObject::connect(&shell.view, &QWebEngineView::loadFinished, &shell.view, handler,
                         Qt::DirectConnection);
        shell.view.load(QUrl(navigation));
        expectedLines << QStringLiteral("main() QWebEngineView::loadFinished ok= false");
        QTRY_COMPARE_WITH_TIMEOUT(shell.splash.showing(), SplashPage::Showing::InstrumentLost,
                                  30000);
        QCOMPARE(linesStartingWith(
                     QStringLiteral("ConnectionRecovery::checkConnection url= QUrl(\"%1\")")
                         .arg(navigation)),
                 1);
    }

    QVERIFY(!answerer.answered());
    QCOMPARE(logLines.filter(QRegularExpression(QStringLiteral("^main\\(\\)"))), expectedLines);
    QCOMPARE(shell.splash.message().isVisibleTo(&shell.window), !splashMessage.isEmpty());
    if (!splashMessage.isEmpty())
        QCOMPARE(shell.splash.message().text(), splashMessage);
    // Whatever the splash page says, it shows, turning, in front of the web view.
    const bool pageShows = splashMessage.isEmpty();
    QCOMPARE(shell.splash.indicator().isSpinning(), !pageShows);
    QCOMPARE(shell.window.count(), pageShows ? 1 : 2);
    QCOMPARE(shell.window.currentWidget(),
             pageShows ? static_cast<QWidget *>(&shell.view) : &shell.splash.label());
    QVERIFY(shell.chosenAddress.isEmpty());
}

QTEST_MAIN(tst_LoadOutcomeHandler)
#include "tst_loadoutcomehandler.moc"
