#pragma once

#include "pageselection.h"

#include <QPrintDialog>

// Qt's print dialog, kept open when its choice of pages leaves no page of the document to print
// (the odd pages of "2 to 2", a "Pages" field beyond the last page), as Qt keeps it open for a
// "Pages" field it cannot read: such a job would print nothing and still count as printed.
class PrintDialog : public QPrintDialog
{
    Q_OBJECT

public:
    PrintDialog(QPrinter *printer, int pageCount);

    void done(int result) override;
    // The pages that the accepted dialog's choices select; none before it was accepted.
    const PageSelection &chosenPages() const { return m_chosenPages; }

private:
    int m_pageCount;
    PageSelection m_chosenPages;
};
