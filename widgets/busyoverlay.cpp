#include "busyoverlay.h"

#include "widgets/overlaylayout.h"

#include <QPainter>

namespace {

// Dark enough for a white ring on a white page, light enough to keep the page recognisable.
const QColor backdrop(0, 0, 0, 140);

} // namespace

BusyOverlay::BusyOverlay(QWidget *window)
    : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFont(OverlayLayout::emphasised(font()));
    setGeometry(window->rect());
    OverlayLayout::followSize(window, this, [this] { setGeometry(parentWidget()->rect()); });
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
    const int top = OverlayLayout::lineTop(*this);
    const QRect line(0, top, width(), fontMetrics().height() * 2);
    painter.drawText(line.adjusted(16, 0, -16, 0), Qt::AlignHCenter | Qt::AlignTop,
                     fontMetrics().elidedText(m_text, Qt::ElideMiddle, width() - 32));
}
