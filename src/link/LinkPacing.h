#pragma once
// How soon the engine may send the next request after an exchange has ended.
//
// The operator's request pause (0..50 ms) replaces the fixed 50 ms send tick;
// 50, the default, keeps that tick exactly. Whatever the pause, the line stays
// quiet for at least its silent interval, 3.5 characters at the current baud
// rate and character format (a fixed 1.75 ms above 19200 baud), which meters
// and RS-485 converters need to see the end of a frame.

#include "link/SerialChannel.h"

namespace kelvar::link {

constexpr int MinRequestPause = 0;
constexpr int MaxRequestPause = 50;
constexpr int DefaultRequestPause = 50;

// Bits on the line per character: start, 8 data, the parity bit if any, stop bits.
int bitsPerCharacter(Parity parity, int stopBits);

// The silent interval in microseconds.
qint64 silentIntervalUs(int baud, int bitsPerCharacter);

// The send timer's interval in whole milliseconds: the pause (clamped to
// 0..50), never below the silent interval rounded up.
int sendIntervalMs(int pauseMs, int baud, int bitsPerCharacter);

// Time a number of characters take on the line, in microseconds (rounded up).
qint64 wireTimeUs(qsizetype characters, int baud, int bitsPerCharacter);

// How long the line has been quiet: since the last byte received, or since
// the last byte written left the port (written wireUs before that ends), whichever
// is later. Negative while that byte is still on its way out.
qint64 lineQuietForUs(qint64 sinceReceivedUs, qint64 sinceWrittenUs, qint64 writtenWireUs);

// Below the fixed tick, how long to wait before the next request may go out:
// the pause (clamped to 0..50 ms) counted from the end of the exchange, the
// silent interval from the moment the line went quiet; 0 once both have
// passed.
qint64 sendDelayUs(int pauseMs, qint64 silentUs, qint64 sinceExchangeEndUs, qint64 lineQuietForUs);

} // namespace kelvar::link
