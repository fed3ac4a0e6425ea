#pragma once

#include "app/connectionrecovery.h"
#include "app/mystackedwidget.h"
#include "web/mywebpage.h"
#include "widgets/waitingspinnerwidget.h"

#include <QLabel>
#include <QUrl>
#include <QWebEngineView>

// The main window's parts that main() puts together: the splash page with its turning
// indicator first, the web view second, and the recovery that brings the page back. Members
// are destroyed in the order main()'s locals are.
struct AssembledWindow
{
    explicit AssembledWindow(const QUrl &startUrl);

    MyStackedWidget window;
    QLabel splashLabel;
    WaitingSpinnerWidget busyIndicator;
    MyWebPage page;
    QWebEngineView view;
    ConnectionRecovery recovery;
};
