#include "assembledwindow.h"

#include "widgets/busyindicator.h"

AssembledWindow::AssembledWindow(const QUrl &startUrl)
    : busyIndicator(&splashLabel, true, true)
    , page(&window, nullptr)
    , recovery(view, page, startUrl, window, splashLabel, busyIndicator)
{
    window.resize(1280, 768);
    window.addWidget(&splashLabel);
    startBusyIndicator(busyIndicator, Qt::black);
    view.setPage(&page);
    window.addWidget(&view);
}
