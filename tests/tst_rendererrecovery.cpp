#include "app/rendererrecovery.h"

#include <QTest>

// A stopped page is loaded again three times within a minute; the fourth time the user is asked.
class tst_RendererRecovery : public QObject
{
    Q_OBJECT

private slots:
    void admitRecovery_data();
    void admitRecovery();
};

// clang-format off
void tst_RendererRecovery::admitRecovery_data()
{
    // Moments of render process ends, in seconds, and which of them are loaded again.
    QTest::addColumn<QList<int>>("endsAt");
    QTest::addColumn<QList<bool>>("reloaded");

    QTest::newRow("the fourth within a minute asks")
        << QList<int>{0, 1, 2, 3} << QList<bool>{true, true, true, false};
    QTest::newRow("the first falls out of the minute")
        << QList<int>{0, 30, 59, 60} << QList<bool>{true, true, true, true};
    QTest::newRow("a question does not count as a recovery")
        << QList<int>{0, 1, 2, 3, 4, 61} << QList<bool>{true, true, true, false, false, true};
    QTest::newRow("a page that ran a minute starts again from zero")
        << QList<int>{0, 1, 2, 62, 63, 64, 65}
        << QList<bool>{true, true, true, true, true, true, false};
}
// clang-format on

void tst_RendererRecovery::admitRecovery()
{
    QFETCH(QList<int>, endsAt);
    QFETCH(QList<bool>, reloaded);

    QList<qint64> recentRecoveries;
    QList<bool> actual;
    for (int second : endsAt)
        actual << RendererRecovery::admitRecovery(recentRecoveries, second * qint64(1000));
    QCOMPARE(actual, reloaded);
}

QTEST_APPLESS_MAIN(tst_RendererRecovery)
#include "tst_rendererrecovery.moc"
