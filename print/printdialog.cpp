#include "printdialog.h"

#include "cupsjob.h"
#include "pageselection.h"

#include <QDebug>
#include <QMessageBox>
#include <QPrinter>

PrintDialog::PrintDialog(QPrinter *printer, int pageCount)
    : QPrintDialog(printer)
    , m_pageCount(pageCount)
{}

// An accepted dialog has handed its choices to the printer by now.
void PrintDialog::done(int result)
{
    if (result == Accepted) {
        const PageSelection pages
            = PageSelection::chosenIn(*printer(), CupsJob::dialogOptions(*printer()), m_pageCount);
        if (pages.pages().isEmpty()) {
            qDebug() << "PrintDialog::done no page chosen";
            QMessageBox box(QMessageBox::Warning, windowTitle(),
                            QStringLiteral("No page of the document is among the chosen pages. "
                                           "Choose other pages or another page set."),
                            QMessageBox::Ok, this);
            box.exec();
            // Without a window manager, nothing else gives the keyboard back to the dialog.
            activateWindow();
            return;
        }
    }
    QPrintDialog::done(result);
}
