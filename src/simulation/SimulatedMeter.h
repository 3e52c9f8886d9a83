#pragma once
// The simulated meter the program may carry (--simulate): a meter served on a
// pseudo-terminal in its own thread, which the window connects to like any
// serial port. The program sees only this interface; a build without the
// simulator (KELVAR_SIMULATOR off, always on Windows) says it is not available.

#include <QList>
#include <QString>

#include <memory>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::simulation {

class SimulatedMeter
{
public:
    virtual ~SimulatedMeter() = default;
    // The device the window connects to.
    virtual QString devicePath() const = 0;
    // Sets the meter's address, protocol type, baud rate and parity to what
    // the engine is about to use, so that it answers whatever the stored
    // settings say. The meters of a line keep their own addresses.
    virtual void matchLinkParameters(const link::ExchangeEngine &engine) = 0;
};

// False in a build without the simulator.
bool simulatedMeterAvailable();

// A numbered meter with a description, serving; with addresses, one meter at
// each of them on one line (numbered 100000 + address). nullptr and a message
// when the pseudo-terminal cannot be made or the build has no simulator.
std::unique_ptr<SimulatedMeter> startSimulatedMeter(QString *error, const QList<int> &addresses = {});

// "0,17,200" as distinct addresses 0..255; an empty list and a message when
// the text is not such a list.
QList<int> parseMeterAddresses(const QString &text, QString *error);

} // namespace kelvar::simulation
