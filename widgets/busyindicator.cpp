#include "busyindicator.h"

#include "widgets/waitingspinnerwidget.h"

#include <QColor>

void startBusyIndicator(WaitingSpinnerWidget &indicator, const QColor &color)
{
    indicator.setRoundness(60.0);
    indicator.setLineCount(12);
    indicator.setLineLength(12);
    indicator.setLineWidth(4);
    indicator.setInnerRadius(12);
    indicator.setColor(color);
    indicator.start();
}
