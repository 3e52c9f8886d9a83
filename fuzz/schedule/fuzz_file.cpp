// Reads arbitrary bytes as a schedule file, as tables and as a zone record,
// loads what is accepted into the schedule model and drives edits from the
// remaining bytes: no crash, no hang, and every accepted image must encode
// back to what a second decode accepts unchanged.

#include "schedule/ScheduleFile.h"
#include "schedule/ScheduleModel.h"
#include "schedule/Tables.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::schedule;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Model edits driven by bytes, three per step: kind, cell and zone.
void edit(ScheduleModel &model, const QByteArray &script)
{
    for (qsizetype i = 0; i + 3 <= script.size() && i < 3 * 48; i += 3) {
        const quint8 kind = static_cast<quint8>(script[i]);
        const quint8 cell = static_cast<quint8>(script[i + 1]);
        const quint8 value = static_cast<quint8>(script[i + 2]);
        const int month = cell % 12 + 1;
        const int dayType = (cell / 12) % 8 + 1;
        const Zone zone{(value % 24) * 60 + (cell % 4) * 15, static_cast<quint8>(value % 3 + 1),
                        static_cast<quint8>(kind & 0xF0), static_cast<quint8>((value >> 2) % 3 + 1)};
        switch (kind % 7) {
        case 0: model.InsertTZone(zone); break;
        case 1: model.UpdateTZone(zone); break;
        case 2: model.DeleteTZone(zone.start); break;
        case 3:
            model.setSelectedCells(CellFlags::rectangle(model.CurMonth(), model.CurDayType(), month, dayType));
            model.EquivalentDays();
            model.EditDays();
            break;
        case 4:
            model.setCurrentCell(month, dayType);
            model.EquivalentDays();
            model.EditDays();
            break;
        case 5: model.commit(); break;
        default: model.revert(); break;
        }
        check(model.zonesOf(month, dayType).size() <= model.recordCount());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    if (const auto holidays = decodeHolidayTable(bytes.left(HolidayTableSize)))
        check(decodeHolidayTable(encodeHolidayTable(*holidays)) == holidays);
    if (const auto transfers = decodeTransferTable(bytes.left(TransferTableSize)))
        check(decodeTransferTable(encodeTransferTable(*transfers)) == transfers);
    if (const auto record = decodeRecord(bytes.left(RecordSize)))
        check(decodeRecord(encodeRecord(*record)) == record);

    const std::optional<ScheduleImage> image = decodeTsc(bytes);
    if (!image)
        return 0;
    check(encodeTsc(*image).size() == TscHeaderSize + TscLineSize * image->records.size());
    check(decodeTsc(encodeTsc(*image)) == image);
    decodeHolidayTable(image->holidayTable);
    decodeTransferTable(image->transferTable);

    // Load a bounded part as the schedule, and edit it with the rest.
    const qsizetype loaded = std::min<qsizetype>(image->records.size(), 40);
    ScheduleModel model;
    check(model.SetShedule(image->records.first(loaded)));
    edit(model, bytes.mid(TscHeaderSize + TscLineSize * loaded));
    const QList<QByteArray> exported = model.GetShedule();
    check(exported.size() == model.recordCount());
    ScheduleModel again;
    check(again.SetShedule(exported));
    check(again.WorkList() == model.WorkList());
    return 0;
}
