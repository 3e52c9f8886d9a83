#pragma once
// Command line of kelvar517-meter-sim.

#include "Faults.h"
#include "MeterState.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kelvar::sim {

struct SimOptions {
    QString stateFile;
    QString linkPath;
    std::optional<int> password;
    std::optional<int> address;
    std::optional<link::Protocol> protocol;
    std::optional<int> baudIndex;
    std::optional<int> parity;
    std::optional<int> number;
    std::optional<quint32> seed;
    std::optional<double> loadKw;
    std::optional<int> accessTimeoutSec;
    std::optional<int> dropAfter; // replace the device after every N replies
    bool verbose = false;
    bool help = false;
    bool version = false;

    bool scanner = false;
    QString scannerLinkPath;
    QStringList scanCodes;   // sent one second after start, one per second
    bool scanCrLf = false;
    int scanPieces = 1;

    Faults faults;

    // --meter ADDRESS[:STATEFILE], repeatable: several meters on the one line.
    struct BusMeter {
        int address = 0;
        QString stateFile;
    };
    QList<BusMeter> meters;
    // Fault switches that name a meter (--silent@17): on top of the others.
    struct MeterFault {
        int address = 0;
        QString name;
        QString value;
    };
    QList<MeterFault> meterFaults;
};

// One meter of the line as the executable starts it.
struct StartingMeter {
    MeterState state;
    QString stateFile; // empty: not kept
    Faults faults;
};

// The arguments after the program name; "--name value" and "--name=value".
bool parseOptions(const QStringList &arguments, SimOptions *options, QString *error);
// The meter settings given on the command line override those of the state.
void applyOptions(const SimOptions &options, MeterState &state);
// The meters to serve: the one of --address/--state, or those of --meter,
// each with its state file loaded (when it exists) and the options applied.
// A meter of --meter that is new (no state file yet) gets the serial number
// 100000 + its address and a history seed of its own, so the meters of a
// line can be told apart. False with a message when a state file is unusable.
bool startingMeters(const SimOptions &options, QList<StartingMeter> *meters, QString *error);
QString usageText();

} // namespace kelvar::sim
