#include "busyoverlay.h"

#include "widgets/overlaybutton.h"
#include "widgets/overlaylayout.h"

#include <QChildEvent>
#include <QEvent>
#include <QPainter>

namespace {

// Dark enough for a white ring on a white page, light enough to keep the page recognisable.
const QColor backdrop(0, 0, 0, 140);
const QString overlayName = QStringLiteral("busyOverlay");
// The centre of a lone Cancel, below the indicator and two lines of text; each further line
// moves the row of buttons down by one.
constexpr int cancelBelowCentre = 150;
constexpr int lineSpacing = 4;
constexpr int cancelGap = 16;
// Enough of a name to tell two downloads apart, without a button wider than the window.
constexpr int maxNameLength = 24;

QString cancelText(const QString &name, int lineCount)
{
    if (lineCount < 2 || name.isEmpty())
        return QStringLiteral("Cancel");
    const QString shown = name.size() <= maxNameLength
                              ? name
                              : name.left(maxNameLength - 1) + QString(QChar(0x2026));
    return QStringLiteral("Cancel %1").arg(shown);
}

} // namespace

BusyOverlay::BusyOverlay(QWidget *window)
    : QWidget(window)
{
    setObjectName(overlayName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFont(OverlayLayout::emphasised(font()));
    setGeometry(window->rect());
    OverlayLayout::followSize(window, this, [this] { setGeometry(parentWidget()->rect()); });
    // A page that the window brings up, or a widget that raises itself over the pages, would
    // otherwise hide the backdrop and the indicators.
    window->installEventFilter(this);
    for (QObject *child : window->children())
        watch(child);
}

BusyOverlay *BusyOverlay::of(QWidget *window)
{
    auto *overlay = window->findChild<BusyOverlay *>(overlayName, Qt::FindDirectChildrenOnly);
    return overlay ? overlay : new BusyOverlay(window);
}

OverlayButton *BusyOverlay::addLine(QWidget *indicator)
{
    auto *cancel = new OverlayButton(QString(), parentWidget(), QPoint());
    m_lines.append({cancel, indicator, QString(), QString()});
    placeCancels();
    show();
    keepOnTop();
    update();
    return cancel;
}

void BusyOverlay::removeLine(OverlayButton *line)
{
    for (int index = 0; index < m_lines.size(); ++index) {
        if (m_lines.at(index).cancel == line) {
            m_lines.removeAt(index);
            break;
        }
    }
    // Its click may still be on the way: the button goes from the event loop.
    line->withdraw();
    line->deleteLater();
    if (m_lines.isEmpty()) {
        delete this;
        return;
    }
    placeCancels();
    update();
}

void BusyOverlay::setText(OverlayButton *line, const QString &text)
{
    Line *found = find(line);
    if (!found || found->text == text)
        return;
    found->text = text;
    update();
}

void BusyOverlay::setTextAndPaintNow(OverlayButton *line, const QString &text)
{
    if (Line *found = find(line))
        found->text = text;
    repaint();
}

void BusyOverlay::setName(OverlayButton *line, const QString &name)
{
    Line *found = find(line);
    if (!found || found->name == name)
        return;
    found->name = name;
    placeCancels();
}

QStringList BusyOverlay::texts() const
{
    QStringList texts;
    for (const Line &line : m_lines)
        texts << line.text;
    return texts;
}

BusyOverlay::Line *BusyOverlay::find(OverlayButton *line)
{
    for (Line &candidate : m_lines) {
        if (candidate.cancel == line)
            return &candidate;
    }
    return nullptr;
}

void BusyOverlay::watch(QObject *object)
{
    if (object != this && object->isWidgetType())
        object->installEventFilter(this);
}

void BusyOverlay::keepOnTop()
{
    if (m_raising)
        return;
    m_raising = true;
    raise();
    for (const Line &line : qAsConst(m_lines)) {
        if (line.indicator)
            line.indicator->raise();
    }
    m_raising = false;
}

// One row of buttons under the lines, centred, in the order the downloads began.
void BusyOverlay::placeCancels()
{
    const int lineCount = int(m_lines.size());
    int rowWidth = 0;
    for (const Line &line : qAsConst(m_lines)) {
        line.cancel->setText(cancelText(line.name, lineCount));
        line.cancel->adjustSize();
        rowWidth += line.cancel->width() + (rowWidth > 0 ? cancelGap : 0);
    }
    const int row = cancelBelowCentre + (lineCount - 1) * (fontMetrics().height() + lineSpacing);
    int left = -rowWidth / 2;
    for (const Line &line : qAsConst(m_lines)) {
        line.cancel->setOffsetFromCentre(QPoint(left + line.cancel->width() / 2, row));
        left += line.cancel->width() + cancelGap;
    }
}

void BusyOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), backdrop);
    painter.setPen(Qt::white);
    const int pitch = fontMetrics().height() + lineSpacing;
    int top = OverlayLayout::lineTop(*this);
    for (const Line &line : qAsConst(m_lines)) {
        if (!line.text.isEmpty()) {
            const QRect area(16, top, width() - 32, fontMetrics().height());
            painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop,
                             fontMetrics().elidedText(line.text, Qt::ElideMiddle, area.width()));
        }
        top += pitch;
    }
}

bool BusyOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget()) {
        if (event->type() == QEvent::ChildAdded)
            watch(static_cast<QChildEvent *>(event)->child());
        return false;
    }
    if (event->type() != QEvent::ZOrderChange && event->type() != QEvent::Show)
        return false;
    for (const Line &line : qAsConst(m_lines)) {
        if (watched == line.indicator)
            return false;
    }
    keepOnTop();
    return false;
}
