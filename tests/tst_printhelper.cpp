#include "printsession.h"

#include "cupsjob.h"
#include "demoinstrument/democontent.h"
#include "pageselection.h"
#include "platform/printhelperstatus.h"
#include "popplerqt.h"
#include "shared/logcapture.h"
#include "shared/modalanswerer.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The print helper behind the program's "pdftocairo -printdlg FILE": every other call reaches
// the platform's pdftocairo unchanged, a file that is no printable PDF is refused in a message
// box, CUPS gets the pages the user chose, and without any printer the dialog still writes the
// chosen pages to a PDF file.
class tst_PrintHelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void delegation_data();
    void delegation();
    void unprintableDocument_data();
    void unprintableDocument();
    void jobPages_data();
    void jobPages();
    void withoutPrinter_data();
    void withoutPrinter();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void writeRecordingTool(const QString &folder, int status) const;

    QTemporaryDir m_dir;
    QString m_helperFolder;
};

void tst_PrintHelper::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_helperFolder = QFileInfo(QStringLiteral(KESTRION_PRINT_HELPER)).absolutePath();
    // No scheduler answers here: the dialog must find no printer at all.
    qputenv("CUPS_SERVER", QFile::encodeName(path(QStringLiteral("no-scheduler.sock"))));
    QVERIFY(writeFile(path(QStringLiteral("print.pdf")), DemoContent::printPdf()));
}

// A stand-in for the platform's tool: it records its arguments, one per line, and ends with
// the given status.
void tst_PrintHelper::writeRecordingTool(const QString &folder, int status) const
{
    QDir().mkpath(folder);
    const QString tool = folder + QStringLiteral("/pdftocairo");
    QVERIFY(
        writeFile(tool, QStringLiteral("#!/bin/sh\nfor argument; do printf '%s\\n' \"$argument\"; "
                                       "done >'%1'\nexit %2\n")
                            .arg(path(QStringLiteral("recorded.args")))
                            .arg(status)
                            .toUtf8()));
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// clang-format off
void tst_PrintHelper::delegation_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Folders of the search path: "helper" is the helper's own, "self" holds a link to the
    // helper, "first" and "second" hold recording stand-ins that end with 3 and 4. A name in
    // "relative:" goes on the path as it is, relative to the folder the helper starts in,
    // which holds a stand-in that ends with 5.
    QTest::addColumn<QStringList>("searchPath");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("other options go on unchanged")
        << QStringList{"-png", "-r", "72", "in file.pdf", "out"}
        << QStringList{"helper", "first"} << 3;
    QTest::newRow("a print dialog call with more arguments is not ours")
        << QStringList{"-printdlg", "a.pdf", "b"} << QStringList{"helper", "first"} << 3;
    QTest::newRow("no arguments") << QStringList() << QStringList{"helper", "first"} << 3;
    QTest::newRow("empty and odd arguments stay as they are")
        << QStringList{"", " -printdlg", "\xc3\xa9"} << QStringList{"helper", "first"} << 3;
    QTest::newRow("only what comes after the helper's folder counts")
        << QStringList{"-v"} << QStringList{"first", "helper", "second"} << 4;
    QTest::newRow("never itself, not even through a link")
        << QStringList{"-v"} << QStringList{"helper", "self", "helper", "second"} << 4;
    QTest::newRow("relative and empty folders are skipped")
        << QStringList{"-v"} << QStringList{"helper", "relative:first", "relative:", "second"} << 4;
}
// clang-format on

void tst_PrintHelper::delegation()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, searchPath);
    QFETCH(int, expectedStatus);

    writeRecordingTool(path(QStringLiteral("first")), 3);
    writeRecordingTool(path(QStringLiteral("second")), 4);
    writeRecordingTool(m_dir.path(), 5);
    QDir().mkpath(path(QStringLiteral("self")));
    QFile::link(QStringLiteral(KESTRION_PRINT_HELPER), path(QStringLiteral("self/pdftocairo")));
    QFile::remove(path(QStringLiteral("recorded.args")));
    QStringList folders;
    for (const QString &folder : searchPath) {
        if (folder.startsWith(QLatin1String("relative:")))
            folders << folder.mid(9);
        else
            folders << (folder == QLatin1String("helper") ? m_helperFolder : path(folder));
    }

    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), folders.join(QLatin1Char(':')));
    helper.setProcessEnvironment(environment);
    helper.setWorkingDirectory(m_dir.path());
    helper.start(QStringLiteral(KESTRION_PRINT_HELPER), arguments);
    QVERIFY(helper.waitForFinished(30000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), expectedStatus);
    const QByteArray recorded = readFile(path(QStringLiteral("recorded.args")));
    QCOMPARE(QString::fromUtf8(recorded),
             arguments.isEmpty() ? QString() : arguments.join(QLatin1Char('\n')) + '\n');
}

// clang-format off
void tst_PrintHelper::unprintableDocument_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << "missing.pdf" << QByteArray() << "the file does not exist";
    QTest::newRow("a folder") << "folder.pdf" << QByteArray() << "it is a folder, not a file";
    QTest::newRow("text") << "notes.pdf" << QByteArray("sample,result\n")
                          << "it is not a PDF document";
    QTest::newRow("empty") << "empty.pdf" << QByteArray("") << "it is not a PDF document";
}
// clang-format on

void tst_PrintHelper::unprintableDocument()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    const QString fileName = path(name);
    if (name == QLatin1String("folder.pdf"))
        QDir().mkpath(fileName);
    else if (!content.isNull())
        QVERIFY(writeFile(fileName, content));

    ModalAnswerer answerer(ModalAnswerer::clickButton(QMessageBox::Ok));
    const int status = PrintSession(fileName).run();
    QCOMPARE(status, int(PrintHelperStatus::DocumentNotPrintable));
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.seenTitle(), QStringLiteral("Print"));
    QCOMPARE(answerer.seenText(),
             QStringLiteral("\"%1\" cannot be printed: %2.").arg(fileName, reason));
}

