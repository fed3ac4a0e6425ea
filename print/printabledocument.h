#pragma once

#include <QString>

// The file that the shell hands over, checked before anything is shown or sent: it must be a
// PDF that opens without a password and has pages.
class PrintableDocument
{
public:
    explicit PrintableDocument(const QString &fileName);

    bool isPrintable() const { return m_problem.isEmpty(); }
    int pageCount() const { return m_pageCount; }
    // Why the file cannot be printed, as a phrase for "… cannot be printed: <problem>."
    QString problem() const { return m_problem; }

private:
    int m_pageCount = 0;
    QString m_problem;
};
