#include "OperationRecord.h"

#include "common/TextFormat.h"
#include "meter/MeterInfo.h"

#include <QDateTime>

namespace kelvar::db {

using meter::MeterInfo;

MeterSnapshot MeterSnapshot::of(const MeterInfo &info)
{
    MeterSnapshot s;
    s.version = info.mainValue(MeterInfo::RowVersion);
    s.type = info.mainValue(MeterInfo::RowType);
    s.operatingTime = info.mainValue(MeterInfo::RowOperatingTime);
    s.checksum = info.mainValue(MeterInfo::RowScheduleChecksum);
    s.corrections = info.mainValue(MeterInfo::RowCorrections);
    s.tariff[0] = info.addiValue(MeterInfo::RowTariff1);
    s.tariff[1] = info.addiValue(MeterInfo::RowTariff2);
    s.tariff[2] = info.addiValue(MeterInfo::RowTariff3);
    s.status = info.state().MeterStatus;
    s.delta = info.delta();
    return s;
}

std::optional<double> readDelta(const QString &text)
{
    bool ok = false;
    const double value = text::parseDecimal(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

bool clockKeptTime(const QString &deltaText)
{
    const double d = readDelta(deltaText).value_or(0.0);
    return d >= -3.0 && d <= 1.0;
}

QVariant OperationRecord::value(const char *name) const
{
    for (const Column &column : columns) {
        if (qstrcmp(column.name, name) == 0)
            return column.value;
    }
    return {};
}

namespace {

// A null of the column's type, so the driver binds it with that type.
template <typename T>
QVariant null()
{
    return QVariant(QMetaType::fromType<T>());
}

int readInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

double readNumber(const QString &text)
{
    bool ok = false;
    const double value = text::parseDecimal(text.trimmed(), &ok);
    return ok ? value : 0.0;
}

// The clock as the meter was set: whole seconds.
QDateTime programmedTime(const meter::SettingsValues &s)
{
    return QDateTime(s.date, QTime(s.time.hour(), s.time.minute(), s.time.second()));
}

} // namespace

OperationRecord buildOperationRecord(const MeterSnapshot &meter, const meter::SettingsValues *settings)
{
    const meter::SettingsValues *s = settings;
    const auto when = [](bool condition, const QVariant &value, const QVariant &nullValue) {
        return condition ? value : nullValue;
    };
    const bool link = s && s->writeLink;
    const bool time = s && s->writeTime;
    const bool billing = s && s->writeBilling;
    const std::optional<double> delta = readDelta(meter.delta);

    OperationRecord r;
    r.success = clockKeptTime(meter.delta);
    r.columns = {
        {"version", meter.version},
        {"el_type", meter.type},
        {"address", when(link, s ? s->newAddress : 0, null<int>())},
        {"baud", when(link, s ? meter::baudTexts().value(s->baudIndex) : QString(), null<QString>())},
        {"turn_on", meter.operatingTime},
        {"status", int(meter.status & 0xF8)},   // the state without the current tariff
        {"date_time", when(time, s ? programmedTime(*s) : QDateTime(), null<QDateTime>())},
        {"summer", when(time, s && s->summerTime, null<bool>())},
        {"check_sum", readInt(meter.checksum)},
        {"pass", when(s && s->writePassword, s ? s->newPassword : QString(), null<QString>())},
        {"t", readNumber(meter.tariff[0]) + readNumber(meter.tariff[1]) + readNumber(meter.tariff[2])},
        {"count_day", when(billing, s ? s->billingDay : 0, null<int>())},
        {"count_hour", when(billing, s ? s->billingHour : 0, null<int>())},
        {"ncorrect", readInt(meter.corrections)},
        {"indicator", when(s && s->writeDisplay, double(s ? s->displayMask : 0), null<double>())},
        {"time_integ", when(s && s->writeIntegration, s ? s->peakMinutes : 0, null<int>())},
        {"ddm_a", null<int>()},
        {"ddm_b", null<int>()},
        {"ddm_c", null<int>()},
        {"mode_tarif", null<int>()},
        {"secperday", delta ? QVariant(*delta) : null<double>()},
    };
    return r;
}

} // namespace kelvar::db
