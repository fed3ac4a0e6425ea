#include "app/singleinstance.h"

#include <QTest>

// One lock and one socket for each display of the user, whatever the spelling of the display.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void instanceName_data();
    void instanceName();
};

void tst_SingleInstance::instanceName_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("name");

    QTest::newRow("an X display") << "xcb"
                                  << ":0"
                                  << "kestrion-shell-xcb_0";
    QTest::newRow("its screen is the same display") << "xcb"
                                                    << ":0.1"
                                                    << "kestrion-shell-xcb_0";
    QTest::newRow("another display") << "xcb"
                                     << ":10"
                                     << "kestrion-shell-xcb_10";
    QTest::newRow("a remote display keeps its host") << "xcb"
                                                     << "localhost:10.0"
                                                     << "kestrion-shell-xcblocalhost_10";
    QTest::newRow("no path out of the runtime folder") << "xcb"
                                                       << "../../x"
                                                       << "kestrion-shell-xcb______x";
    QTest::newRow("a Wayland display") << "wayland"
                                       << "wayland-1"
                                       << "kestrion-shell-waylandwayland_1";
    QTest::newRow("no display") << "offscreen"
                                << ""
                                << "kestrion-shell-offscreen";
}

void tst_SingleInstance::instanceName()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, name);

    QCOMPARE(SingleInstance::instanceName(platform, display), name);
}

QTEST_APPLESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
