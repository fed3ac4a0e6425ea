#include "widgets/waitingspinnerwidget.h"

#include "shared/logcapture.h"

#include <QImage>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

const double minAlpha = 3.141592653589793 / 100.0;

// The configuration with which the splash page and the downloads use the spinner.
void configure(WaitingSpinnerWidget &spinner)
{
    spinner.setRoundness(60.0);
    spinner.setLineCount(12);
    spinner.setLineLength(12);
    spinner.setLineWidth(4);
    spinner.setInnerRadius(12);
}

QTimer *timerOf(const WaitingSpinnerWidget &spinner)
{
    return spinner.findChild<QTimer *>();
}

void advance(WaitingSpinnerWidget &spinner, int steps)
{
    for (int i = 0; i < steps; ++i)
        QVERIFY(QMetaObject::invokeMethod(&spinner, "rotate"));
}

QImage paint(WaitingSpinnerWidget &spinner)
{
    QImage image(spinner.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    spinner.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

// The ring of bars: its geometry, the fading trail, and how start() and stop() treat the
// parent widget and the leading bar.
class tst_WaitingSpinnerWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void geometryAndInterval();
    void trailAlpha_data();
    void trailAlpha();
    void roundnessClamped_data();
    void roundnessClamped();
    void startCentresAndDisables_data();
    void startCentresAndDisables();
    void startWhileSpinningKeepsLeadingBar();
    void stopWithoutStart();
    void setLineCountWhileSpinning();
    void timerTurnsTheRing();
    void paintedBars_data();
    void paintedBars();
};

void tst_WaitingSpinnerWidget::initTestCase()
{
    startLogCapture();
}

void tst_WaitingSpinnerWidget::cleanup()
{
    expectNoConnectWarnings();
}

void tst_WaitingSpinnerWidget::geometryAndInterval()
{
    WaitingSpinnerWidget spinner(nullptr, true, true);
    QVERIFY(spinner.isHidden());
    QVERIFY(!spinner.isSpinning());
    QCOMPARE(spinner.size(), QSize(40, 40));
    QCOMPARE(spinner.minimumSize(), spinner.maximumSize());
    QCOMPARE(timerOf(spinner)->interval(), 31);
    QVERIFY(!timerOf(spinner)->isActive());

    configure(spinner);
    QCOMPARE(spinner.size(), QSize(48, 48));
    QCOMPARE(spinner.maximumSize(), QSize(48, 48));
    QCOMPARE(timerOf(spinner)->interval(), 53);

    spinner.setLineWidth(9);
    QCOMPARE(spinner.size(), QSize(48, 48));
}

// clang-format off
void tst_WaitingSpinnerWidget::trailAlpha_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<double>("colorAlpha");
    QTest::addColumn<int>("distance");
    QTest::addColumn<double>("alpha");

    const double step12 = (1.0 - minAlpha) / 10;
    QTest::newRow("leading bar keeps the colour") << 12 << 1.0 << 0 << 1.0;
    QTest::newRow("12 bars: one behind") << 12 << 1.0 << 1 << 1.0 - step12;
    QTest::newRow("12 bars: last inside threshold 9") << 12 << 1.0 << 9 << 1.0 - 9 * step12;
    QTest::newRow("12 bars: beyond threshold") << 12 << 1.0 << 10 << minAlpha;
    QTest::newRow("12 bars: farthest") << 12 << 1.0 << 11 << minAlpha;
    const double step20 = (1.0 - minAlpha) / 17;
    QTest::newRow("20 bars: last inside threshold 16") << 20 << 1.0 << 16 << 1.0 - 16 * step20;
    QTest::newRow("20 bars: beyond threshold") << 20 << 1.0 << 17 << minAlpha;
    QTest::newRow("half alpha: leading bar") << 12 << 0.5 << 0 << 0.5;
    QTest::newRow("half alpha: fades from 0.5")
        << 12 << 0.5 << 1 << 0.5 - (0.5 - minAlpha) / 10;
    QTest::newRow("half alpha: beyond threshold") << 12 << 0.5 << 11 << minAlpha;
}
// clang-format on

