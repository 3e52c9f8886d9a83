#include "EditorImage.h"

#include "ScheduleModel.h"
#include "ScheduleTables.h"

namespace kelvar::schedule {

ScheduleImage takeImage(ScheduleModel &model, const ScheduleTables &tables)
{
    ScheduleImage image;
    image.records = model.GetShedule();
    image.holidayTable = tables.GetCel();
    image.transferTable = tables.GetTrans();
    image.limitCoefficient = static_cast<quint8>(tables.limitCoefficient());
    return image;
}

bool applyImage(const ScheduleImage &image, ScheduleModel &model, ScheduleTables &tables, QString *error)
{
    if (!model.SetShedule(image.records, error))
        return false;
    tables.SetCel(image.holidayTable);
    tables.SetTrans(image.transferTable);
    tables.setLimitCoefficient(image.limitCoefficient);
    return true;
}

void newSchedule(ScheduleModel &model, ScheduleTables &tables)
{
    model.SetShedule({});
    tables.loadDefaultHolidays();
    tables.setTransfers({});
}

} // namespace kelvar::schedule
