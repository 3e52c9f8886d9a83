#include "Tariff.h"

#include "link/Encoding.h"

#include <QVarLengthArray>

namespace kelvar::sim {

using link::bcdDecode;

QDate meterDate(quint32 seconds)
{
    return QDate(2000, 1, 1).addDays(seconds / 86400);
}

bool isBcd(quint8 byte)
{
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

Zone decodeZone(const QByteArray &record)
{
    Zone zone;
    const auto b = [&](int i) { return link::byteAt(record, i); };
    zone.tariff = (b(0) & 7) + 1;
    zone.exceedTariff = ((b(0) >> 4) & 7) + 1;
    zone.minuteOfDay = bcdDecode(b(1)) * 60 + bcdDecode(b(2));
    zone.limit = b(3);
    zone.dayMask = b(4);
    zone.monthMask = static_cast<quint16>(b(5) | (b(6) << 8));
    return zone;
}

bool isValidZone(const QByteArray &record)
{
    if (record.size() != 7)
        return false;
    const auto b = [&](int i) { return static_cast<quint8>(record[i]); };
    return (b(0) & 0x88) == 0 && (b(0) & 7) <= 2 && ((b(0) >> 4) & 7) <= 2 && isBcd(b(1)) && isBcd(b(2)) &&
           bcdDecode(b(1)) <= 23 && bcdDecode(b(2)) <= 59 && (b(6) & 0xF0) == 0;
}

int dayType(const MeterState &state, const QDate &date)
{
    for (const QByteArray &h : state.holidays)
        if (h.size() == 2 && h[0] && bcdDecode(static_cast<quint8>(h[0])) == date.day() &&
            bcdDecode(static_cast<quint8>(h[1])) == date.month())
            return 8;
    for (const QByteArray &t : state.transfers) {
        if (t.size() != 4 || !t[0])
            continue;
        const int type = static_cast<quint8>(t[3]);
        if (type >= 1 && type <= 8 && bcdDecode(static_cast<quint8>(t[0])) == date.day() &&
            bcdDecode(static_cast<quint8>(t[1])) == date.month() &&
            2000 + bcdDecode(static_cast<quint8>(t[2])) == date.year())
            return type;
    }
    return date.dayOfWeek();
}

namespace {
// The zones of the month and day type of a date.
QVarLengthArray<Zone, 16> dayZones(const MeterState &state, const QDate &date)
{
    const quint8 dayBit = static_cast<quint8>(1u << (dayType(state, date) - 1));
    const quint16 monthBit = static_cast<quint16>(1u << (date.month() - 1));
    QVarLengthArray<Zone, 16> zones;
    for (const QByteArray &record : state.zones) {
        if (record.size() != 7)
            continue;
        const Zone zone = decodeZone(record);
        if ((zone.dayMask & dayBit) && (zone.monthMask & monthBit))
            zones.append(zone);
    }
    return zones;
}

// The zone that started last by `minute`; before the first zone of the day
// the last zone of the day programme still runs from the evening before.
const Zone *zoneAt(const QVarLengthArray<Zone, 16> &zones, int minute)
{
    const Zone *best = nullptr, *latest = nullptr;
    for (const Zone &zone : zones) {
        if (zone.minuteOfDay <= minute && (!best || zone.minuteOfDay >= best->minuteOfDay))
            best = &zone;
        if (!latest || zone.minuteOfDay >= latest->minuteOfDay)
            latest = &zone;
    }
    return best ? best : latest;
}
} // namespace

int tariffAt(const MeterState &state, quint32 seconds, double loadW)
{
    const QVarLengthArray<Zone, 16> zones = dayZones(state, meterDate(seconds));
    const Zone *zone = zoneAt(zones, static_cast<int>(seconds % 86400) / 60);
    if (!zone)
        return 1;
    if (zone->limit > 0 && state.limitCoefficient > 0 && loadW > zone->limit * 1000.0 / state.limitCoefficient)
        return zone->exceedTariff;
    return zone->tariff;
}

std::array<int, SlotsPerDay> slotTariffs(const MeterState &state, const QDate &date)
{
    const QVarLengthArray<Zone, 16> zones = dayZones(state, date);
    std::array<int, SlotsPerDay> tariffs{};
    for (int slot = 0; slot < SlotsPerDay; ++slot) {
        const Zone *zone = zoneAt(zones, slot * 30);
        tariffs[slot] = zone ? zone->tariff : 1;
    }
    return tariffs;
}

} // namespace kelvar::sim
