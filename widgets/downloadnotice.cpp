#include "downloadnotice.h"

#include "widgets/overlaylayout.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {

// A problem stays longer: it is the one the user has to act on.
constexpr int doneHoldMs = 5000;
constexpr int problemHoldMs = 10000;
constexpr int fadeStepMs = 40;
constexpr qreal fadePerStep = 0.08;
constexpr int margin = 24;
constexpr int padding = 16;

} // namespace

DownloadNotice::DownloadNotice(QWidget *window)
    : QWidget(window)
    , m_holdTimer(new QTimer(this))
    , m_fadeTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("downloadNotice"));
    setFocusPolicy(Qt::NoFocus);
    QFont larger = font();
    larger.setPointSizeF(larger.pointSizeF() * 1.2);
    setFont(larger);
    m_holdTimer->setSingleShot(true);
    connect(m_holdTimer, &QTimer::timeout, m_fadeTimer, [this] { m_fadeTimer->start(); });
    m_fadeTimer->setInterval(fadeStepMs);
    connect(m_fadeTimer, &QTimer::timeout, this, &DownloadNotice::fadeStep);
    OverlayLayout::followSize(window, this, [this] { place(); });
}

void DownloadNotice::showOn(QWidget *window, const QString &text, Tone tone)
{
    if (!window)
        return;
    auto *notice = window->findChild<DownloadNotice *>(QStringLiteral("downloadNotice"),
                                                       Qt::FindDirectChildrenOnly);
    if (!notice)
        notice = new DownloadNotice(window);
    notice->present(text, tone);
}

void DownloadNotice::present(const QString &text, Tone tone)
{
    m_text = text;
    m_tone = tone;
    m_opacity = 1.0;
    m_fadeTimer->stop();
    m_holdTimer->start(tone == Tone::Problem ? problemHoldMs : doneHoldMs);
    place();
    show();
    raise();
    update();
}

void DownloadNotice::place()
{
    const QWidget *window = parentWidget();
    const int width
        = qMin(fontMetrics().horizontalAdvance(m_text) + 2 * padding, window->width() - 2 * margin);
    const QRect textArea
        = fontMetrics().boundingRect(QRect(0, 0, width - 2 * padding, 0), Qt::TextWordWrap, m_text);
    const int height = textArea.height() + 2 * padding;
    setGeometry((window->width() - width) / 2, window->height() - height - margin, width, height);
}

void DownloadNotice::fadeStep()
{
    m_opacity -= fadePerStep;
    if (m_opacity <= 0.0) {
        dismiss();
        return;
    }
    update();
}

// A notice on its way out is no longer the window's notice: a newer one gets a widget of its
// own.
void DownloadNotice::dismiss()
{
    setObjectName(QString());
    hide();
    deleteLater();
}

void DownloadNotice::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(shape,
                     m_tone == Tone::Problem ? QColor(140, 20, 20, 235) : QColor(30, 30, 30, 235));
    painter.setPen(Qt::white);
    painter.drawText(rect().adjusted(padding, padding, -padding, -padding),
                     Qt::AlignCenter | Qt::TextWordWrap, m_text);
}

void DownloadNotice::mousePressEvent(QMouseEvent *)
{
    dismiss();
}
