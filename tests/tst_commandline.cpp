#include "app/commandline.h"

#include <QTest>

// The start URL as the web view receives it: the command line, then (when no host was named)
// the address from the connection dialog, then the final touch item.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void composition_data();
    void composition();
};

// clang-format off
void tst_CommandLine::composition_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("dialogAddress");
    QTest::addColumn<bool>("hostNamed");
    QTest::addColumn<QString>("scannedQuery");
    QTest::addColumn<QString>("startUrl");

    const QString program = QStringLiteral("/usr/bin/kestrion-shell");
    const QString defaultPage = QStringLiteral("qrc:/VelaSenchaTouch2/index.html");

    QTest::newRow("no arguments: USB from the dialog")
        << QStringList{program} << "192.168.7.1" << false << "client=Desktop"
        << "http://192.168.7.1/Quorin/?client=Desktop&host=192.168.7.1&touch=On";
    QTest::newRow("host, port and debug: default page, no dialog")
        << QStringList{program, "--host=192.168.7.1", "--port=80", "--debug"} << "" << true
        << "client=Desktop&host=192.168.7.1&port=80&debug=On"
        << defaultPage + "?client=Desktop&host=192.168.7.1&port=80&debug=On&touch=On";
    QTest::newRow("program path is never scanned")
        << QStringList{"/opt/--debug/--host=x/kestrion-shell"} << "192.168.8.1" << false
        << "client=Desktop" << "http://192.168.8.1/Quorin/?client=Desktop&host=192.168.8.1&touch=On";
    QTest::newRow("empty --url empties the start URL")
        << QStringList{program, "--url=", "--host=h"} << "" << true << "client=Desktop&host=h"
        << "?client=Desktop&host=h&touch=On";
    QTest::newRow("last --url wins and loses its own query")
        << QStringList{program, "--url=http://a/x?q=1", "--url=http://b:81/y?z=2#top", "--host=h"}
        << "" << true << "client=Desktop&host=h" << "http://b:81/y?client=Desktop&host=h&touch=On#top";
    QTest::newRow("--url stops at a space")
        << QStringList{program, "--url=http://a/b c", "--host=h"} << "" << true
        << "client=Desktop&host=h" << "http://a/b?client=Desktop&host=h&touch=On";
    QTest::newRow("--url without --host is replaced by the dialog's address")
        << QStringList{program, "--url=http://a/x"} << "10.0.0.5" << false << "client=Desktop"
        << "http://10.0.0.5/Quorin/?client=Desktop&host=10.0.0.5&touch=On";
    QTest::newRow("one argument matching --url and --host")
        << QStringList{program, "--url=http://x/--host=y"} << "" << true << "client=Desktop&host=y"
        << "http://x/--host=y?client=Desktop&host=y&touch=On";
    QTest::newRow("host capture stops at the colon")
        << QStringList{program, "--host=192.168.8.1:80"} << "" << true
        << "client=Desktop&host=192.168.8.1" << defaultPage + "?client=Desktop&host=192.168.8.1&touch=On";
    // QUrlQuery itself writes the pipe percent-encoded; the item's value is a|b.
    QTest::newRow("pipe belongs to the host")
        << QStringList{program, "--host=a|b"} << "" << true << "client=Desktop&host=a%7Cb"
        << defaultPage + "?client=Desktop&host=a%7Cb&touch=On";
    QTest::newRow("several hosts in argument order")
        << QStringList{program, "--host=a", "--host=b"} << "" << true
        << "client=Desktop&host=a&host=b" << defaultPage + "?client=Desktop&host=a&host=b&touch=On";
    QTest::newRow("last client wins where it was processed")
        << QStringList{program, "--client=A", "--debug", "--client=B", "--host=h"} << "" << true
        << "debug=On&client=B&host=h" << defaultPage + "?debug=On&client=B&host=h&touch=On";
    QTest::newRow("client capture stops at the hyphen")
        << QStringList{program, "--client=a-b", "--host=h"} << "" << true << "client=a&host=h"
        << defaultPage + "?client=a&host=h&touch=On";
    QTest::newRow("repeated options repeat their items")
        << QStringList{program, "--keyboard", "--port=1", "--keyboard", "--port=2", "--demo",
                       "--demo", "--configure", "--configure"}
        << "192.168.7.1" << false
        << "client=Desktop&keyboard=On&port=1&keyboard=On&port=2&demo=On&demo=On&configure=On"
           "&configure=On"
        << "http://192.168.7.1/Quorin/?client=Desktop&keyboard=On&port=1&keyboard=On&port=2"
           "&demo=On&demo=On&configure=On&configure=On&host=192.168.7.1&touch=On";
    QTest::newRow("option text anywhere inside an argument")
        << QStringList{program, "x--debug", "--debugger", "--host=h"} << "" << true
        << "client=Desktop&debug=On&debug=On&host=h"
        << defaultPage + "?client=Desktop&debug=On&debug=On&host=h&touch=On";
    QTest::newRow("two option texts in one argument come in option order")
        << QStringList{program, "--demo--debug", "--keyboard--host=z"} << "" << true
        << "client=Desktop&debug=On&demo=On&host=z&keyboard=On"
        << defaultPage + "?client=Desktop&debug=On&demo=On&host=z&keyboard=On&touch=On";
    QTest::newRow("values that do not fit and capitals are ignored")
        << QStringList{program, "--port=abc", "--host=", "--client=", "--HOST=x", "--Debug", "-debug"}
        << "" << false << "client=Desktop" << "http:///Quorin/?client=Desktop&host=&touch=On";
    // Spaces make the host invalid, so QUrl drops it; the query keeps the text as typed.
    QTest::newRow("LAN address with spaces passes unchanged into the query")
        << QStringList{program} << " 10.1.2.3 " << false << "client=Desktop"
        << "http:///Quorin/?client=Desktop&host= 10.1.2.3 &touch=On";
}
// clang-format on

void tst_CommandLine::composition()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, dialogAddress);
    QFETCH(bool, hostNamed);
    QFETCH(QString, scannedQuery);
    QFETCH(QString, startUrl);

    StartParameters parameters = composeStartParameters(arguments);
    QCOMPARE(parameters.hostNamed, hostNamed);
    QCOMPARE(parameters.query.toString(), scannedQuery);

    if (!parameters.hostNamed)
        applyChosenAddress(parameters, dialogAddress);
    completeStartUrl(parameters);
    QCOMPARE(parameters.url.toString(), startUrl);
    QCOMPARE(parameters.query.queryItems().constLast(),
             qMakePair(QStringLiteral("touch"), QStringLiteral("On")));
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
