#pragma once

#include <QObject>

class QWidget;

// What the busy jobs of one window share: the window is disabled and the wait cursor shows
// while any of them is busy. Each job shows its own indicator; the count decides for all.
class BusyWindow : public QObject
{
    Q_OBJECT

public:
    // The window's own, made on first use; it goes with the window.
    static BusyWindow *of(QWidget *window);
    ~BusyWindow() override;

    void enterBusy();
    void leaveBusy();

private:
    explicit BusyWindow(QWidget *window);
    void apply();

    QWidget *m_window;
    int m_busyJobs = 0;
};
