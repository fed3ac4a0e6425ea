#include "app/commandline.h"
#include "app/connectionrecovery.h"
#include "app/loadoutcomehandler.h"
#include "app/mystackedwidget.h"
#include "app/rendererrecovery.h"
#include "app/startup.h"
#include "dialogs/selectconnectiondialog.h"
#include "platform/heapretention.h"
#include "platform/processexit.h"
#include "web/mywebpage.h"
#include "widgets/busyindicator.h"
#include "widgets/waitingspinnerwidget.h"

#include <QApplication>
#include <QDebug>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QWebEngineView>

// Every object here lives until exit(): nothing relies on main()'s destructors.
int main(int argc, char *argv[])
{
    keepLargeBlocksOutOfHeap();
    QApplication application(argc, argv);

    removeWebEngineFolders();

    StartParameters start = composeStartParameters(QCoreApplication::arguments());

    QPixmap splashPixmap(QStringLiteral("splash.png"));
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(splashPixmap));

    MyStackedWidget mainWindow;
    mainWindow.setPalette(palette);
    mainWindow.resize(1280, 768);
    mainWindow.setWindowTitle(QString::fromUtf8("Kestrion® Application"));

    QLabel splashLabel;
    mainWindow.addWidget(&splashLabel);

    WaitingSpinnerWidget busyIndicator(&splashLabel, true, true);
    startBusyIndicator(busyIndicator, Qt::black);

    MyWebPage page(&mainWindow, nullptr);
    QWebEngineView view;
    view.setPage(&page);

    QString chosenAddress;
    if (!start.hostNamed) {
        SelectConnectionDialog dialog(&mainWindow);
        dialog.setWindowFlags(Qt::Sheet);
        // Cancelling ends the process inside exec(); returning means the user accepted.
        dialog.exec();
        chosenAddress = dialog.m_ipAddress;
        applyChosenAddress(start, chosenAddress);
    }
    completeStartUrl(start);
    qDebug() << "main() url=" << start.url;

    view.setUrl(start.url);
    mainWindow.addWidget(&view);
    ConnectionRecovery connectionRecovery(view, page, start.url, mainWindow, splashLabel,
                                          busyIndicator);
    QObject::connect(&view, &QWebEngineView::loadFinished, &view,
                     LoadOutcomeHandler(view, start.url, chosenAddress, mainWindow, splashLabel,
                                        busyIndicator, connectionRecovery),
                     Qt::DirectConnection);
    RendererRecovery rendererRecovery(view, start.url, mainWindow);
    QObject::connect(&page, &QWebEnginePage::renderProcessTerminated, &rendererRecovery,
                     &RendererRecovery::renderProcessTerminated);
    mainWindow.show();

    const int result = QApplication::exec();
    qDebug() << "main() exiting .. result=" << result;
    exitProcess(result);
}
