#pragma once
// Which tariff the meter's own schedule puts in force at a moment: the day
// type from the holiday and transfer tables, the zone of that month and day
// type that started last, and its exceed tariff while the load is above the
// zone's power limit.

#include "MeterState.h"

#include <QDate>

namespace kelvar::sim {

// Date and time of day of a meter time (seconds since 2000).
QDate meterDate(quint32 seconds);
inline quint32 dayNumber(const QDate &date) { return static_cast<quint32>(QDate(2000, 1, 1).daysTo(date)); }
// Key of the yearly record of a month: (year - 2000) * 12 + month - 1.
inline quint32 monthKey(const QDate &date) { return static_cast<quint32>((date.year() - 2000) * 12 + date.month() - 1); }

// Day type 1..8: 8 for a listed holiday, the listed type for a transfer date, else 1 = Monday .. 7 = Sunday.
int dayType(const MeterState &state, const QDate &date);

// The tariff (1..8 as the records hold it) at meter time `seconds` with the load in watts.
// A month and day type without zones is worked in tariff 1.
int tariffAt(const MeterState &state, quint32 seconds, double loadW);
// The tariff at the start of each half-hour slot of a date, with no power limit exceeded.
std::array<int, SlotsPerDay> slotTariffs(const MeterState &state, const QDate &date);

// A decoded 7-byte zone record.
struct Zone {
    int tariff = 1;
    int exceedTariff = 1;
    int minuteOfDay = 0;
    int limit = 0;
    quint8 dayMask = 0;
    quint16 monthMask = 0;
};
Zone decodeZone(const QByteArray &record);
// True when the record is one the meter stores: tariffs 1..3, a BCD time of
// day, month bits 0..11 and the reserved bits clear.
bool isValidZone(const QByteArray &record);

// A BCD byte with both digits 0..9.
bool isBcd(quint8 byte);

} // namespace kelvar::sim
