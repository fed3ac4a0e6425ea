#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class OverlayButton;

// The one translucent dark backdrop over the main window while downloads are busy, so that the
// white indicator shows on any page. Under the indicator it has one line per busy download that
// says what goes on, and under the lines one "Cancel" per download, with the download's name on
// it while two or more are busy. It stays above whichever page the window brings up meanwhile.
// It only shows: the busy state of the window beneath is not its business.
class BusyOverlay : public QWidget
{
    Q_OBJECT

public:
    // The window's overlay, made for its first line; it goes with its last.
    static BusyOverlay *of(QWidget *window);

    // A line for a download whose own indicator turns in the window's middle; the Cancel it
    // returns, hidden until presented, stands for the line from then on.
    OverlayButton *addLine(QWidget *indicator);
    void removeLine(OverlayButton *line);
    // Schedules a repaint only when the text changed.
    void setText(OverlayButton *line, const QString &text);
    // For a line that must be on the screen before the GUI thread blocks.
    void setTextAndPaintNow(OverlayButton *line, const QString &text);
    // The download's name, for its Cancel once another download is busy too.
    void setName(OverlayButton *line, const QString &name);

    QStringList texts() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Line
    {
        OverlayButton *cancel;
        QPointer<QWidget> indicator;
        QString text;
        QString name;
    };

    explicit BusyOverlay(QWidget *window);
    Line *find(OverlayButton *line);
    void watch(QObject *object);
    void keepOnTop();
    void placeCancels();

    QList<Line> m_lines;
    bool m_raising = false;
};
