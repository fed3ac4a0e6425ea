#include "downloadbusystate.h"

#include "web/downloadmessages.h"

#include "widgets/busyindicator.h"
#include "widgets/busyoverlay.h"
#include "widgets/busywindow.h"
#include "widgets/overlaybutton.h"
#include "widgets/waitingspinnerwidget.h"

namespace {

constexpr qint64 progressIntervalMs = 100;

} // namespace

DownloadBusyState::DownloadBusyState(WaitingSpinnerWidget *indicator, QWidget *window,
                                     QObject *context, const std::function<void()> &cancel)
    : m_indicator(indicator)
    , m_overlay(window ? BusyOverlay::of(window) : nullptr)
    , m_cancel(m_overlay ? m_overlay->addLine(indicator) : nullptr)
    , m_window(window ? BusyWindow::of(window) : nullptr)
{
    startBusyIndicator(*m_indicator, Qt::white);
    if (m_cancel) {
        // Queued: the click ends the download, and with it this state and the button.
        QObject::connect(m_cancel, &OverlayButton::clicked, context, cancel, Qt::QueuedConnection);
        m_cancel->present();
    }
    if (m_window)
        m_window->enterBusy();
}

DownloadBusyState::~DownloadBusyState()
{
    if (m_overlay && m_cancel) {
        m_overlay->removeLine(m_cancel);
    } else if (m_cancel) {
        // The window went first, and its overlay with it; the button is a window of its own.
        m_cancel->withdraw();
        m_cancel->deleteLater();
    }
    if (m_indicator)
        m_indicator->stop();
    if (m_window)
        m_window->leaveBusy();
}

void DownloadBusyState::showProgress(const QString &name, qint64 received, qint64 total)
{
    if (!m_overlay || (m_progressClock.isValid() && m_progressClock.elapsed() < progressIntervalMs))
        return;
    m_progressClock.start();
    m_overlay->setName(m_cancel, name);
    m_overlay->setText(m_cancel, DownloadMessages::progress(name, received, total));
}

void DownloadBusyState::showToolStepNow(const QString &text)
{
    setCancelShown(false);
    if (m_overlay)
        m_overlay->setTextAndPaintNow(m_cancel, text);
}

void DownloadBusyState::setCancelShown(bool shown)
{
    if (!m_cancel)
        return;
    if (shown)
        m_cancel->present();
    else
        m_cancel->withdraw();
}
