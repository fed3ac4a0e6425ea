#pragma once

#include <QString>

class PageSelection;
class QPrintDialog;
class QPrinter;

// What "pdftocairo -printdlg FILE" does here: shows Qt's print dialog for the PDF and sends it
// to CUPS, or writes the chosen pages to a PDF file. Every failure is shown in a message box
// titled "Print" that names the file, and ends with a status other than 0; so does a cancel.
class PrintSession
{
public:
    explicit PrintSession(const QString &fileName);

    int run();

    // Shown inside the dialog when CUPS names no printer at all.
    static QString noPrinterNotice();

private:
    void prepareDialog(QPrintDialog &dialog, int pageCount) const;
    int printToFile(const QPrinter &printer, int pageCount);
    int printToCups(const QPrinter &printer, const PageSelection &pages);
    int fail(int status, const QString &message) const;

    QString m_fileName;
};
