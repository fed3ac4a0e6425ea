#include "app/mystackedwidget.h"

#include "shared/modalanswerer.h"

#include <QMessageBox>
#include <QTest>

// Closing the main window ends the program, so only a clear Yes may let it close.
class tst_MyStackedWidget : public QObject
{
    Q_OBJECT

private slots:
    void closeConfirmation_data();
    void closeConfirmation();
};

// clang-format off
void tst_MyStackedWidget::closeConfirmation_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("Yes closes") << int(QMessageBox::Yes) << true;
    QTest::newRow("No keeps the window") << int(QMessageBox::No) << false;
    QTest::newRow("Cancel keeps the window") << int(QMessageBox::Cancel) << false;
    QTest::newRow("Escape keeps the window") << 0 << false;
}
// clang-format on

void tst_MyStackedWidget::closeConfirmation()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);

    MyStackedWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ModalAnswerer answerer(ModalAnswerer::clickButton(answer));
    QCOMPARE(window.close(), closes);
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.seenTitle(), QStringLiteral("Closing the Application ..."));
    QCOMPARE(answerer.seenText(), QStringLiteral("Are you sure?\n"));
    QCOMPARE(window.isVisible(), !closes);
}

QTEST_MAIN(tst_MyStackedWidget)
#include "tst_mystackedwidget.moc"
