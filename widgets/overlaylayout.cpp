#include "overlaylayout.h"

#include <QEvent>
#include <QWidget>

namespace {

class ResizeWatcher : public QObject
{
public:
    ResizeWatcher(QObject *owner, std::function<void()> place)
        : QObject(owner)
        , m_place(std::move(place))
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_place();
        return false;
    }

private:
    std::function<void()> m_place;
};

} // namespace

int OverlayLayout::lineTop(const QWidget &window)
{
    return window.height() / 2 + indicatorRadius + gapUnderIndicator;
}

QFont OverlayLayout::emphasised(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    return font;
}

void OverlayLayout::followSize(QWidget *window, QObject *owner, const std::function<void()> &place)
{
    window->installEventFilter(new ResizeWatcher(owner, place));
}
