#include "mystackedwidget.h"

#include <QCloseEvent>
#include <QMessageBox>

MyStackedWidget::~MyStackedWidget() = default;

void MyStackedWidget::closeEvent(QCloseEvent *event)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, QStringLiteral("Closing the Application ..."), tr("Are you sure?\n"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        event->accept();
    else
        event->ignore();
}