void tst_WaitingSpinnerWidget::trailAlpha()
{
    QFETCH(int, lineCount);
    QFETCH(double, colorAlpha);
    QFETCH(int, distance);
    QFETCH(double, alpha);

    QColor color(10, 20, 30);
    color.setAlphaF(colorAlpha);
    const QColor result
        = WaitingSpinnerWidget::lineColor(distance, lineCount, 80.0, 3.141592653589793, color);
    QCOMPARE(result.rgb(), color.rgb());
    // QColor keeps its alpha in 16 bits.
    QVERIFY2(qAbs(result.alphaF() - alpha) < 1e-4,
             qPrintable(QString::number(result.alphaF(), 'g', 10)));
}

// clang-format off
void tst_WaitingSpinnerWidget::roundnessClamped_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<double>("stored");

    QTest::newRow("above 100 is limited") << 150.0 << 100.0;
    QTest::newRow("below 0 is limited") << -5.0 << 0.0;
    QTest::newRow("inside is kept") << 60.0 << 60.0;
}
// clang-format on

void tst_WaitingSpinnerWidget::roundnessClamped()
{
    QFETCH(double, requested);
    QFETCH(double, stored);

    WaitingSpinnerWidget spinner(nullptr, false, false);
    spinner.setRoundness(requested);
    QCOMPARE(spinner.roundness(), stored);
}

// clang-format off
void tst_WaitingSpinnerWidget::startCentresAndDisables_data()
{
    QTest::addColumn<bool>("withParent");
    QTest::addColumn<bool>("centerOnParent");
    QTest::addColumn<bool>("disableParent");
    QTest::addColumn<QPoint>("position");

    QTest::newRow("both flags: centred, parent disabled")
        << true << true << true << QPoint(126, 76);
    QTest::newRow("no flags: left in place, parent enabled")
        << true << false << false << QPoint(5, 7);
    QTest::newRow("centring only") << true << true << false << QPoint(126, 76);
    QTest::newRow("disabling only") << true << false << true << QPoint(5, 7);
    QTest::newRow("no parent: neither") << false << true << true << QPoint(5, 7);
}
// clang-format on

void tst_WaitingSpinnerWidget::startCentresAndDisables()
{
    QFETCH(bool, withParent);
    QFETCH(bool, centerOnParent);
    QFETCH(bool, disableParent);
    QFETCH(QPoint, position);

    QWidget parent;
    parent.resize(300, 201);
    WaitingSpinnerWidget spinner(withParent ? &parent : nullptr, centerOnParent, disableParent);
    configure(spinner);
    spinner.move(5, 7);

    spinner.start();
    QCOMPARE(spinner.pos(), position);
    QVERIFY(!spinner.isHidden());
    QVERIFY(spinner.isSpinning());
    QVERIFY(timerOf(spinner)->isActive());
    QCOMPARE(parent.isEnabled(), !(withParent && disableParent));

    spinner.stop();
    QVERIFY(spinner.isHidden());
    QVERIFY(!spinner.isSpinning());
    QVERIFY(!timerOf(spinner)->isActive());
    QVERIFY(parent.isEnabled());
}

void tst_WaitingSpinnerWidget::startWhileSpinningKeepsLeadingBar()
{
    QWidget parent;
    parent.resize(300, 201);
    WaitingSpinnerWidget spinner(&parent, true, true);
    configure(spinner);
    spinner.start();
    advance(spinner, 2);

    parent.resize(200, 100);
    parent.setEnabled(true);
    spinner.start();
    QCOMPARE(spinner.currentLine(), 2);
    QVERIFY(timerOf(spinner)->isActive());
    QCOMPARE(spinner.pos(), QPoint(76, 26));
    QVERIFY(!parent.isEnabled());

    spinner.stop();
    QCOMPARE(spinner.currentLine(), 0);
    spinner.start();
    QCOMPARE(spinner.currentLine(), 0);
}

