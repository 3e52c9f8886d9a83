#include "ProgrammingRecord.h"

#include "link/ExchangeEngine.h"
#include "meter/MeterInfo.h"
#include "meter/SettingsBatch.h"
#include "platform/Platform.h"
#include "schedule/ScheduleExchange.h"
#include "schedule/TariffColors.h"

#include <algorithm>

namespace kelvar::report {

namespace {

using schedule::DayTypeCount;
using schedule::MonthCount;

size_t cellIndex(int month, int dayType)
{
    return size_t((month - 1) * DayTypeCount + dayType - 1);
}

// "ЯНВ–МАР, ОКТ–ДЕК": runs of consecutive months.
QString monthRuns(const QList<int> &months)
{
    QStringList runs;
    for (int i = 0; i < months.size();) {
        int j = i;
        while (j + 1 < months.size() && months.at(j + 1) == months.at(j) + 1)
            ++j;
        runs << (j == i ? schedule::monthShortName(months.at(i))
                        : schedule::monthShortName(months.at(i)) + QStringLiteral("–")
                              + schedule::monthShortName(months.at(j)));
        i = j + 1;
    }
    return runs.join(QStringLiteral(", "));
}

} // namespace

QList<DayProgramme> dayProgrammes(const QList<schedule::ZoneRecord> &records,
                                  std::array<int, schedule::CellCount> *cellProgramme)
{
    QList<DayProgramme> programmes;
    cellProgramme->fill(-1);
    for (int d = 1; d <= DayTypeCount; ++d) {
        for (int m = 1; m <= MonthCount; ++m) {
            QList<schedule::Zone> zones;
            for (const schedule::ZoneRecord &r : records) {
                if (r.covers(m, d))
                    zones << r.zone;
            }
            if (zones.isEmpty())
                continue;
            std::stable_sort(zones.begin(), zones.end(),
                             [](const schedule::Zone &a, const schedule::Zone &b) { return a.start < b.start; });
            const auto same = std::find_if(programmes.begin(), programmes.end(),
                                           [&zones](const DayProgramme &p) { return p.zones == zones; });
            const int index = same == programmes.end() ? int(programmes.size()) : int(same - programmes.begin());
            if (same == programmes.end())
                programmes << DayProgramme{zones, {}};
            programmes[index].cells.set(m, d);
            (*cellProgramme)[cellIndex(m, d)] = index;
        }
    }
    return programmes;
}

QString cellsText(const schedule::CellFlags &cells)
{
    QList<QList<int>> monthsOf; // per day type
    for (int d = 1; d <= DayTypeCount; ++d) {
        QList<int> months;
        for (int m = 1; m <= MonthCount; ++m) {
            if (cells.at(m, d))
                months << m;
        }
        monthsOf << months;
    }
    QStringList lines;
    QList<bool> done(DayTypeCount, false);
    for (int d = 0; d < DayTypeCount; ++d) {
        if (done.at(d) || monthsOf.at(d).isEmpty())
            continue;
        QStringList days;
        for (int e = d; e < DayTypeCount; ++e) {
            if (!done.at(e) && monthsOf.at(e) == monthsOf.at(d)) {
                days << schedule::dayTypeShortName(e + 1);
                done[e] = true;
            }
        }
        lines << days.join(QStringLiteral(", ")) + QStringLiteral(": ") + monthRuns(monthsOf.at(d));
    }
    return lines.join(QStringLiteral("; "));
}

std::optional<ProgrammingRecord> makeRecord(const meter::MeterInfo &info, const LinkSettings &link,
                                            const schedule::ScheduleImage &image, quint16 computedChecksum,
                                            const ReadContext &context, QString *error)
{
    QList<schedule::ZoneRecord> records;
    for (const QByteArray &bytes : image.records) {
        const auto record = schedule::decodeRecord(bytes, error);
        if (!record)
            return std::nullopt;
        records << *record;
    }

    ProgrammingRecord r;
    const auto line = [&info](int row) {
        return RecordLine{meter::MeterInfo::mainCaptions().at(row), info.mainValue(row)};
    };
    using M = meter::MeterInfo;
    r.serialNumber = info.mainValue(M::RowNumber);
    for (int row : {M::RowType, M::RowNumber, M::RowVersion, M::RowCalibrated, M::RowDescription})
        r.meter << line(row);
    for (int row : {M::RowDateTime, M::RowClockTest, M::RowSummerTime, M::RowBillingDay, M::RowBillingHour,
                    M::RowPeakIntegration, M::RowPenaltyIntegration})
        r.settings << line(row);
    QStringList shown;
    for (int bit = 0; bit < meter::displayItemTexts().size(); ++bit) {
        if ((info.displayMask() >> bit) & 1)
            shown << meter::displayItemTexts().at(bit);
    }
    r.settings << RecordLine{QStringLiteral("Индикатор"), shown.isEmpty() ? QStringLiteral("—") : shown.join(QStringLiteral(", "))}
               << RecordLine{QStringLiteral("Адрес"), QString::number(link.address)}
               << RecordLine{QStringLiteral("Скорость обмена, бод"), meter::baudTexts().value(link.baudIndex)}
               << RecordLine{QStringLiteral("Тип протокола"), meter::protocolTexts().value(link.protocolIndex)}
               << RecordLine{QStringLiteral("Четность"), meter::parityTexts().value(link.parityIndex)};

    r.programmes = dayProgrammes(records, &r.cellProgramme);
    r.holidays = schedule::decodeHolidayTable(image.holidayTable).value_or(QList<schedule::Holiday>{});
    r.transfers = schedule::decodeTransferTable(image.transferTable).value_or(QList<schedule::Transfer>{});
    r.limitCoefficient = schedule::limitCoefficient(image.limitCoefficient);
    r.reportedChecksum = info.mainValue(M::RowScheduleChecksum);
    r.computedChecksum = computedChecksum;
    r.context = context;
    return r;
}

std::optional<ProgrammingRecord> recordOfRead(const meter::MeterInfo &info, const link::ExchangeEngine &engine,
                                              const schedule::ScheduleExchange &schedule, const ReadContext &context,
                                              QString *error)
{
    const LinkSettings link{engine.address(), engine.protocol() == link::Protocol::Modbus ? 1 : 0, engine.baudIndex(),
                            engine.parityIndex()};
    return makeRecord(info, link, schedule.result(), schedule.readChecksum(), context, error);
}

ReadContext thisWorkstation()
{
    ReadContext context;
    context.workstation = platform::computerName();
    context.operatorName = platform::userName();
    context.readAt = QDateTime::currentDateTime();
    const auto store = schedule::openTariffColorStore();
    context.tariffColors = schedule::tariffColors(schedule::readZoneColors(*store));
    return context;
}

} // namespace kelvar::report
