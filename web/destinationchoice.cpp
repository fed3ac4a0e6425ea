#include "destinationchoice.h"

#include "widgets/busywindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>

namespace DestinationChoice {

QString choose(DownloadKind kind, const QString &baseName, const QString &endName,
               const QString &downloadFolder, QWidget *window, QString &unpackFolder)
{
    const QString directory = DownloadNaming::directoryFor(kind, downloadFolder);
    // The download's own folder holds nothing but this download's file.
    const QString defaultFileName
        = kind == DownloadKind::OrdinaryFile
              ? DownloadNaming::uniqueFileName(directory, baseName, endName)
              : directory + baseName + QLatin1Char('.') + endName;
    qDebug() << "DownloadItem::getFileName defaultFileName=" << defaultFileName;
    QString downloadFileName = DownloadNaming::storedFileName(directory, baseName, endName);

    if (kind == DownloadKind::ZipArchive) {
        const BusyWindow::OpenDialog openDialog(window);
        unpackFolder = QFileDialog::getExistingDirectory(
            window, QCoreApplication::translate("DownloadItem", "Select Directory"),
            QDir::homePath(), QFileDialog::ShowDirsOnly);
        if (unpackFolder.isEmpty())
            return QString();
        qDebug() << "DownloadItem::getFileName m_unzipLocation=" << unpackFolder;
    } else if (kind == DownloadKind::OrdinaryFile) {
        const BusyWindow::OpenDialog openDialog(window);
        downloadFileName = QFileDialog::getSaveFileName(
            window, QCoreApplication::translate("DownloadItem", "Save File"), defaultFileName,
            QString(), nullptr, QFileDialog::Options());
        if (downloadFileName.isEmpty())
            return QString();
        qDebug() << "DownloadItem::getFileName selectedFileName=" << downloadFileName;
    }
    qDebug() << "DownloadItem::getFileName downloadFileName=" << downloadFileName;
    return downloadFileName;
}

} // namespace DestinationChoice
