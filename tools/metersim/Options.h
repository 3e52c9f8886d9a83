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
};

// The arguments after the program name; "--name value" and "--name=value".
bool parseOptions(const QStringList &arguments, SimOptions *options, QString *error);
// The meter settings given on the command line override those of the state.
void applyOptions(const SimOptions &options, MeterState &state);
QString usageText();

} // namespace kelvar::sim
