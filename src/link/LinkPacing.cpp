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

qint64 wireTimeUs(qsizetype characters, int baud, int bitsPerCharacter)
{
    if (baud <= 0 || characters <= 0)
        return 0;
    return (static_cast<qint64>(characters) * bitsPerCharacter * 1000000 + baud - 1) / baud;
}

qint64 lineQuietForUs(qint64 sinceReceivedUs, qint64 sinceWrittenUs, qint64 writtenWireUs)
{
    return qMin(sinceReceivedUs, sinceWrittenUs - writtenWireUs);
}

qint64 sendDelayUs(int pauseMs, qint64 silentUs, qint64 sinceExchangeEndUs, qint64 lineQuietForUs)
{
    const qint64 pauseUs = qBound(MinRequestPause, pauseMs, MaxRequestPause) * 1000LL;
    return qMax<qint64>(0, qMax(pauseUs - sinceExchangeEndUs, silentUs - lineQuietForUs));
}

} // namespace kelvar::link
