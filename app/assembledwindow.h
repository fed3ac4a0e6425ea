#pragma once

#include "app/connectionrecovery.h"
#include "app/mystackedwidget.h"
#include "app/pagewatchdog.h"
#include "app/rendererrecovery.h"
#include "web/mywebpage.h"
#include "web/newwindowhost.h"
#include "widgets/splashpage.h"

#include <QString>
#include <QWebEngineView>

#include <optional>

// The main window as the program puts it together, in two steps around the connection dialog:
// the constructor builds the window with the splash page turning and a web view with nothing
// loaded yet (the dialog needs the window as its parent); open() loads the start page and from
// then on reacts to every load and every render process that ends. The program and the tests
// build the window only through this, so that a test of the window tests what runs.
struct AssembledWindow
{
    AssembledWindow();
    // chosenAddress is what the user chose in the connection dialog, empty for a host named on
    // the command line.
    void open(const QUrl &startUrl, const QString &chosenAddress);

    MyStackedWidget window;
    SplashPage splash;
    MyWebPage page;
    QWebEngineView view;
    // Shows what the page opens in a new window as a further page of the window.
    NewWindowHost newWindows;
    // Ends the page's render process when its script stops answering, once a page has shown.
    PageWatchdog watchdog;
    // Emptied by the first success.
    QString chosenAddress;
    std::optional<ConnectionRecovery> recovery;
    std::optional<RendererRecovery> rendererRecovery;
};
