#include "printdialog.h"

#include "cupsjob.h"

#include <QDebug>
#include <QMessageBox>
#include <QPrinter>

PrintDialog::PrintDialog(QPrinter *printer, int pageCount)
    : QPrintDialog(printer)
    , m_pageCount(pageCount)
    , m_chosenPages(QString(), PageSelection::PageSet::All, 0)
{}

// An accepted dialog has handed its choices to the printer by now.
void PrintDialog::done(int result)
{
    if (result == Accepted) {
        m_chosenPages
            = PageSelection::chosenIn(*printer(), CupsJob::dialogOptions(*printer()), m_pageCount);
        if (m_chosenPages.pages().isEmpty()) {
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
