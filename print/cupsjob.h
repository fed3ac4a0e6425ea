#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QPrinter;

// One print job for CUPS: the PDF itself, as vector data, with the choices of the print dialog
// as job options. The printer's own filters turn it into what the printer needs.
class CupsJob
{
public:
    using Options = QList<QPair<QByteArray, QByteArray>>;

    // The dialog's choices as CUPS job options: copies, collation, page range, sides (only where
    // the printer offers two-sided printing), media, orientation, colour, and the options of the
    // dialog's CUPS page (page set, pages per sheet, banners, ...).
    static Options optionsFor(const QPrinter &printer, bool printerOffersDuplex);

    // Sends the file as one job; returns its id, or 0 with the reason in errorString. A stopped
    // printer, or one that refuses jobs, gets nothing: the job would only wait there unseen.
    static int submit(const QString &printerName, const QString &fileName, const QString &title,
                      const Options &options, QString &errorString);
};
