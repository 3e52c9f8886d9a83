#pragma once
// The simulated meter inside the program (--simulate): it serves a meter on a
// pseudo-terminal in its own thread, and the window connects to that device
// like to any serial port.

#include "metersim/MeterServer.h"

#include <memory>

namespace kelvar::link {
class ExchangeEngine;
}

namespace kelvar::app {

// A numbered meter with a description, ready to start. nullptr and a message
// when the pseudo-terminal cannot be made.
std::unique_ptr<sim::MeterServer> startSimulatedMeter(QString *error);

// Sets the simulated meter's address, protocol type, baud rate and parity to
// what the window is about to use, so that it answers whatever the stored
// settings say.
void matchLinkParameters(sim::MeterServer &server, const link::ExchangeEngine &engine);

} // namespace kelvar::app
