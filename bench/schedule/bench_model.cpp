// Times the schedule model's heaviest operations on a schedule of 254 records,
// the most the meter takes: copying the current cell's programme to all 96
// cells (EditDays on a full selection, as a rectangle over the whole year grid
// gives), a zone insert with that selection, and normalising 254 records.
// Prints figures; the operator should never notice any of them (< 20 ms).

#include "Schedules.h"
#include "schedule/ScheduleModel.h"
#include "schedule/Tables.h"

#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace kelvar::schedule;
using kelvar::bench::distinctRecords;

namespace {

constexpr int Repeats = 30;

// 254 one-cell records of only three contents, spread over the grid so that
// normalisation merges them back into a handful of records.
QList<QByteArray> mergeableRecords()
{
    QList<QByteArray> images;
    for (int i = 0; i < MaxMeterRecords; ++i) {
        const int content = i / CellCount;
        const int cell = (i * 37) % CellCount;
        const Zone zone{content * 480, quint8(content + 1), 0, quint8(content + 1)};
        images.append(encodeRecord({zone, quint8(GetMaska(cell % 8 + 1)), GetMaska(cell / 8 + 1)}));
    }
    return images;
}

// Three zones over a rectangle of 42 cells (months 1..6, day types 1..7) and
// 251 one-cell records of distinct contents in the other 54 cells: copying a
// cell of the rectangle to the whole year gives every other cell new records
// of its own before normalisation merges them.
QList<QByteArray> rectangleAndFragments()
{
    QList<QByteArray> images;
    for (int k = 0; k < 3; ++k)
        images.append(encodeRecord({{k * 480, quint8(k + 1), 0, quint8(k + 1)}, 0x7F, 0x003F}));
    QList<int> outside;
    for (int m = 1; m <= MonthCount; ++m)
        for (int d = 1; d <= DayTypeCount; ++d)
            if (m > 6 || d == 8)
                outside.append((m - 1) * 8 + d - 1);
    for (int i = 0; images.size() < MaxMeterRecords; ++i) {
        const int cell = outside.at(i % outside.size());
        const Zone zone{1 + (i / int(outside.size())) * 97 + cell, quint8(i % 3 + 1), 0, quint8(i % 3 + 1)};
        images.append(encodeRecord({zone, quint8(GetMaska(cell % 8 + 1)), GetMaska(cell / 8 + 1)}));
    }
    return images;
}

struct Figures {
    double min = 0, median = 0, max = 0;
    int recordsAfter = 0;
};

// Runs prepare (untimed) and then op (timed) Repeats times on a fresh model.
Figures measure(const std::function<void(ScheduleModel &)> &prepare, const std::function<int(ScheduleModel &)> &op)
{
    QList<double> ms;
    Figures f;
    for (int n = 0; n < Repeats; ++n) {
        ScheduleModel model;
        prepare(model);
        QElapsedTimer timer;
        timer.start();
        f.recordsAfter = op(model);
        ms.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    f.min = ms.first();
    f.median = ms.at(ms.size() / 2);
    f.max = ms.last();
    return f;
}

void print(const char *what, int recordsBefore, const Figures &f)
{
    std::printf("%-58s %4d -> %4d records   min %7.3f ms   median %7.3f ms   max %7.3f ms\n", what, recordsBefore,
                f.recordsAfter, f.min, f.median, f.max);
}

} // namespace

int main()
{
    const QList<QByteArray> distinct = distinctRecords();
    const QList<QByteArray> mergeable = mergeableRecords();
    const QList<QByteArray> fragments = rectangleAndFragments();
    const CellFlags wholeYear = CellFlags::rectangle(1, 1, 12, 8);

    const auto load = [](const QList<QByteArray> &records, int month, int dayType) {
        return [records, month, dayType](ScheduleModel &model) {
            model.setCurrentCell(month, dayType);
            model.SetShedule(records);
        };
    };
    const auto selectYear = [&](ScheduleModel &model) {
        model.setSelectedCells(wholeYear);
        model.EquivalentDays();
        return model.EditDays();
    };

    std::printf("Schedule model, %d runs each\n", Repeats);
    print("EquivalentDays + EditDays, whole year from (1,1)", int(distinct.size()),
          measure(load(distinct, 1, 1), selectYear));
    print("EquivalentDays + EditDays, whole year from (12,8)", int(distinct.size()),
          measure(load(distinct, 12, 8), selectYear));
    print("EquivalentDays + EditDays, whole year from a 42-cell record", int(fragments.size()),
          measure(load(fragments, 3, 4), selectYear));
    print("EditDays alone, whole year from (6,4)", int(distinct.size()),
          measure(
              [&](ScheduleModel &model) {
                  load(distinct, 6, 4)(model);
                  model.setSelectedCells(wholeYear);
                  model.EquivalentDays();
              },
              [](ScheduleModel &model) { return model.EditDays(); }));
    print("InsertTZone with the whole year selected", int(distinct.size()),
          measure(
              [&](ScheduleModel &model) {
                  load(distinct, 1, 1)(model);
                  model.setSelectedCells(wholeYear);
              },
              [](ScheduleModel &model) {
                  model.InsertTZone({13 * 60 + 1, 2, 0, 2});
                  return model.recordCount();
              }));
    print("EquivalentDays alone", int(distinct.size()),
          measure(load(distinct, 1, 1), [](ScheduleModel &model) {
              model.EquivalentDays();
              return model.recordCount();
          }));
    print("normalisation, nothing to merge", int(distinct.size()),
          measure(load(distinct, 1, 1), [](ScheduleModel &model) {
              model.normaliseWorkList();
              return model.recordCount();
          }));
    print("normalisation, three contents in one-cell records", int(mergeable.size()),
          measure(load(mergeable, 1, 1), [](ScheduleModel &model) {
              model.normaliseWorkList();
              return model.recordCount();
          }));
    return 0;
}
