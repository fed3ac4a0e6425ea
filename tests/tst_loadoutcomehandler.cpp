#include "app/loadoutcomehandler.h"

#include <QTest>

// The retry question names the link to check, judged by the chosen address alone.
class tst_LoadOutcomeHandler : public QObject
{
    Q_OBJECT

private slots:
    void questionText_data();
    void questionText();
};

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

QTEST_APPLESS_MAIN(tst_LoadOutcomeHandler)
#include "tst_loadoutcomehandler.moc"
