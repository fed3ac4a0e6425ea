#include "printsession.h"

#include "cupsjob.h"
#include "pageselection.h"
#include "printabledocument.h"
#include "printdialog.h"
#include "realpdftocairo.h"

#include "platform/printhelperstatus.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

namespace {

// Copies, page range and two-sided printing sit behind the dialog's "Options" button, where a
// user who came to choose pages would have to look for them first.
void showOptions(QPrintDialog &dialog)
{
    const auto buttons = dialog.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == QPrintDialog::tr("&Options >>")) {
            button->click();
            return;
        }
    }
}

} // namespace

PrintSession::PrintSession(const QString &fileName)
    : m_fileName(QFileInfo(fileName).absoluteFilePath())
{}

QString PrintSession::noPrinterNotice()
{
    return QStringLiteral("No printer was found. You can print to a PDF file, or add a printer "
                          "in the system's printer settings and try again.");
}

int PrintSession::run()
{
    qDebug() << "PrintSession::run file=" << m_fileName;
    const PrintableDocument document(m_fileName);
    if (!document.isPrintable()) {
        return fail(
            PrintHelperStatus::DocumentNotPrintable,
            QStringLiteral("\"%1\" cannot be printed: %2.").arg(m_fileName, document.problem()));
    }

    // The print dialog proposes its PDF file in the working folder, which for the shell is
    // its own data folder; the user's home is where such a file belongs.
    QDir::setCurrent(QDir::homePath());

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QFileInfo(m_fileName).completeBaseName());
    PrintDialog dialog(&printer, document.pageCount());
    prepareDialog(dialog, document.pageCount());
    if (dialog.exec() != QDialog::Accepted) {
        qDebug() << "PrintSession::run cancelled";
        return PrintHelperStatus::Cancelled;
    }
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return printToFile(printer, document.pageCount());
    return printToCups(printer, dialog.chosenPages());
}

void PrintSession::prepareDialog(QPrintDialog &dialog, int pageCount) const
{
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    qDebug() << "PrintSession::prepareDialog printers=" << printers
             << "default=" << QPrinterInfo::defaultPrinterName() << "pageCount=" << pageCount;

    dialog.setWindowTitle(QStringLiteral("Print"));
    dialog.setMinMax(1, pageCount);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange
                      | QAbstractPrintDialog::PrintCollateCopies
                      | QAbstractPrintDialog::PrintShowPageSize);
    if (printers.isEmpty()) {
        auto *notice = new QLabel(noPrinterNotice(), &dialog);
        notice->setWordWrap(true);
        if (auto *layout = qobject_cast<QBoxLayout *>(dialog.layout()))
            layout->insertWidget(0, notice);
    }

    // The shell's window waits behind this one, blocked until the helper ends: the dialog has
    // to come up in front of it and take the keyboard, and be large enough for a finger.
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    QFont font = dialog.font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    dialog.setFont(font);
    dialog.setStyleSheet(
        QStringLiteral("QPushButton, QComboBox, QLineEdit, QSpinBox { min-height: 2.2em; }"
                       "QPushButton { min-width: 6em; }"));
    showOptions(dialog);
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });
}

int PrintSession::printToFile(const QPrinter &printer, int pageCount)
{
    const bool range = printer.printRange() == QPrinter::PageRange;
    const int firstPage = range ? printer.fromPage() : 1;
    const int lastPage = range ? printer.toPage() : pageCount;
    // Absolute, so that a name the user typed never reads as an option of the tool.
    const QString outputFileName = QFileInfo(printer.outputFileName()).absoluteFilePath();
    qDebug() << "PrintSession::printToFile outputFileName=" << outputFileName
             << "pages=" << firstPage << "-" << lastPage;
    const QString failure
        = QStringLiteral("The pages of \"%1\" could not be written to \"%2\": %3.");
    // The tool would empty the document before it has read it.
    if (QFileInfo(outputFileName).canonicalFilePath() == QFileInfo(m_fileName).canonicalFilePath())
        return fail(
            PrintHelperStatus::OutputFileFailed,
            failure.arg(m_fileName, outputFileName, QStringLiteral("it is the document itself")));

    // The real pdftocairo writes the chosen pages as vector PDF, text and all.
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(RealPdftocairo::locate(),
                 {QStringLiteral("-pdf"), QStringLiteral("-f"), QString::number(firstPage),
                  QStringLiteral("-l"), QString::number(lastPage), m_fileName, outputFileName});
    writer.closeWriteChannel();
    if (!writer.waitForFinished(-1) || writer.exitStatus() != QProcess::NormalExit
        || writer.exitCode() != 0) {
        const QString reason
            = writer.error() == QProcess::FailedToStart
                  ? writer.errorString()
                  : QStringLiteral("pdftocairo ended with status %1").arg(writer.exitCode());
        return fail(PrintHelperStatus::OutputFileFailed,
                    failure.arg(m_fileName, outputFileName, reason));
    }
    qDebug() << "PrintSession::printToFile written=" << outputFileName;
    return PrintHelperStatus::Printed;
}

int PrintSession::printToCups(const QPrinter &printer, const PageSelection &pages)
{
    const QPrinterInfo info(printer);
    const bool offersDuplex = info.supportedDuplexModes().size() > 1;
    QString errorString;
    const int jobId
        = CupsJob::submit(printer.printerName(), m_fileName, QFileInfo(m_fileName).fileName(),
                          CupsJob::optionsFor(printer, offersDuplex, pages), errorString);
    if (jobId == 0) {
        return fail(PrintHelperStatus::JobRefused,
                    QStringLiteral("\"%1\" was not printed: the printer \"%2\" did not take the "
                                   "job: %3.")
                        .arg(m_fileName, printer.printerName(), errorString));
    }
    return PrintHelperStatus::Printed;
}

int PrintSession::fail(int status, const QString &message) const
{
    qDebug() << "PrintSession::fail status=" << status << "message=" << message;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Print"), message, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    return status;
}
