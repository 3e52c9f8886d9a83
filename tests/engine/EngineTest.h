#pragma once
// What the engine tests share: the codes a recording owner takes, and the
// protocol rows of data-driven tests.

#include "link/Catalogue.h"
#include "link/Frame.h"

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

inline const char *protocolName(link::Protocol protocol)
{
    return protocol == link::Protocol::Rs485 ? "Rs-485" : "MODBUS";
}

inline void addProtocolRows()
{
    QTest::addColumn<link::Protocol>("protocol");
    for (link::Protocol protocol : {link::Protocol::Rs485, link::Protocol::Modbus})
        QTest::newRow(protocolName(protocol)) << protocol;
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
