#pragma once
// One flag per cell of the year grid (12 months x 8 day types).

#include "ZoneRecord.h"

#include <algorithm>
#include <bitset>

namespace kelvar::schedule {

// Calls f(month, dayType) for every cell a record covers, months outer.
template<typename F>
void forEachCoveredCell(const ZoneRecord &record, F &&f)
{
    for (int m = 1; m <= MonthCount; ++m)
        if (record.monthMask & GetMaska(m))
            for (int d = 1; d <= DayTypeCount; ++d)
                if (record.dayMask & GetMaska(d))
                    f(m, d);
}

class CellFlags {
public:
    CellFlags() = default;

    static CellFlags all()
    {
        CellFlags f;
        f.m_bits.set();
        return f;
    }
    static CellFlags single(int month, int dayType)
    {
        CellFlags f;
        f.set(month, dayType);
        return f;
    }
    // Every cell whose month and day type lie between those of the two corners, inclusive.
    static CellFlags rectangle(int month1, int dayType1, int month2, int dayType2);
    // Every cell a record covers.
    static CellFlags coveredBy(const ZoneRecord &record);

    // Months 1..12, day types 1..8; a cell outside the grid reads as unset and cannot be set.
    bool at(int month, int dayType) const
    {
        return inGrid(month, dayType) && m_bits.test(index(month, dayType));
    }
    void set(int month, int dayType, bool on = true)
    {
        if (inGrid(month, dayType))
            m_bits.set(index(month, dayType), on);
    }

    bool any() const { return m_bits.any(); }
    int count() const { return static_cast<int>(m_bits.count()); }

    CellFlags operator&(const CellFlags &o) const { return CellFlags(m_bits & o.m_bits); }
    CellFlags operator|(const CellFlags &o) const { return CellFlags(m_bits | o.m_bits); }
    CellFlags operator~() const { return CellFlags(~m_bits); }
    friend bool operator==(const CellFlags &, const CellFlags &) = default;

private:
    using Bits = std::bitset<CellCount>;
    explicit CellFlags(const Bits &bits) : m_bits(bits) {}
    static bool inGrid(int month, int dayType)
    {
        return month >= 1 && month <= MonthCount && dayType >= 1 && dayType <= DayTypeCount;
    }
    static size_t index(int month, int dayType) { return size_t((month - 1) * DayTypeCount + dayType - 1); }

    Bits m_bits;
};

inline CellFlags CellFlags::rectangle(int month1, int dayType1, int month2, int dayType2)
{
    CellFlags f;
    for (int m = std::min(month1, month2); m <= std::max(month1, month2); ++m)
        for (int d = std::min(dayType1, dayType2); d <= std::max(dayType1, dayType2); ++d)
            f.set(m, d);
    return f;
}

inline CellFlags CellFlags::coveredBy(const ZoneRecord &record)
{
    CellFlags f;
    forEachCoveredCell(record, [&f](int m, int d) { f.set(m, d); });
    return f;
}

} // namespace kelvar::schedule
