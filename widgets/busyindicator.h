#pragma once

class QColor;
class WaitingSpinnerWidget;

// The splash page and every download show the same ring, differing only in colour.
void startBusyIndicator(WaitingSpinnerWidget &indicator, const QColor &color);
