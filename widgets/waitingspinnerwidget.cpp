#include "widgets/waitingspinnerwidget.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

WaitingSpinnerWidget::WaitingSpinnerWidget(QWidget *parent, bool centerOnParent,
                                           bool disableParentWhenSpinning)
    : QWidget(parent)
    , m_timer(new QTimer(this))
    , m_centerOnParent(centerOnParent)
    , m_disableParentWhenSpinning(disableParentWhenSpinning)
{
    connect(m_timer, SIGNAL(timeout()), this, SLOT(rotate()));
    updateSize();
    updateTimer();
    hide();
}

void WaitingSpinnerWidget::setColor(const QColor &color)
{
    m_color = color;
}

void WaitingSpinnerWidget::setRoundness(double roundness)
{
    m_roundness = std::max(0.0, std::min(100.0, roundness));
}

void WaitingSpinnerWidget::setLineCount(int lineCount)
{
    m_lineCount = lineCount;
    m_currentLine = 0;
    updateTimer();
}

void WaitingSpinnerWidget::setLineLength(int length)
{
    m_lineLength = length;
    updateSize();
}

void WaitingSpinnerWidget::setLineWidth(int width)
{
    m_lineWidth = width;
    updateSize();
}

void WaitingSpinnerWidget::setInnerRadius(int radius)
{
    m_innerRadius = radius;
    updateSize();
}

int WaitingSpinnerWidget::lineDistance(int lineIndex, int leadingLine, int lineCount)
{
    const int distance = leadingLine - lineIndex;
    return distance < 0 ? distance + lineCount : distance;
}

QColor WaitingSpinnerWidget::lineColor(int distance, int lineCount, double trailFadePercent,
                                       double minTrailOpacity, QColor color)
{
    if (distance == 0)
        return color;

    const double minAlpha = minTrailOpacity / 100.0;
    const int distanceThreshold
        = static_cast<int>(std::ceil((lineCount - 1) * trailFadePercent / 100.0));
    if (distance > distanceThreshold) {
        color.setAlphaF(minAlpha);
    } else {
        const double step = (color.alphaF() - minAlpha) / (distanceThreshold + 1);
        const double alpha = color.alphaF() - step * distance;
        color.setAlphaF(std::min(1.0, std::max(0.0, alpha)));
    }
    return color;
}

void WaitingSpinnerWidget::start()
{
    moveToParentCenter();
    m_spinning = true;
    show();

    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(false);

    // A second start() must not make the ring jump back to bar 0.
    if (!m_timer->isActive()) {
        m_timer->start();
        m_currentLine = 0;
    }
}

void WaitingSpinnerWidget::stop()
{
    m_spinning = false;
    hide();

    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(true);

    if (m_timer->isActive()) {
        m_timer->stop();
        m_currentLine = 0;
    }
}

void WaitingSpinnerWidget::paintEvent(QPaintEvent *)
{
    // Centring here as well lets the spinner follow a parent that was resized meanwhile.
    moveToParentCenter();

    QPainter painter(this);
    painter.fillRect(rect(), Qt::transparent);
    painter.setRenderHint(QPainter::Antialiasing);

    if (m_currentLine >= m_lineCount)
        m_currentLine = 0;

    painter.setPen(Qt::NoPen);
    const double centre = m_innerRadius + m_lineLength;
    for (int i = 0; i < m_lineCount; ++i) {
        painter.save();
        painter.translate(QPointF(centre, centre));
        painter.rotate(360.0 * i / m_lineCount);
        painter.translate(m_innerRadius, 0);
        const QColor color = lineColor(lineDistance(i, m_currentLine, m_lineCount), m_lineCount,
                                       m_trailFadePercent, m_minTrailOpacity, m_color);
        painter.setBrush(QBrush(color, Qt::SolidPattern));
        painter.drawRoundedRect(QRectF(QRect(0, -(m_lineWidth / 2), m_lineLength, m_lineWidth)),
                                m_roundness, m_roundness, Qt::RelativeSize);
        painter.restore();
    }
}

void WaitingSpinnerWidget::rotate()
{
    ++m_currentLine;
    if (m_currentLine >= m_lineCount)
        m_currentLine = 0;
    update();
}

void WaitingSpinnerWidget::moveToParentCenter()
{
    QWidget *parent = parentWidget();
    if (!parent || !m_centerOnParent)
        return;
    move(parent->width() / 2 - width() / 2, parent->height() / 2 - height() / 2);
}

void WaitingSpinnerWidget::updateSize()
{
    // The line width does not enter the size: the bars lie along the radius.
    const int size = 2 * (m_innerRadius + m_lineLength);
    setFixedSize(size, size);
}

void WaitingSpinnerWidget::updateTimer()
{
    m_timer->setInterval(static_cast<int>(1000 / (m_lineCount * m_revolutionsPerSecond)));
}