// clang-format off
void tst_PrintHelper::jobPages_data()
{
    // What Qt's dialog hands over for a document of six pages: "Pages from … to" in the printer
    // (0 and 0 for "Print all"), the "Pages" field and the page set among its CUPS options, the
    // set counted from the start of the range.
    QTest::addColumn<int>("fromPage");
    QTest::addColumn<int>("toPage");
    QTest::addColumn<QStringList>("dialogOptions");
    // The pages that CUPS is to print, and the options that say so.
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("a range goes as it is")
        << 2 << 5 << QStringList() << QList<int>{2, 3, 4, 5} << QStringList{"page-ranges=2-5"};
    QTest::newRow("odd pages of a range from an even page, counted as the document counts")
        << 2 << 4 << QStringList{"page-set", "even"} << QList<int>{3}
        << QStringList{"page-ranges=3"};
    QTest::newRow("even pages of a range from an even page")
        << 2 << 5 << QStringList{"page-set", "odd"} << QList<int>{2, 4}
        << QStringList{"page-ranges=2,4"};
    QTest::newRow("odd pages of a range from an odd page")
        << 3 << 6 << QStringList{"page-set", "odd"} << QList<int>{3, 5}
        << QStringList{"page-ranges=3,5"};
    QTest::newRow("odd pages of the whole document stay a page set")
        << 0 << 0 << QStringList{"page-set", "odd"} << QList<int>{1, 3, 5}
        << QStringList{"page-set=odd"};
    QTest::newRow("the Pages field with a page set, as Qt 5 hands it over")
        << 0 << 0 << QStringList{"page-ranges", "2-4,6", "page-set", "odd"} << QList<int>{3}
        << QStringList{"page-ranges=3"};
    QTest::newRow("the Pages field with a page set, as Qt 6 hands it over")
        << 2 << 6 << QStringList{"page-ranges", "2-4,6", "page-set", "even"} << QList<int>{3}
        << QStringList{"page-ranges=3"};
    QTest::newRow("pages beyond the document are left out")
        << 0 << 0 << QStringList{"page-ranges", "5-9"} << QList<int>{5, 6}
        << QStringList{"page-ranges=5-6"};
    QTest::newRow("odd pages of a single even page leave nothing")
        << 2 << 2 << QStringList{"page-set", "even"} << QList<int>() << QStringList();
}
// clang-format on

void tst_PrintHelper::jobPages()
{
    QFETCH(int, fromPage);
    QFETCH(int, toPage);
    QFETCH(QStringList, dialogOptions);
    QFETCH(QList<int>, pages);
    QFETCH(QStringList, options);

    QPrinter printer;
    if (fromPage > 0) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(fromPage, toPage);
    }
    const PageSelection selection = PageSelection::chosenIn(printer, dialogOptions, 6);
    QCOMPARE(selection.pages(), pages);
    if (pages.isEmpty())
        return;
    QStringList pageOptions;
    for (const auto &option : CupsJob::optionsFor(printer, false, selection)) {
        if (option.first == "page-ranges" || option.first == "page-set")
            pageOptions << QString::fromUtf8(option.first + '=' + option.second);
    }
    QCOMPARE(pageOptions, options);
}

// clang-format off
void tst_PrintHelper::withoutPrinter_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("the chosen pages are written to a PDF file")
        << true << int(PrintHelperStatus::Printed);
    QTest::newRow("a cancel has a status of its own and writes nothing")
        << false << int(PrintHelperStatus::Cancelled);
}
// clang-format on

void tst_PrintHelper::withoutPrinter()
{
    QFETCH(bool, accept);
    QFETCH(int, expectedStatus);

    const QString output = path(QStringLiteral("pages 2-3.pdf"));
    QFile::remove(output);
    QString notice;
    bool pageSetOffered = true;
    ModalAnswerer answerer([&](QWidget *widget) {
        auto *dialog = qobject_cast<QPrintDialog *>(widget);
        QVERIFY(dialog);
        for (const QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->isVisible() && label->text() == PrintSession::noPrinterNotice())
                notice = label->text();
        }
        // The file gets every page of the range: the dialog offers no page set for it.
        pageSetOffered
            = dialog->findChild<QComboBox *>(QStringLiteral("pageSetCombo"))->isEnabled();
        dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->setText(output);
        dialog->findChild<QRadioButton *>(QStringLiteral("printRange"))->click();
        dialog->findChild<QSpinBox *>(QStringLiteral("to"))->setValue(3);
        dialog->findChild<QSpinBox *>(QStringLiteral("from"))->setValue(2);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
    QCOMPARE(PrintSession(path(QStringLiteral("print.pdf"))).run(), expectedStatus);
    QVERIFY(answerer.answered());
    QCOMPARE(answerer.seenTitle(), QStringLiteral("Print"));
    QCOMPARE(notice, PrintSession::noPrinterNotice());
    QVERIFY(!pageSetOffered);

    if (!accept) {
        QVERIFY(!QFile::exists(output));
        return;
    }
    const std::unique_ptr<Poppler::Document> written(Poppler::Document::load(output));
    QVERIFY(written);
    QCOMPARE(written->numPages(), 2);
    for (int page = 0; page < 2; ++page) {
        const std::unique_ptr<Poppler::Page> writtenPage(written->page(page));
        QVERIFY(writtenPage->text(QRectF()).contains(QStringLiteral("Page %1 of 6").arg(page + 2)));
    }
}

QTEST_MAIN(tst_PrintHelper)
#include "tst_printhelper.moc"
