#include "demoinstrument/democontent.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>
#include <QtEndian>

namespace {

// Button geometry in CSS pixels of a 1280 x 768 view, which end-to-end tests click blindly:
// a header 0..160, then three 360 x 96 buttons at x 40..400, stacked from y 200 with 32 px gaps:
//   report.csv  y 200..296 (centre 220, 248)
//   print.pdf   y 328..424 (centre 220, 376)
//   results.zip y 456..552 (centre 220, 504)
//   status      y 584..680 (centre 220, 632), a page of the interface, no download
// The query items sit to the right (x 440..1240), so a long list never moves the buttons.
const char startPageHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Kestrion® demo instrument</title>
<style>
body { margin: 0; font-family: sans-serif; background: #eef1f4; color: #1d2a36; }
header { position: absolute; left: 0; top: 0; width: 1280px; height: 160px;
         box-sizing: border-box; padding: 0 40px; background: #1d2a36; color: #ffffff; }
h1 { margin: 0; font-size: 40px; line-height: 160px; }
a.button { position: absolute; left: 40px; width: 360px; height: 96px; box-sizing: border-box;
           display: block; border-radius: 8px; background: #0a6ebd; color: #ffffff;
           font-size: 28px; line-height: 96px; text-align: center; text-decoration: none; }
a.button:active { background: #07548f; }
#report { top: 200px; }
#print { top: 328px; }
#results { top: 456px; }
#status { top: 584px; }
section { position: absolute; left: 440px; top: 200px; width: 800px; height: 528px;
          overflow: auto; font-size: 22px; }
h2 { margin: 0 0 16px 0; font-size: 24px; }
li { margin-bottom: 8px; }
</style>
</head>
<body>
<header><h1>Kestrion® demo instrument</h1></header>
<a class="button" id="report" href="/downloads/report.csv">Report (CSV)</a>
<a class="button" id="print" href="/downloads/print.pdf">Print (PDF)</a>
<a class="button" id="results" href="/downloads/results.zip">Results (ZIP)</a>
<a class="button" id="status" href="/Quorin/?view=status">Status</a>
<section>
<h2>Query items received</h2>
)";

// A page script may start two downloads at once; the end-to-end tests have it do so with the
// key "2".
const char startPageTail[] = R"(</section>
<script>
document.addEventListener('keydown', function (event) {
    if (event.key === '2') {
        document.getElementById('report').click();
        document.getElementById('results').click();
    }
});
</script>
</body>
</html>
)";

QByteArray littleEndian16(quint16 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

QByteArray DemoContent::startPage(const QUrlQuery &query)
{
    const QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    QString list;
    if (items.isEmpty()) {
        list = QStringLiteral("<p>None</p>\n");
    } else {
        list = QStringLiteral("<ul>\n");
        for (const QPair<QString, QString> &item : items)
            list += QStringLiteral("<li>") + item.first.toHtmlEscaped() + QStringLiteral(" = ")
                    + item.second.toHtmlEscaped() + QStringLiteral("</li>\n");
        list += QStringLiteral("</ul>\n");
    }
    return startPageHead + list.toUtf8() + startPageTail;
}

QByteArray DemoContent::reportCsv()
{
    return "sample,position,analyte,result,unit\n"
           "S-0001,A1,glucose,5.12,mmol/L\n"
           "S-0002,A2,glucose,4.87,mmol/L\n"
           "S-0003,A3,glucose,6.03,mmol/L\n"
           "S-0004,A4,glucose,5.46,mmol/L\n";
}

QByteArray DemoContent::printPdf()
{
    // Six pages with text of their own, so that a printed page range, and the odd or even pages
    // of it, show which pages came; the last page lies beyond a range in the middle.
    const QList<QByteArray> pageTexts = {
        "Page 1 of 6: sample list",     "Page 2 of 6: calibration", "Page 3 of 6: results",
        "Page 4 of 6: quality control", "Page 5 of 6: comments",    "Page 6 of 6: signatures",
    };
    const int pageCount = pageTexts.size();
    const int fontObject = 3 + 2 * pageCount;
    QByteArray kids;
    for (int page = 0; page < pageCount; ++page)
        kids += (page ? " " : "") + QByteArray::number(3 + 2 * page) + " 0 R";

    QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pageCount) + " >>",
    };
    for (int page = 0; page < pageCount; ++page) {
        const QByteArray text = "BT /F1 28 Tf 72 740 Td (Kestrion demo instrument) Tj "
                                "/F1 16 Tf 0 -40 Td ("
                                + pageTexts.at(page) + ") Tj ET";
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents "
                       + QByteArray::number(4 + 2 * page) + " 0 R /Resources << /Font << /F1 "
                       + QByteArray::number(fontObject) + " 0 R >> >> >>");
        objects.append("<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text
                       + "\nendstream");
    }
    objects.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

    // The binary comment line marks the file as binary for transfer programs.
    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const int xrefOffset = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
           + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xrefOffset) + "\n%%EOF\n";
    return pdf;
}

QByteArray DemoContent::resultsZip()
{
    const QList<QPair<QByteArray, QByteArray>> files = {
        {"summary.txt", "Run 42: 4 samples measured, 0 errors.\n"},
        {"measurements.txt", "S-0001 5.12\nS-0002 4.87\nS-0003 6.03\nS-0004 5.46\n"},
    };
    // 2024-01-15 12:00:00 in MS-DOS form, so that the archive is the same on every run.
    const quint16 dosTime = 12 << 11;
    const quint16 dosDate = ((2024 - 1980) << 9) | (1 << 5) | 15;
    const quint16 versionNeeded = 10; // stored entries only

    QByteArray archive;
    QByteArray directory;
    for (const QPair<QByteArray, QByteArray> &file : files) {
        const QByteArray &name = file.first;
        const QByteArray &content = file.second;
        // The fields that the local header and the central directory entry share.
        const QByteArray common
            = littleEndian16(versionNeeded) + littleEndian16(0) // flags
              + littleEndian16(0)                               // method: stored
              + littleEndian16(dosTime) + littleEndian16(dosDate) + littleEndian32(crc32(content))
              + littleEndian32(quint32(content.size())) + littleEndian32(quint32(content.size()))
              + littleEndian16(quint16(name.size())) + littleEndian16(0);
        // After the shared fields: comment length, disk, internal and external attributes, and
        // where the local header starts.
        directory += littleEndian32(0x02014b50) + littleEndian16(versionNeeded) + common
                     + littleEndian16(0) + littleEndian16(0) + littleEndian16(0) + littleEndian32(0)
                     + littleEndian32(quint32(archive.size())) + name;
        archive += littleEndian32(0x04034b50) + common + name + content;
    }
    const QByteArray end = littleEndian32(0x06054b50) + littleEndian16(0) + littleEndian16(0)
                           + littleEndian16(quint16(files.size()))
                           + littleEndian16(quint16(files.size()))
                           + littleEndian32(quint32(directory.size()))
                           + littleEndian32(quint32(archive.size())) + littleEndian16(0);
    return archive + directory + end;
}

quint32 DemoContent::crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffU;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
    }
    return ~crc;
}
