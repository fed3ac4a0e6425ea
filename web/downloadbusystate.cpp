#include "downloadbusystate.h"

#include "widgets/busyindicator.h"
#include "widgets/busyoverlay.h"
#include "widgets/busywindow.h"
#include "widgets/waitingspinnerwidget.h"

namespace {

constexpr qint64 progressIntervalMs = 100;

} // namespace

DownloadBusyState::DownloadBusyState(WaitingSpinnerWidget *indicator, QWidget *window)
    : m_indicator(indicator)
    , m_overlay(window ? new BusyOverlay(window) : nullptr)
    , m_window(window ? BusyWindow::of(window) : nullptr)
{
    startBusyIndicator(*m_indicator, Qt::white);
    if (m_overlay) {
        m_overlay->show();
        m_indicator->raise();
    }
    if (m_window)
        m_window->enterBusy();
}

DownloadBusyState::~DownloadBusyState()
{
    delete m_overlay;
    if (m_indicator)
        m_indicator->stop();
    if (m_window)
        m_window->leaveBusy();
}

bool DownloadBusyState::progressDue()
{
    if (!m_overlay || (m_progressClock.isValid() && m_progressClock.elapsed() < progressIntervalMs))
        return false;
    m_progressClock.start();
    return true;
}

void DownloadBusyState::showProgress(const QString &text)
{
    if (m_overlay)
        m_overlay->setText(text);
}

void DownloadBusyState::showStepNow(const QString &text)
{
    if (m_overlay)
        m_overlay->setTextAndPaintNow(text);
}
