#include "assembledwindow.h"

#include "app/loadoutcomehandler.h"

#include <QPalette>
#include <QPixmap>

AssembledWindow::AssembledWindow()
    : splash(window)
    , page(&window, nullptr)
    , newWindows(window, page)
    , watchdog(page, window)
{
    // The splash image is the window's background: every page without one of its own shows it.
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::Window,
                     QBrush(QPixmap(QStringLiteral("splash.png"))));
    window.setPalette(palette);
    window.resize(1280, 768);
    window.setWindowTitle(QString::fromUtf8("Kestrion® Application"));
    view.setPage(&page);
    page.setNewWindowHost(&newWindows);
}

void AssembledWindow::open(const QUrl &startUrl, const QString &address)
{
    chosenAddress = address;
    view.setUrl(startUrl);
    window.addWidget(&view);
    recovery.emplace(view, page, startUrl, splash);
    // Direct: the handler runs inside the emission, as the load's own outcome.
    QObject::connect(&view, &QWebEngineView::loadFinished, &view,
                     LoadOutcomeHandler(view, startUrl, chosenAddress, window, splash, *recovery),
                     Qt::DirectConnection);
    rendererRecovery.emplace(view, startUrl, window);
    QObject::connect(&page, &QWebEnginePage::renderProcessTerminated, &*rendererRecovery,
                     &RendererRecovery::renderProcessTerminated);
    QObject::connect(&*rendererRecovery, &RendererRecovery::startPageLoading, &*recovery,
                     &ConnectionRecovery::limitLoad);
}
