#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

// A ring of rounded bars shown while something loads: the leading bar is drawn in full colour,
// the bars behind it fade out, and a timer moves the leading bar on clockwise.
class WaitingSpinnerWidget : public QWidget
{
    Q_OBJECT

public:
    WaitingSpinnerWidget(QWidget *parent, bool centerOnParent, bool disableParentWhenSpinning);

    void setColor(const QColor &color);
    void setRoundness(double roundness);
    void setLineCount(int lineCount);
    void setLineLength(int length);
    void setLineWidth(int width);
    void setInnerRadius(int radius);

    bool isSpinning() const { return m_spinning; }
    // Nothing else shows where the trail stands or what became of a roundness out of range;
    // the tests read both here.
    int currentLine() const { return m_currentLine; }
    double roundness() const { return m_roundness; }

    // Steps by which bar lineIndex trails the leading bar, from 0 to lineCount - 1.
    static int lineDistance(int lineIndex, int leadingLine, int lineCount);
    // The colour of a bar that trails the leading bar by distance steps; only the alpha changes.
    static QColor lineColor(int distance, int lineCount, double trailFadePercent,
                            double minTrailOpacity, QColor color);

public slots:
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent *) override;

private slots:
    void rotate();

private:
    void moveToParentCenter();
    void updateSize();
    void updateTimer();

    QColor m_color = Qt::black;
    double m_roundness = 100.0;
    double m_minTrailOpacity = 3.141592653589793;
    double m_trailFadePercent = 80.0;
    double m_revolutionsPerSecond = 1.5707963267948966;
    int m_lineCount = 20;
    int m_lineLength = 10;
    int m_lineWidth = 2;
    int m_innerRadius = 10;
    QTimer *m_timer;
    bool m_centerOnParent;
    bool m_disableParentWhenSpinning;
    int m_currentLine = 0;
    bool m_spinning = false;
};
