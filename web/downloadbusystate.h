#pragma once

#include <QElapsedTimer>
#include <QPointer>

class BusyOverlay;
class BusyWindow;
class QString;
class QWidget;
class WaitingSpinnerWidget;

// One download's busy time, from its start to its end, as one object: the item's own white
// indicator turns over the window, a dark backdrop with a progress line lies under it, and the
// download counts among the window's busy ones. All of it is undone when this goes.
class DownloadBusyState
{
public:
    DownloadBusyState(WaitingSpinnerWidget *indicator, QWidget *window);
    ~DownloadBusyState();
    DownloadBusyState(const DownloadBusyState &) = delete;
    DownloadBusyState &operator=(const DownloadBusyState &) = delete;

    // True at most ten times a second, so that small chunks do not redraw the line each time.
    bool progressDue();
    void showProgress(const QString &text);
    // For a line that must be on the screen before the GUI thread blocks.
    void showStepNow(const QString &text);

private:
    // The window may go first and take its children with it.
    QPointer<WaitingSpinnerWidget> m_indicator;
    QPointer<BusyOverlay> m_overlay;
    QPointer<BusyWindow> m_window;
    QElapsedTimer m_progressClock;
};
