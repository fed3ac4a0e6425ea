#include "stalltimer.h"

namespace {

constexpr int defaultSeconds = 60;

} // namespace

StallTimer::StallTimer(QObject *parent)
    : QTimer(parent)
{
    const int seconds = qEnvironmentVariableIntValue("KESTRION_STALL_TIMEOUT_SECONDS");
    setInterval((seconds > 0 ? seconds : defaultSeconds) * 1000);
    setSingleShot(true);
}
