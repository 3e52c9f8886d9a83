#include "simulation/SimulatedMeter.h"

namespace kelvar::simulation {

QList<int> parseMeterAddresses(const QString &text, QString *error)
{
    QList<int> addresses;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int address = part.trimmed().toInt(&ok);
        if (!ok || address < 0 || address > 255 || addresses.contains(address)) {
            *error = QStringLiteral("\"%1\" is not a list of distinct addresses 0..255 (e.g. 0,17,200)").arg(text);
            return {};
        }
        addresses << address;
    }
    return addresses;
}

} // namespace kelvar::simulation
