#include "stalltimer.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int defaultSeconds = 60;

} // namespace

StallTimer::StallTimer(QObject *context, const std::function<void()> &onStall)
{
    const int seconds = qEnvironmentVariableIntValue("KESTRION_STALL_TIMEOUT_SECONDS");
    // The interval is in milliseconds: a larger value would overflow into a short or negative one.
    constexpr int longestSeconds = std::numeric_limits<int>::max() / 1000;
    m_timer.setInterval((seconds > 0 ? std::min(seconds, longestSeconds) : defaultSeconds) * 1000);
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, context, onStall);
}
