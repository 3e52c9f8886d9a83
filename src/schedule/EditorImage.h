#pragma once
// The editor's schedule (the model's committed records and the shared
// holiday, transfer and coefficient holder) moved in and out as one schedule
// image: what a write or a save takes, what a read or a load puts back.

#include "ScheduleFile.h"

namespace kelvar::schedule {

class ScheduleModel;
class ScheduleTables;

// The committed records (GetShedule, which commits pending edits), the two
// tables and the coefficient.
ScheduleImage takeImage(ScheduleModel &model, const ScheduleTables &tables);

// Replaces the editor's schedule by an image from a meter or a file, all or
// nothing: when a record cannot be decoded nothing changes and the reason
// goes to *error. An image without records gives an empty schedule.
bool applyImage(const ScheduleImage &image, ScheduleModel &model, ScheduleTables &tables, QString *error = nullptr);

// A new schedule: no records, the default holidays, no transfers; the
// coefficient stays as it is.
void newSchedule(ScheduleModel &model, ScheduleTables &tables);

} // namespace kelvar::schedule
