#include "app/loadoutcomehandler.h"

#include "app/connectionrecovery.h"
#include "shared/assembledwindow.h"
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
    QTest::addColumn<QString>("splashMessage");

    // Should a question come after all, Yes would load this: nothing listens there, and nothing
    // leaves the machine.
    const QString unused = QStringLiteral("http://127.0.0.1:9/Quorin/?touch=On");
    const QString waiting = QString::fromUtf8("Waiting for the instrument at %1 …");
    QTest::newRow("success shows the web view and stops the indicator")
        << "192.168.7.1" << QList<bool>{true} << unused << "";
    QTest::newRow("failure after a success asks nothing")
        << "192.168.7.1" << QList<bool>{true, false} << unused << "";
    QTest::newRow("success after a success changes nothing")
        << "10.0.0.5" << QList<bool>{true, true} << unused << "";
    QTest::newRow("host named: failure asks nothing, the splash stays and waits")
        << "" << QList<bool>{false} << unused << waiting.arg(QStringLiteral("127.0.0.1:9"));
    QTest::newRow("the address waited for names the port http takes when none is given")
        << "" << QList<bool>{false} << "http://127.0.0.1/Quorin/"
        << waiting.arg(QStringLiteral("127.0.0.1:80"));
    QTest::newRow("an IPv6 host waited for stands in brackets")
        << "" << QList<bool>{false} << "http://[::1]:9/Quorin/"
        << waiting.arg(QStringLiteral("[::1]:9"));
}
// clang-format on

void tst_LoadOutcomeHandler::outcomesWithoutQuestion()
{
    QFETCH(QString, chosenAddress);
    QFETCH(QList<bool>, outcomes);
    QFETCH(QString, start);
    QFETCH(QString, splashMessage);

    const QUrl startUrl(start);
    AssembledWindow shell(startUrl);
    auto &[window, splashLabel, busyIndicator, page, view, recovery] = shell;
    const LoadOutcomeHandler handler(view, startUrl, chosenAddress, window, splashLabel,
                                     busyIndicator, recovery);
    // A question would run its own event loop inside the call, where this answers it.
    ModalAnswerer answerer(ModalAnswerer::clickButton(QMessageBox::Yes));
    logLines.clear();

    QStringList expectedLines;
    for (const bool ok : qAsConst(outcomes)) {
        handler(ok);
        expectedLines << QStringLiteral("main() QWebEngineView::loadFinished ok= %1")
                             .arg(ok ? QStringLiteral("true") : QStringLiteral("false"));
    }

    QVERIFY(!answerer.answered());
    QCOMPARE(logLines.filter(QRegularExpression(QStringLiteral("^main\\(\\)"))), expectedLines);
    QCOMPARE(recovery.message().isVisibleTo(&window), !splashMessage.isEmpty());
    if (!splashMessage.isEmpty())
        QCOMPARE(recovery.message().text(), splashMessage);
    const bool loaded = outcomes.contains(true);
    QCOMPARE(busyIndicator.isSpinning(), !loaded);
    QCOMPARE(window.count(), loaded ? 1 : 2);
    QCOMPARE(window.currentWidget(), loaded ? static_cast<QWidget *>(&view) : &splashLabel);
    QVERIFY(chosenAddress.isEmpty());
    QVERIFY(view.url().isEmpty());
}

QTEST_MAIN(tst_LoadOutcomeHandler)
#include "tst_loadoutcomehandler.moc"
