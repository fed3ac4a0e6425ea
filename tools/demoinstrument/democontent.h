#pragma once

#include <QByteArray>

class QUrlQuery;

// The demo instrument's own page and files, made in code so that no binary needs to be kept.
class DemoContent
{
public:
    // A touch page without scripts or external assets that lists the query items it was given
    // and offers the three downloads, and a link to itself with another query, as large buttons
    // at fixed places.
    static QByteArray startPage(const QUrlQuery &query);
    static QByteArray reportCsv();
    // A valid PDF 1.4 of six pages, each with a text of its own.
    static QByteArray printPdf();
    // A valid zip archive holding two stored text files.
    static QByteArray resultsZip();

private:
    static quint32 crc32(const QByteArray &data);
};
