// A build without the simulated meter (no pseudo-terminals, e.g. Windows).

#include "SimulatedMeter.h"

namespace kelvar::simulation {

bool simulatedMeterAvailable()
{
    return false;
}

std::unique_ptr<SimulatedMeter> startSimulatedMeter(QString *error, const QList<int> &)
{
    if (error)
        *error = QStringLiteral("имитатор счетчика не входит в эту сборку программы");
    return nullptr;
}

} // namespace kelvar::simulation
