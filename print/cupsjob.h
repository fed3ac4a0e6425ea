#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class PageSelection;
class QPrinter;

// One print job for CUPS: the PDF itself, as vector data, with the choices of the print dialog
// as job options. The printer's own filters turn it into what the printer needs.
class CupsJob
{
public:
    using Options = QList<QPair<QByteArray, QByteArray>>;

    // The dialog's choices as CUPS job options: copies, collation, the chosen pages, sides (only
    // where the printer offers two-sided printing), media, orientation, colour, and the other
    // options of the dialog's CUPS page (pages per sheet, banners, ...).
    static Options optionsFor(const QPrinter &printer, bool printerOffersDuplex,
                              const PageSelection &pages);
    // The options of the dialog's CUPS page as name/value pairs, as Qt's CUPS print engine
    // keeps them; none for a PDF file.
    static QStringList dialogOptions(const QPrinter &printer);

    // Sends the file as one job; returns its id, or 0 with the reason in errorString. A stopped
    // printer, or one that refuses jobs, gets nothing: the job would only wait there unseen.
    static int submit(const QString &printerName, const QString &fileName, const QString &title,
                      const Options &options, QString &errorString);
};
