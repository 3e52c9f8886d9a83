#include "link/LineLender.h"

#include "link/LinkPacing.h"

namespace kelvar::link {

int LineFormat::bitsPerCharacter() const
{
    static constexpr Parity ModbusParities[3] = {Parity::None, Parity::Even, Parity::Odd};
    if (protocol == Protocol::Rs485)
        return link::bitsPerCharacter(Parity::Mark, 1);
    return link::bitsPerCharacter(ModbusParities[qBound(0, parityIndex, 2)], parityIndex == 0 ? 2 : 1);
}

qint64 LineFormat::wireUs(qsizetype characters) const
{
    return link::wireTimeUs(characters, baud, bitsPerCharacter());
}

qint64 LineFormat::silentUs() const
{
    return link::silentIntervalUs(baud, bitsPerCharacter());
}

} // namespace kelvar::link