void tst_WaitingSpinnerWidget::stopWithoutStart()
{
    QWidget parent;
    WaitingSpinnerWidget spinner(&parent, true, true);
    configure(spinner);
    advance(spinner, 3);
    parent.setEnabled(false);
    spinner.show();

    spinner.stop();
    QVERIFY(spinner.isHidden());
    QVERIFY(parent.isEnabled());
    QCOMPARE(spinner.currentLine(), 3);
}

void tst_WaitingSpinnerWidget::setLineCountWhileSpinning()
{
    WaitingSpinnerWidget spinner(nullptr, true, true);
    spinner.start();
    advance(spinner, 15);
    QCOMPARE(spinner.currentLine(), 15);

    spinner.setLineCount(12);
    QCOMPARE(spinner.currentLine(), 0);
    QVERIFY(timerOf(spinner)->isActive());
    QCOMPARE(timerOf(spinner)->interval(), 53);

    advance(spinner, 11);
    QCOMPARE(spinner.currentLine(), 11);
    advance(spinner, 1);
    QCOMPARE(spinner.currentLine(), 0);
    spinner.stop();
}

void tst_WaitingSpinnerWidget::timerTurnsTheRing()
{
    WaitingSpinnerWidget spinner(nullptr, true, true);
    spinner.start();
    QTRY_VERIFY(spinner.currentLine() > 0);
    spinner.stop();
}

// clang-format off
void tst_WaitingSpinnerWidget::paintedBars_data()
{
    QTest::addColumn<int>("lineWidth");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<double>("alpha");

    // Centre (24, 24); bar 0 points right and leads, bar 3 points down and trails by 9,
    // bar 9 points up and trails by 3.
    const double step = (1.0 - minAlpha) / 10;
    QTest::newRow("leading bar points right") << 4 << QPoint(42, 24) << 1.0;
    QTest::newRow("bar below trails by 9") << 4 << QPoint(24, 42) << 1.0 - 9 * step;
    QTest::newRow("bar above trails by 3") << 4 << QPoint(24, 6) << 1.0 - 3 * step;
    QTest::newRow("empty centre") << 4 << QPoint(24, 24) << 0.0;
    QTest::newRow("inside the inner radius") << 4 << QPoint(34, 24) << 0.0;
    QTest::newRow("even width: top edge -2") << 4 << QPoint(42, 22) << 1.0;
    QTest::newRow("even width: above the bar") << 4 << QPoint(42, 21) << 0.0;
    QTest::newRow("even width: bottom edge +2") << 4 << QPoint(42, 25) << 1.0;
    QTest::newRow("even width: below the bar") << 4 << QPoint(42, 26) << 0.0;
    QTest::newRow("odd width: top edge -1") << 3 << QPoint(42, 23) << 1.0;
    QTest::newRow("odd width: above the bar") << 3 << QPoint(42, 22) << 0.0;
    QTest::newRow("odd width: bottom edge +2") << 3 << QPoint(42, 25) << 1.0;
    QTest::newRow("odd width: below the bar") << 3 << QPoint(42, 26) << 0.0;
}
// clang-format on

void tst_WaitingSpinnerWidget::paintedBars()
{
    QFETCH(int, lineWidth);
    QFETCH(QPoint, pixel);
    QFETCH(double, alpha);

    WaitingSpinnerWidget spinner(nullptr, true, true);
    configure(spinner);
    spinner.setLineWidth(lineWidth);
    spinner.setColor(Qt::red);

    const QColor painted = paint(spinner).pixelColor(pixel);
    QVERIFY2(qAbs(painted.alphaF() - alpha) < 0.01, qPrintable(QString::number(painted.alphaF())));
    if (alpha > 0.5)
        QCOMPARE(painted.rgb(), QColor(Qt::red).rgb());
}

QTEST_MAIN(tst_WaitingSpinnerWidget)
#include "tst_waitingspinnerwidget.moc"
