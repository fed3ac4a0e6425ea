#include "busywindow.h"

#include <QGuiApplication>
#include <QWidget>

BusyWindow::BusyWindow(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    setObjectName(QStringLiteral("busyWindow"));
}

BusyWindow::~BusyWindow()
{
    // The window goes while jobs are still busy: the cursor is the application's, not its.
    if (m_busyJobs > 0)
        QGuiApplication::restoreOverrideCursor();
}

BusyWindow *BusyWindow::of(QWidget *window)
{
    auto *busy
        = window->findChild<BusyWindow *>(QStringLiteral("busyWindow"), Qt::FindDirectChildrenOnly);
    return busy ? busy : new BusyWindow(window);
}

void BusyWindow::enterBusy()
{
    if (m_busyJobs++ == 0)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    apply();
}

void BusyWindow::leaveBusy()
{
    if (--m_busyJobs == 0)
        QGuiApplication::restoreOverrideCursor();
    apply();
}

void BusyWindow::apply()
{
    m_window->setEnabled(m_busyJobs == 0 || m_openDialogs > 0);
}

BusyWindow::OpenDialog::OpenDialog(QWidget *window)
    : m_busyWindow(window ? BusyWindow::of(window) : nullptr)
{
    if (m_busyWindow) {
        ++m_busyWindow->m_openDialogs;
        m_busyWindow->apply();
    }
}

BusyWindow::OpenDialog::~OpenDialog()
{
    if (m_busyWindow) {
        --m_busyWindow->m_openDialogs;
        m_busyWindow->apply();
    }
}
