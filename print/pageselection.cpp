#include "pageselection.h"

#include <QPrinter>

#include <vector>

namespace {

QString optionValue(const QStringList &options, const QString &name)
{
    for (int i = 0; i + 1 < options.size(); i += 2) {
        if (options.at(i) == name)
            return options.at(i + 1);
    }
    return QString();
}

PageSelection::PageSet pageSetNamed(const QString &name)
{
    if (name == QLatin1String("odd"))
        return PageSelection::PageSet::Odd;
    if (name == QLatin1String("even"))
        return PageSelection::PageSet::Even;
    return PageSelection::PageSet::All;
}

PageSelection::PageSet otherPageSet(PageSelection::PageSet pageSet)
{
    switch (pageSet) {
    case PageSelection::PageSet::Odd:
        return PageSelection::PageSet::Even;
    case PageSelection::PageSet::Even:
        return PageSelection::PageSet::Odd;
    case PageSelection::PageSet::All:
        break;
    }
    return PageSelection::PageSet::All;
}

} // namespace

PageSelection::PageSelection(const QString &ranges, PageSet pageSet, int pageCount)
    : m_hasRange(!ranges.isEmpty())
    , m_pageSet(pageSet)
{
    std::vector<bool> inRange(size_t(pageCount) + 1, !m_hasRange);
    const QStringList parts = ranges.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QStringList bounds = part.split(QLatin1Char('-'));
        bool firstIsNumber = false;
        bool lastIsNumber = false;
        const int first = bounds.first().trimmed().toInt(&firstIsNumber);
        const int last = bounds.last().trimmed().toInt(&lastIsNumber);
        if (bounds.size() > 2 || !firstIsNumber || !lastIsNumber)
            continue;
        for (int page = qMax(first, 1); page <= qMin(last, pageCount); ++page)
            inRange[size_t(page)] = true;
    }
    for (int page = 1; page <= pageCount; ++page) {
        const bool inSet = pageSet == PageSet::All || (page % 2 == 1) == (pageSet == PageSet::Odd);
        if (inRange[size_t(page)] && inSet)
            m_pages.append(page);
    }
}

PageSelection PageSelection::chosenIn(const QPrinter &printer, const QStringList &dialogOptions,
                                      int pageCount)
{
    const bool fromTo = printer.printRange() == QPrinter::PageRange;
    // The "Pages" field reaches CUPS as an option of its own; "Pages from … to" the printer.
    QString ranges = optionValue(dialogOptions, QStringLiteral("page-ranges"));
    if (ranges.isEmpty() && fromTo)
        ranges = QStringLiteral("%1-%2").arg(printer.fromPage()).arg(printer.toPage());
    PageSet pageSet = pageSetNamed(optionValue(dialogOptions, QStringLiteral("page-set")));
    // Qt's dialog, in Qt 5.15 as in Qt 6.4, counts odd and even from the first page of a range,
    // as for an application that prints only the range, numbered anew from 1: for a range that
    // starts on an even page it hands over the other set. The whole document goes to CUPS here,
    // numbered as it is, so the user's own choice is the other one again.
    if (fromTo && printer.fromPage() % 2 == 0)
        pageSet = otherPageSet(pageSet);
    return PageSelection(ranges, pageSet, pageCount);
}

QByteArray PageSelection::cupsRanges() const
{
    QByteArray ranges;
    for (int first = 0; first < m_pages.size();) {
        int last = first;
        while (last + 1 < m_pages.size() && m_pages.at(last + 1) == m_pages.at(last) + 1)
            ++last;
        if (!ranges.isEmpty())
            ranges += ',';
        ranges += QByteArray::number(m_pages.at(first));
        if (last > first)
            ranges += '-' + QByteArray::number(m_pages.at(last));
        first = last + 1;
    }
    return ranges;
}
