#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QPrinter;

// The pages of the document that the print dialog's choices select, counted as the document
// counts them: a page range ("Pages from … to", or the "Pages" field that only CUPS reads), and
// of it only the odd or the even pages when a page set is chosen.
class PageSelection
{
public:
    enum class PageSet : quint8 { All, Odd, Even };

    // ranges as CUPS writes them ("2-4,7"), empty for the whole document; pages beyond
    // pageCount are left out.
    PageSelection(const QString &ranges, PageSet pageSet, int pageCount);

    // What the accepted dialog left in the printer and among its CUPS options (name/value
    // pairs).
    static PageSelection chosenIn(const QPrinter &printer, const QStringList &dialogOptions,
                                  int pageCount);

    bool hasRange() const { return m_hasRange; }
    PageSet pageSet() const { return m_pageSet; }
    // In ascending order; empty when the choices leave no page of the document.
    QList<int> pages() const { return m_pages; }
    // The pages as CUPS reads a page range, neighbours joined: "2-4,7", "3,5".
    QByteArray cupsRanges() const;

private:
    bool m_hasRange = false;
    PageSet m_pageSet = PageSet::All;
    QList<int> m_pages;
};
