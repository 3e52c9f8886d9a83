#pragma once
// The one way a test starts the simulated meter: on a pseudo-terminal of its
// own, with the test's changes to the meter's state applied first.

#include "metersim/MeterServer.h"

#include <QDebug>

#include <functional>

namespace kelvar::test {

// False, with the reason as a warning, when the meter cannot start.
inline bool startMeter(sim::MeterServer &server, const std::function<void(sim::MeterState &)> &change = {})
{
    if (change)
        server.updateState(change);
    QString error;
    if (!server.start(&error)) {
        qWarning() << "simulated meter:" << error;
        return false;
    }
    return true;
}

} // namespace kelvar::test
