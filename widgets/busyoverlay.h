#pragma once

#include <QString>
#include <QWidget>

// A translucent dark backdrop over the whole main window while a download is busy, so that the
// white indicator shows on any page, with one line under the indicator that says what goes on.
// It only shows: the busy state of the window beneath is not its business.
class BusyOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit BusyOverlay(QWidget *window);

    // Schedules a repaint only when the text changed.
    void setText(const QString &text);
    // For a line that must be on the screen before the GUI thread blocks.
    void setTextAndPaintNow(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
