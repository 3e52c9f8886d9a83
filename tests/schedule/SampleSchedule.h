#pragma once
// A schedule image that exercises every part of the schedule exchange and
// file: three records, two holidays (8 March in slot 0, 1 May in slot 1),
// one transfer in the year 2000 (year byte 00) and coefficient 7.

#include "TestUtil.h"
#include "schedule/ScheduleFile.h"

namespace kelvar::test {

inline schedule::ScheduleImage sampleSchedule()
{
    schedule::ScheduleImage image;
    image.records = {hex("10 00 00 00 FF FF 0F"), hex("21 07 30 0F 1F FF 0F"), hex("00 23 00 00 60 03 00")};
    image.holidayTable = hex("08 03 01 05").leftJustified(32, '\0');
    image.transferTable = hex("09 01 00 06").leftJustified(64, '\0');
    image.limitCoefficient = 7;
    return image;
}

} // namespace kelvar::test
