#include "splashmessage.h"

#include "widgets/overlaylayout.h"

#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int padding = 16;
constexpr int maxWidth = 760;
constexpr int windowMargin = 32;
// Dark text reads on it over any splash image, and it hides the image's own caption, which
// this replaces.
const QColor panelColor(255, 255, 255);
const QColor textColor(29, 42, 54);
constexpr int textFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;

} // namespace

SplashMessage::SplashMessage(QWidget *window)
    : QWidget(window)
    , m_button(new QPushButton(this))
{
    setFont(OverlayLayout::emphasised(font()));
    m_button->setFixedSize(OverlayLayout::touchButtonSize);
    OverlayLayout::followSize(window, this, [this] { placeUnderIndicator(); });
    hide();
}

void SplashMessage::showMessage(const QString &text, const QString &buttonText)
{
    m_text = text;
    m_button->setText(buttonText);
    m_button->setVisible(!buttonText.isEmpty());
    placeUnderIndicator();
    // The window's current page is raised whenever it changes: this must lie on top of it.
    raise();
    show();
    update();
}

int SplashMessage::textHeight(int panelWidth) const
{
    return fontMetrics()
        .boundingRect(QRect(0, 0, panelWidth - 2 * padding, 0), textFlags, m_text)
        .height();
}

void SplashMessage::placeUnderIndicator()
{
    const QWidget *window = parentWidget();
    const int panelWidth = std::min(maxWidth, window->width() - 2 * windowMargin);
    int panelHeight = padding + textHeight(panelWidth) + padding;
    if (!m_button->isHidden()) {
        m_button->move((panelWidth - OverlayLayout::touchButtonSize.width()) / 2, panelHeight);
        panelHeight += OverlayLayout::touchButtonSize.height() + padding;
    }
    setGeometry((window->width() - panelWidth) / 2, OverlayLayout::lineTop(*window), panelWidth,
                panelHeight);
}

void SplashMessage::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(panelColor);
    painter.drawRoundedRect(rect(), 12, 12);
    painter.setPen(textColor);
    painter.drawText(QRect(padding, padding, width() - 2 * padding, textHeight(width())), textFlags,
                     m_text);
}
