#pragma once

#include <QTimer>

// Runs out when a transfer has received nothing for a while: 60 s, or the seconds that
// KESTRION_STALL_TIMEOUT_SECONDS names. Restarted with every chunk; stopped while the user
// chooses in a dialog, who is not to be hurried.
class StallTimer : public QTimer
{
    Q_OBJECT

public:
    explicit StallTimer(QObject *parent);

    int seconds() const { return interval() / 1000; }
};
