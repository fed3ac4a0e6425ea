#include "app/assembledwindow.h"
#include "app/commandline.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "dialogs/selectconnectiondialog.h"
#include "platform/heapretention.h"
#include "platform/processexit.h"

#include <QApplication>
#include <QDebug>

// Every object here lives until exit(): nothing relies on main()'s destructors.
int main(int argc, char *argv[])
{
    keepLargeBlocksOutOfHeap();
    QApplication application(argc, argv);

    // Before anything is removed or asked: a second start only brings the first forward.
    SingleInstance singleInstance;
    if (!singleInstance.claim())
        exitProcess(0);
    removeWebEngineFolders();

    StartParameters start = composeStartParameters(QCoreApplication::arguments());

    // The window with its splash page turning, and the web view with nothing loaded yet.
    AssembledWindow shell;

    QString chosenAddress;
    if (!start.hostNamed) {
        SelectConnectionDialog dialog(&shell.window);
        dialog.setWindowFlags(Qt::Sheet);
        // Cancelling ends the process inside exec(); returning means the user accepted.
        dialog.exec();
        chosenAddress = dialog.m_ipAddress;
        applyChosenAddress(start, chosenAddress);
    }
    completeStartUrl(start);
    qDebug() << "main() url=" << start.url;

    // The start page loads behind the splash page; every outcome is reacted to from here on.
    shell.open(start.url, chosenAddress);
    shell.window.show();
    singleInstance.setWindow(&shell.window);

    const int result = QApplication::exec();
    qDebug() << "main() exiting .. result=" << result;
    exitProcess(result);
}
