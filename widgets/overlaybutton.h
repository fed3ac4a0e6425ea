#pragma once

#include <QPointer>
#include <QPushButton>

// A touch-sized button that stays usable over a window that is disabled beneath it. Qt disables
// every child of a disabled widget, so this is a frameless window of its own, kept in its place
// over the other window (its centre offset from the window's centre) while that one moves,
// resizes, hides or shows.
class OverlayButton : public QPushButton
{
    Q_OBJECT

public:
    OverlayButton(const QString &text, QWidget *window, const QPoint &offsetFromCentre);

    // Shows the button whenever the window shows, until withdraw().
    void present();
    void withdraw();
    void setOffsetFromCentre(const QPoint &offset);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QPointer<QWidget> m_window;
    QPoint m_offset;
    bool m_presented = false;
};
