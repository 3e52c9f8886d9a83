#pragma once
// The one way a test starts the simulated meter: on a pseudo-terminal of its
// own, with the test's changes to the meter's state applied first; and the
// one way it starts several meters on one line.

#include "metersim/MeterServer.h"

#include <QDebug>

#include <QList>

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

// Meters at these addresses on one pseudo-terminal (a bus), each numbered
// 100000 + its address as the programs' simulated line numbers them; `change`
// adjusts each meter's state and faults (line settings, wire time, faults of
// one meter) before the line starts.
inline bool startBus(sim::MeterServer &server, const QList<int> &addresses,
                     const std::function<void(sim::MeterState &, sim::Faults &)> &change = {})
{
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        sim::MeterState state = server.state();
        state.address = quint8(addresses[i]);
        state.serialNumber = 100000u + quint32(addresses[i]);
        sim::Faults faults;
        if (change)
            change(state, faults);
        int meter = 0;
        if (i == 0)
            server.setState(state);
        else
            meter = server.addMeter(state);
        server.setFaults(faults, meter);
    }
    return startMeter(server);
}

} // namespace kelvar::test
