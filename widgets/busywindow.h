#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// What the busy jobs of one window share: the window is disabled and the wait cursor shows
// while any of them is busy. Each job shows its own indicator; the count decides for all. A
// file dialog of a job is the window's child, and a disabled window disables it too: while one
// is open the window stays enabled, and the dialog's modality keeps it from taking input.
class BusyWindow : public QObject
{
    Q_OBJECT

public:
    // The window's own, made on first use; it goes with the window.
    static BusyWindow *of(QWidget *window);
    ~BusyWindow() override;

    void enterBusy();
    void leaveBusy();

    // For as long as it lives, a file dialog of a busy job may be open.
    class OpenDialog
    {
    public:
        explicit OpenDialog(QWidget *window);
        ~OpenDialog();
        OpenDialog(const OpenDialog &) = delete;
        OpenDialog &operator=(const OpenDialog &) = delete;

    private:
        QPointer<BusyWindow> m_busyWindow;
    };

private:
    explicit BusyWindow(QWidget *window);
    void apply();

    QWidget *m_window;
    int m_busyJobs = 0;
    int m_openDialogs = 0;
};
