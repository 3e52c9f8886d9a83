#pragma once
// What the engine tests share: the codes a recording owner takes, the
// protocol rows of data-driven tests (support/ProtocolRows.h) and a wait for signals.

#include "link/Catalogue.h"
#include "link/Frame.h"
#include "support/ProtocolRows.h"

#include <QList>
#include <QSignalSpy>
#include <QtTest>

namespace kelvar::test {

// Every function code that has a name (the only ones ever sent).
inline QList<int> knownCodes()
{
    QList<int> codes;
    for (int code = 0; code < 128; ++code)
        if (link::isKnownCommand(code))
            codes << code;
    return codes;
}

// Waits until the spy has seen count signals, in a running event loop: the
// QTRY macros sleep 10 ms between passes, which would stretch every pause
// on the line and hide one that is too short.
inline bool waitForSignals(QSignalSpy &spy, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (spy.size() < count) {
        if (deadline.hasExpired() || !spy.wait(static_cast<int>(deadline.remainingTime())))
            return spy.size() >= count;
    }
    return true;
}

} // namespace kelvar::test
