#include "overlaybutton.h"

#include "widgets/overlaylayout.h"

#include <QEvent>
#include <QWindow>

OverlayButton::OverlayButton(const QString &text, QWidget *window, const QPoint &offsetFromCentre)
    : QPushButton(text, nullptr)
    , m_window(window)
    , m_offset(offsetFromCentre)
{
    // A tool window above its owner, which neither takes the keyboard from it nor counts as a
    // window of the application's own when the last one closes.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setFont(OverlayLayout::emphasised(font()));
    setStyleSheet(QStringLiteral("QPushButton { background: #ffffff; color: #1d2a36;"
                                 " border: 2px solid #1d2a36; border-radius: 8px;"
                                 " min-width: 200px; min-height: 64px; padding: 0 24px; }"
                                 "QPushButton:pressed { background: #d5dde5; }"));
    adjustSize();
    window->installEventFilter(this);
}

void OverlayButton::present()
{
    m_presented = true;
    if (!m_window || !m_window->isVisible())
        return;
    if (!windowHandle())
        create();
    windowHandle()->setTransientParent(m_window->window()->windowHandle());
    place();
    show();
    raise();
}

void OverlayButton::withdraw()
{
    m_presented = false;
    hide();
}

void OverlayButton::setOffsetFromCentre(const QPoint &offset)
{
    m_offset = offset;
    if (m_window && isVisible())
        place();
}

void OverlayButton::place()
{
    const QPoint centre = m_window->mapToGlobal(m_window->rect().center()) + m_offset;
    move(centre - rect().center());
}

bool OverlayButton::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || !m_presented)
        return false;
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        place();
        break;
    case QEvent::Show:
        present();
        break;
    case QEvent::Hide:
        hide();
        break;
    default:
        break;
    }
    return false;
}
