#pragma once
// A zone record of the tariff schedule and its 7-byte image.
//
// A zone starts at a minute of the day and names the tariff in force from then
// on, a power limit (0: none) and the tariff in force while the power exceeds
// the limit. A record applies one zone to the cross product of a set of day
// types (8-bit mask, day type n is bit n-1) and a set of months (16-bit mask,
// month n is bit n-1, bits 0..11 used).

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kelvar::schedule {

constexpr int MonthCount = 12;
constexpr int DayTypeCount = 8;
constexpr int CellCount = MonthCount * DayTypeCount;
constexpr int MinutesPerDay = 24 * 60;
constexpr int RecordSize = 7;
constexpr quint8 AllDayTypes = 0xFF;
constexpr quint16 AllMonths = 0x0FFF;

// Single-bit mask of day type or month n: 2^(n-1) for n >= 1, 1 for n <= 1.
constexpr quint16 GetMaska(int n)
{
    return n <= 1 ? 1 : static_cast<quint16>(1u << (n - 1));
}

// "hh:nn" for a minute of the day (07:00, 23:30).
QString timeText(int minute);

// What a zone says, without the cells it applies to.
struct Zone {
    int start = 0;          // minute of the day, 0..1439
    quint8 tariff = 1;      // 1..3 (a meter may report up to 8)
    quint8 limit = 0;       // 0: no limit
    quint8 exceedTariff = 1;

    QString time() const { return timeText(start); }
    // Start inside the day and both tariffs 1..8 (what the 7-byte image can carry).
    bool isValid() const;
    // The editor's rule for a new entry: tariff = exceed tariff exactly when limit = 0.
    bool isConsistent() const { return (tariff == exceedTariff) == (limit == 0); }

    friend bool operator==(const Zone &, const Zone &) = default;
};

// A zone applied to every cell (month, day type) of its two masks.
struct ZoneRecord {
    Zone zone;
    quint8 dayMask = 0;
    quint16 monthMask = 0;

    bool covers(int month, int dayType) const
    {
        return (monthMask & GetMaska(month)) && (dayMask & GetMaska(dayType));
    }
    // Same time, tariff, limit and exceed tariff.
    bool sameContent(const ZoneRecord &other) const { return zone == other.zone; }

    friend bool operator==(const ZoneRecord &, const ZoneRecord &) = default;
};
// The record's name in the editor's terms.
using AList = ZoneRecord;

// The 7-byte image: tariff - 1 in bits 0..2 and exceed tariff - 1 in bits 4..6
// of byte 0, hour and minute in BCD, limit, day mask, month mask low and high byte.
QByteArray encodeRecord(const ZoneRecord &record);

// Decodes a 7-byte image. Tariffs decode as (bits & 7) + 1, so 1..8 arrive as
// they are; BCD digits are not checked (0x1A reads as 20). Nothing, and the
// reason in *error, when the image is not 7 bytes or its hour and minute do
// not form a time of day (the reason is a phrase for a caller to complete).
std::optional<ZoneRecord> decodeRecord(const QByteArray &image, QString *error = nullptr);

// Short names of the year grid: "ЯНВ".."ДЕК" for months 1..12 and
// "ПН".."ВС", "ПР" for day types 1..8; "" outside the range.
QString monthShortName(int month);
QString dayTypeShortName(int dayType);

} // namespace kelvar::schedule
