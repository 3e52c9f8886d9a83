#pragma once
// Schedules the benchmarks share.

#include "schedule/Tables.h"
#include "schedule/ZoneRecord.h"

#include <QList>

namespace kelvar::bench {

// 254 one-cell records (the most the meter takes), two or three zones per
// cell; contents distinct, so the list is already in normal form.
inline QList<QByteArray> distinctRecords()
{
    using namespace kelvar::schedule;
    QList<QByteArray> images;
    for (int i = 0; i < MaxMeterRecords; ++i) {
        const int cell = i % CellCount;
        const Zone zone{(i / CellCount) * 480 + cell * 5, quint8(i % 3 + 1), 0, quint8(i % 3 + 1)};
        images.append(encodeRecord({zone, quint8(GetMaska(cell % 8 + 1)), GetMaska(cell / 8 + 1)}));
    }
    return images;
}

} // namespace kelvar::bench
