#include "busyoverlay.h"

#include <QEvent>
#include <QPainter>

namespace {

// Dark enough for a white ring on a white page, light enough to keep the page recognisable.
const QColor backdrop(0, 0, 0, 140);
// The indicator of a download is 48 pixels across, centred on the window.
constexpr int indicatorRadius = 24;
constexpr int gapUnderIndicator = 16;

} // namespace

BusyOverlay::BusyOverlay(QWidget *window)
    : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    QFont larger = font();
    larger.setPointSizeF(larger.pointSizeF() * 1.3);
    larger.setBold(true);
    setFont(larger);
    setGeometry(window->rect());
    window->installEventFilter(this);
    hide();
}

void BusyOverlay::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

void BusyOverlay::setTextAndPaintNow(const QString &text)
{
    m_text = text;
    repaint();
}

void BusyOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), backdrop);
    if (m_text.isEmpty())
        return;
    painter.setPen(Qt::white);
    const int top = height() / 2 + indicatorRadius + gapUnderIndicator;
    const QRect line(0, top, width(), fontMetrics().height() * 2);
    painter.drawText(line.adjusted(16, 0, -16, 0), Qt::AlignHCenter | Qt::AlignTop,
                     fontMetrics().elidedText(m_text, Qt::ElideMiddle, width() - 32));
}

bool BusyOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return false;
}
