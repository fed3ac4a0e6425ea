#include "printabledocument.h"

#include "popplerqt.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <memory>

PrintableDocument::PrintableDocument(const QString &fileName)
{
    const QFileInfo info(fileName);
    QFile file(fileName);
    if (!info.exists()) {
        m_problem = QStringLiteral("the file does not exist");
    } else if (info.isDir()) {
        m_problem = QStringLiteral("it is a folder, not a file");
    } else if (!file.open(QIODevice::ReadOnly)) {
        m_problem = file.errorString();
    } else {
        // Poppler reads it by name again; the open above only tells an unreadable file apart.
        file.close();
        const std::unique_ptr<Poppler::Document> document(Poppler::Document::load(fileName));
        if (!document)
            m_problem = QStringLiteral("it is not a PDF document");
        else if (document->isLocked())
            m_problem = QStringLiteral("it is protected by a password");
        else if (document->numPages() < 1)
            m_problem = QStringLiteral("it has no pages");
        else
            m_pageCount = document->numPages();
    }
    if (isPrintable())
        qDebug() << "PrintableDocument pageCount=" << m_pageCount;
    else
        qDebug() << "PrintableDocument problem=" << m_problem;
}
