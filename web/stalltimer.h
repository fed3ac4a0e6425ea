#pragma once

#include <QTimer>

#include <functional>

// Runs out when a transfer has received nothing for a while: 60 s, or the seconds that
// KESTRION_STALL_TIMEOUT_SECONDS names. Restarted with every chunk; stopped while the user
// chooses in a dialog, who is not to be hurried.
class StallTimer
{
public:
    // onStall runs in context's thread, and not after context has gone.
    StallTimer(QObject *context, const std::function<void()> &onStall);

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    int seconds() const { return m_timer.interval() / 1000; }

private:
    QTimer m_timer;
};
