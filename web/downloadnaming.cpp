#include "downloadnaming.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>

namespace {

const QString unnamed = QStringLiteral("unnamed_download");

QString offeredPath(const QByteArray &contentDisposition)
{
    // The 22 bytes are `attachment; filename="`, the last one the closing quote: the name is
    // taken by position only, as the instrument always sends exactly this form.
    QByteArray name = contentDisposition.mid(22);
    name.chop(1);
    return QString::fromUtf8(name.constData());
}

// The offered path's last part, split by hand as QFileInfo::completeBaseName() and suffix()
// would: QFileInfo keeps its offsets in 16 bits and splits names of more than 32767 characters
// at the wrong places.
struct OfferedName
{
    explicit OfferedName(const QString &path)
        : fileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1))
        , lastDot(fileName.lastIndexOf(QLatin1Char('.')))
        , baseName(lastDot < 0 ? fileName : fileName.left(lastDot))
        , endName(lastDot < 0 ? QString() : fileName.mid(lastDot + 1))
    {}

    QString fileName;
    int lastDot;
    QString baseName;
    QString endName;
};

} // namespace

namespace DownloadNaming {

void splitOfferedName(const QByteArray &contentDisposition, QString &baseName, QString &endName)
{
    qDebug() << "DownloadItem::providedFileName contentDisposition header=" << contentDisposition;
    const QString path = offeredPath(contentDisposition);
    qDebug() << "DownloadItem::providedFileName path=" << path;
    const OfferedName offered(path);
    baseName = offered.baseName;
    endName = offered.endName;
    qDebug() << "DownloadItem::providedFileName baseName=" << baseName;
    qDebug() << "DownloadItem::providedFileName endName=" << endName;
    // ".." gives the base name "." and no end name, which names "<directory>/..": that always
    // exists, so the proposal goes on to "._1." inside the directory.
    if (baseName.isEmpty()) {
        baseName = unnamed;
        qDebug() << "DownloadItem::providedFileName downloading unknown file:" << path;
    }
}

QString shownName(const QByteArray &contentDisposition)
{
    const OfferedName offered(offeredPath(contentDisposition));
    if (!offered.baseName.isEmpty())
        return offered.fileName;
    return offered.lastDot < 0 ? unnamed : unnamed + QLatin1Char('.') + offered.endName;
}

DownloadKind kindOf(const QString &baseName, const QString &endName)
{
    if (QString::compare(baseName, QLatin1String("print"), Qt::CaseSensitive) == 0
        && QString::compare(endName, QLatin1String("pdf"), Qt::CaseSensitive) == 0)
        return DownloadKind::PrintJob;
    if (QString::compare(endName, QLatin1String("zip"), Qt::CaseSensitive) == 0)
        return DownloadKind::ZipArchive;
    return DownloadKind::OrdinaryFile;
}

QString directoryFor(DownloadKind kind, const QString &downloadFolder)
{
    QString directory = kind == DownloadKind::OrdinaryFile ? QDir::homePath() : downloadFolder;
    if (!directory.isEmpty())
        directory += QLatin1Char('/');
    return directory;
}

QString uniqueFileName(const QString &directory, const QString &baseName, const QString &endName)
{
    QString candidate = directory + baseName + QLatin1Char('.') + endName;
    if (!QFile::exists(candidate))
        return candidate;
    for (qint64 n = 1;; ++n) {
        QString numbered = directory + baseName + QLatin1Char('_') + QString::number(n, 10)
                           + QLatin1Char('.') + endName;
        if (!QFile::exists(numbered))
            return numbered;
    }
}

QString storedFileName(const QString &directory, const QString &baseName, const QString &endName)
{
    // 7za reads "*" and "?" in the archive's name as wildcards, and would unpack every archive
    // that they match in the folder: the stored name keeps them out.
    QString name = baseName + QLatin1Char('.') + endName;
    name.replace(QLatin1Char('*'), QLatin1Char('_')).replace(QLatin1Char('?'), QLatin1Char('_'));
    return directory + name;
}

} // namespace DownloadNaming
