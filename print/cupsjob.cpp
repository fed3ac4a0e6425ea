#include "cupsjob.h"

#include "pageselection.h"

#include <QDebug>
#include <QFile>
#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>

#include <cups/cups.h>

namespace {

// Where Qt's CUPS print engine keeps the options of the dialog's CUPS page, as name/value pairs.
constexpr auto cupsOptionsProperty = QPrintEngine::PrintEnginePropertyKey(0xfe00);

QByteArray sidesFor(QPrinter::DuplexMode duplex, QPageLayout::Orientation orientation)
{
    switch (duplex) {
    case QPrinter::DuplexNone:
        return "one-sided";
    case QPrinter::DuplexLongSide:
        return "two-sided-long-edge";
    case QPrinter::DuplexShortSide:
        return "two-sided-short-edge";
    case QPrinter::DuplexAuto:
        break;
    }
    // Turning the sheet over its long edge keeps portrait pages upright.
    return orientation == QPageLayout::Landscape ? "two-sided-short-edge" : "two-sided-long-edge";
}

// The printer's state as CUPS reports it among the destination's options.
QString refusalOf(const char *printerName)
{
    cups_dest_t *destination = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printerName, nullptr);
    if (!destination) {
        return QStringLiteral("the printer was not found (%1)")
            .arg(QString::fromUtf8(cupsLastErrorString()));
    }
    QString refusal;
    const char *state
        = cupsGetOption("printer-state", destination->num_options, destination->options);
    const char *accepting = cupsGetOption("printer-is-accepting-jobs", destination->num_options,
                                          destination->options);
    const char *message
        = cupsGetOption("printer-state-message", destination->num_options, destination->options);
    if (accepting && qstrcmp(accepting, "false") == 0)
        refusal = QStringLiteral("the printer does not accept jobs");
    else if (state && qstrcmp(state, "5") == 0)
        refusal = QStringLiteral("the printer is stopped");
    if (!refusal.isEmpty() && message && *message)
        refusal += QStringLiteral(" (%1)").arg(QString::fromUtf8(message));
    cupsFreeDests(1, destination);
    return refusal;
}

} // namespace

CupsJob::Options CupsJob::optionsFor(const QPrinter &printer, bool printerOffersDuplex,
                                     const PageSelection &pages)
{
    Options options;
    const auto add = [&options](const QByteArray &name, const QByteArray &value) {
        options.append(qMakePair(name, value));
    };
    add("copies", QByteArray::number(printer.copyCount()));
    add("collate", printer.collateCopies() ? "true" : "false");
    // A range goes as the chosen pages themselves, the odd or even ones already picked, so that
    // no filter has to count a page set within it.
    if (pages.hasRange())
        add("page-ranges", pages.cupsRanges());
    else if (pages.pageSet() != PageSelection::PageSet::All)
        add("page-set", pages.pageSet() == PageSelection::PageSet::Odd ? "odd" : "even");
    if (printerOffersDuplex)
        add("sides", sidesFor(printer.duplex(), printer.pageLayout().orientation()));
    const QString media = printer.pageLayout().pageSize().key();
    if (!media.isEmpty())
        add("media", media.toUtf8());
    if (printer.pageLayout().orientation() == QPageLayout::Landscape)
        add("orientation-requested", "4");
    if (printer.colorMode() == QPrinter::GrayScale)
        add("print-color-mode", "monochrome");

    const QStringList dialog = dialogOptions(printer);
    for (int i = 0; i + 1 < dialog.size(); i += 2) {
        const QByteArray name = dialog.at(i).toUtf8();
        if (name != "page-ranges" && name != "page-set")
            add(name, dialog.at(i + 1).toUtf8());
    }
    return options;
}

QStringList CupsJob::dialogOptions(const QPrinter &printer)
{
    return printer.printEngine()->property(cupsOptionsProperty).toStringList();
}

int CupsJob::submit(const QString &printerName, const QString &fileName, const QString &title,
                    const Options &options, QString &errorString)
{
    qDebug() << "CupsJob::submit printer=" << printerName << "options=" << options;
    const QByteArray printer = printerName.toUtf8();
    errorString = refusalOf(printer.constData());
    if (!errorString.isEmpty()) {
        qDebug() << "CupsJob::submit refused=" << errorString;
        return 0;
    }

    int optionCount = 0;
    cups_option_t *cupsOptions = nullptr;
    for (const auto &option : options) {
        optionCount = cupsAddOption(option.first.constData(), option.second.constData(),
                                    optionCount, &cupsOptions);
    }
    const int jobId = cupsPrintFile(printer.constData(), QFile::encodeName(fileName).constData(),
                                    title.toUtf8().constData(), optionCount, cupsOptions);
    cupsFreeOptions(optionCount, cupsOptions);
    if (jobId == 0) {
        errorString = QString::fromUtf8(cupsLastErrorString());
        qDebug() << "CupsJob::submit error=" << errorString;
    } else {
        qDebug() << "CupsJob::submit jobId=" << jobId;
    }
    return jobId;
}
