#pragma once
// The simulated meter of the program, on the simulator library: what
// SimulatedMeter.h offers the program, and the server itself for the
// start-up benchmark.

#include "simulation/SimulatedMeter.h"
#include "metersim/MeterServer.h"

namespace kelvar::simulation {

// A numbered meter with a description, ready to use. nullptr and a message
// when the pseudo-terminal cannot be made.
// With addresses: one meter at each of them on one line.
std::unique_ptr<sim::MeterServer> startSimulatedMeterServer(QString *error, const QList<int> &addresses = {});

// Sets the server's link parameters to the engine's; the meters of a line
// keep their addresses.
void matchLinkParameters(sim::MeterServer &server, const link::ExchangeEngine &engine, bool line = false);

} // namespace kelvar::simulation
