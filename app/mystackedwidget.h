#pragma once

#include <QStackedWidget>

// The main window: the splash page and the web view as its two pages. Closing it ends the
// program, so the user is asked first.
class MyStackedWidget : public QStackedWidget
{
public:
    using QStackedWidget::QStackedWidget;
    ~MyStackedWidget() override;

protected:
    void closeEvent(QCloseEvent *event) override;
};
