#include "widgets/busyoverlay.h"

#include "widgets/overlaybutton.h"
#include "widgets/splashmessage.h"

#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTest>

namespace {

// Where a widget lies among its siblings: later is further up.
int stackingOf(const QWidget *widget)
{
    return int(widget->parentWidget()->children().indexOf(const_cast<QWidget *>(widget)));
}

} // namespace

// Whatever the window brings up while downloads are busy, their backdrop, indicators and lines
// stay on top; two downloads share one backdrop and each has a Cancel of its own with its name.
class tst_BusyOverlay : public QObject
{
    Q_OBJECT

private slots:
    void staysOnTop_data();
    void staysOnTop();
};

// clang-format off
void tst_BusyOverlay::staysOnTop_data()
{
    QTest::addColumn<QString>("change");

    QTest::newRow("another page becomes current") << "page";
    QTest::newRow("a page comes back and becomes current") << "inserted page";
    QTest::newRow("the splash page's message shows") << "message";
}
// clang-format on

void tst_BusyOverlay::staysOnTop()
{
    QFETCH(QString, change);

    QStackedWidget window;
    window.resize(1280, 768);
    auto *first = new QLabel(&window);
    auto *second = new QLabel(&window);
    window.addWidget(first);
    window.addWidget(second);
    auto *message = new SplashMessage(&window);
    QWidget report(&window);
    QWidget print(&window);
    window.show();

    BusyOverlay *overlay = BusyOverlay::of(&window);
    OverlayButton *reportLine = overlay->addLine(&report);
    QCOMPARE(BusyOverlay::of(&window), overlay);
    OverlayButton *printLine = overlay->addLine(&print);
    overlay->setName(reportLine, QStringLiteral("report.csv"));
    overlay->setName(printLine, QStringLiteral("print.pdf"));
    overlay->setText(printLine, QStringLiteral("print.pdf — 1.0 MB"));
    QCOMPARE(window.findChildren<BusyOverlay *>().size(), 1);
    QCOMPARE(reportLine->text(), QStringLiteral("Cancel report.csv"));
    QCOMPARE(printLine->text(), QStringLiteral("Cancel print.pdf"));
    QCOMPARE(overlay->texts(), QStringList({QString(), QStringLiteral("print.pdf — 1.0 MB")}));
    // Side by side under the lines: neither hides the other.
    reportLine->present();
    printLine->present();
    QVERIFY(!reportLine->geometry().intersects(printLine->geometry()));

    if (change == QLatin1String("page")) {
        window.setCurrentWidget(second);
    } else if (change == QLatin1String("inserted page")) {
        window.removeWidget(first);
        window.setCurrentWidget(second);
        window.insertWidget(0, first);
        window.setCurrentWidget(first);
    } else {
        message->showMessage(QStringLiteral("Waiting for the instrument"), QString());
    }
    QWidget *raised = change == QLatin1String("message") ? message : window.currentWidget();
    QVERIFY(raised->isVisible());
    QVERIFY(stackingOf(overlay) > stackingOf(raised));
    QVERIFY(stackingOf(&report) > stackingOf(overlay));
    QVERIFY(stackingOf(&print) > stackingOf(overlay));

    // The last line takes the backdrop with it; the one before leaves a lone "Cancel".
    const QPointer<BusyOverlay> watched = overlay;
    overlay->removeLine(reportLine);
    QCOMPARE(printLine->text(), QStringLiteral("Cancel"));
    overlay->removeLine(printLine);
    QVERIFY(watched.isNull());
}

QTEST_MAIN(tst_BusyOverlay)
#include "tst_busyoverlay.moc"
