#include "link/LinkPacing.h"

#include <QtGlobal>

namespace kelvar::link {

int bitsPerCharacter(Parity parity, int stopBits)
{
    return 1 + 8 + (parity == Parity::None ? 0 : 1) + (stopBits == 2 ? 2 : 1);
}

qint64 silentIntervalUs(int baud, int bitsPerCharacter)
{
    if (baud > 19200 || baud <= 0)
        return 1750;
    // 3.5 characters, rounded up to the next microsecond.
    const qint64 bitsTimesTwo = 7LL * bitsPerCharacter;
    return (bitsTimesTwo * 1000000 + 2LL * baud - 1) / (2LL * baud);
}

int sendIntervalMs(int pauseMs, int baud, int bitsPerCharacter)
{
    const int pause = qBound(MinRequestPause, pauseMs, MaxRequestPause);
    const int silentMs = static_cast<int>((silentIntervalUs(baud, bitsPerCharacter) + 999) / 1000);
    return qMax(pause, silentMs);
}

} // namespace kelvar::link
