#pragma once

#include <QFont>
#include <QSize>

#include <functional>

class QObject;
class QWidget;

// What the widgets laid over the main window's pages share: where the indicator in the
// window's middle ends and the lines under it begin, the type they are written in, and keeping
// them in place while the window changes size.
namespace OverlayLayout {

// The splash page's indicator and a download's are 48 pixels across, centred on the window.
constexpr int indicatorRadius = 24;
constexpr int gapUnderIndicator = 16;
// A button large enough for a finger on a touch screen.
constexpr QSize touchButtonSize(280, 72);

// The top of the first line under the indicator, in the window's coordinates.
int lineTop(const QWidget &window);
// Large and bold, to be read on a touch screen from a step away.
QFont emphasised(QFont font);
// Calls place() whenever the window has changed size, for as long as owner lives.
void followSize(QWidget *window, QObject *owner, const std::function<void()> &place);

} // namespace OverlayLayout
