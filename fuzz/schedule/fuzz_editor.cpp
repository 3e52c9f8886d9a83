// Loads arbitrary bytes as a schedule file into the schedule editor (model
// and tables), as "Открыть" does, and takes the editor's image back out, as
// "Сохранить" and a write do: no crash, and a second load of that image gives
// the same image again.

#include "schedule/EditorImage.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::schedule;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<ScheduleImage> image = decodeTsc(bytes);
    if (!image)
        return 0;
    ScheduleModel model;
    ScheduleTables tables;
    QString error;
    if (!applyImage(*image, model, tables, &error))
        return 0;
    const ScheduleImage taken = takeImage(model, tables);
    ScheduleModel again;
    ScheduleTables againTables;
    if (!applyImage(taken, again, againTables, &error) || !(takeImage(again, againTables) == taken))
        std::abort();
    return 0;
}
