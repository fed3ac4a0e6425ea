#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QtGlobal>

#include <functional>

class BusyOverlay;
class BusyWindow;
class OverlayButton;
class QObject;
class QString;
class QWidget;
class WaitingSpinnerWidget;

// One download's busy time, from its start to its end, as one object: the item's own white
// indicator turns over the window, the window's dark backdrop lies under it with a progress
// line and a "Cancel" button for this download, and the download counts among the window's
// busy ones. All of it is undone when this goes.
class DownloadBusyState
{
public:
    // cancel runs from the event loop once "Cancel" has been pressed, unless context has gone.
    DownloadBusyState(WaitingSpinnerWidget *indicator, QWidget *window, QObject *context,
                      const std::function<void()> &cancel);
    ~DownloadBusyState();
    DownloadBusyState(const DownloadBusyState &) = delete;
    DownloadBusyState &operator=(const DownloadBusyState &) = delete;

    // The line under the indicator, redrawn at most ten times a second, however small the
    // chunks.
    void showProgress(const QString &name, qint64 received, qint64 total);
    // For a line that must be on the screen before the GUI thread blocks. While it waits for
    // a tool nothing could react to "Cancel": the button goes.
    void showToolStepNow(const QString &text);
    // While a file dialog of the download is open, which has a Cancel of its own.
    void setCancelShown(bool shown);

private:
    // The window may go first and take its children with it.
    QPointer<WaitingSpinnerWidget> m_indicator;
    QPointer<BusyOverlay> m_overlay;
    // This download's line on the overlay, and its Cancel.
    QPointer<OverlayButton> m_cancel;
    QPointer<BusyWindow> m_window;
    QElapsedTimer m_progressClock;
};
