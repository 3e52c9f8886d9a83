#include "MeterInfo.h"

#include "common/TextFormat.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"

#include <QJsonArray>

#include <cmath>

namespace kelvar::meter {

using link::bcdDecode;
using link::byteAt;
namespace fn = link::fn;

QString FormatDuration(quint32 s)
{
    const quint32 days = s / 86400;
    QString text = QStringLiteral("%1:%2:%3")
                       .arg((s % 86400) / 3600, 2, 10, QLatin1Char('0'))
                       .arg((s % 3600) / 60, 2, 10, QLatin1Char('0'))
                       .arg(s % 60, 2, 10, QLatin1Char('0'));
    if (days > 0)
        text.prepend(QString::number(days) + QStringLiteral("д."));
    return text;
}

QString meterTypeText(int modelCode)
{
    return QStringLiteral("Kelvar %1.%2").arg(modelCode / 100).arg(modelCode % 100, 2, 10, QLatin1Char('0'));
}

QString softwareVersionText(const QByteArray &r)
{
    if (link::readSoftwareVersion(r, 4) / 100 != 517)
        return {};
    return QStringLiteral("%1.%2").arg(bcdDecode(byteAt(r, 3))).arg(bcdDecode(byteAt(r, 2)));
}

QString serialNumberText(quint32 number)
{
    return number > 0 ? QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0')) : QStringLiteral("0");
}

const QStringList &MeterInfo::mainCaptions()
{
    static const QStringList captions = {
        QStringLiteral("Тип"),
        QStringLiteral("Заводской номер"),
        QStringLiteral("Версия ПО"),
        QStringLiteral("Откалиброван"),
        QStringLiteral("Описание"),
        QString(),
        QStringLiteral("Дата / время"),
        QStringLiteral("Автопереход на летнее время"),
        QStringLiteral("Тест часов"),
        QString(),
        QStringLiteral("Расчетный день"),
        QStringLiteral("Расчетный час"),
        QStringLiteral("Контрольная сумма тарифного расписания"),
        QString(),
        QStringLiteral("Время интегрирования пиковой мощности Pинт, мин."),
        QStringLiteral("Время интегрирования при переходе на штрафной тариф, сек."),
        QString(),
        QStringLiteral("Время работы"),
        QStringLiteral("Счетчик коррекций"),
        QStringLiteral("Текущий тариф"),
        QStringLiteral("Температура"),
    };
    return captions;
}

const QStringList &MeterInfo::addiCaptions()
{
    static const QStringList captions = {
        QStringLiteral("Суммарное потребление"),
        QString(),
        QStringLiteral("1 тариф"),
        QStringLiteral("2 тариф"),
        QStringLiteral("3 тариф"),
        QString(),
        QStringLiteral("1 тариф на РДЧ"),
        QStringLiteral("2 тариф на РДЧ"),
        QStringLiteral("3 тариф на РДЧ"),
        QString(),
        QStringLiteral("Фаза А"),
        QStringLiteral("Фаза В"),
        QStringLiteral("Фаза С"),
        QString(),
        QStringLiteral("Текущая мощность, Вт"),
        QString(),
        QStringLiteral("Пиковая мощность Pинт, Вт"),
        QStringLiteral("Время фиксации"),
        QString(),
        QStringLiteral("Пиковая мощность на РДЧ Pрдч, Вт"),
        QStringLiteral("Время фиксации"),
    };
    return captions;
}

const QList<quint8> &MeterInfo::codes()
{
    static const QList<quint8> list = {
        fn::ReadVersion, fn::ReadNumber, fn::ReadTime, fn::ReadSchedule, fn::ReadLoadPower,
        fn::ReadDisplay, fn::ReadReadings, fn::ReadCounters, fn::ReadPhaseReadings, fn::ReadIntegration,
        fn::ReadBilling, fn::ReadPeaks, fn::ReadCalibrationDate, fn::ReadTemperature,
        fn::ReadDescription, fn::ReadAveraging,
    };
    return list;
}

MeterInfo::MeterInfo(MeterState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_now([] { return QDateTime::currentDateTime(); })
{
    for (int i = 0; i < RowCount; ++i) {
        m_main.append(QString());
        m_addi.append(QString());
    }
}

void MeterInfo::setMain(int row, const QString &text)
{
    if (m_main[row] == text)
        return;
    m_main[row] = text;
    emit mainRowChanged(row, text);
}

void MeterInfo::setAddi(int row, const QString &text)
{
    if (m_addi[row] == text)
        return;
    m_addi[row] = text;
    emit addiRowChanged(row, text);
}

void MeterInfo::setDelta(const QString &text)
{
    if (m_delta == text)
        return;
    m_delta = text;
    emit deltaChanged(text);
}

// Energy as a typed value: the counts' kWh to five decimals (a count is
// 0.00025 kWh), without the binary fraction's tail.
static double kWh(const QByteArray &r, int offset)
{
    return std::round(link::readEnergyKWh(r, offset) * 1e5) / 1e5;
}

// A date and time as a typed value: ISO text, or null when there is none.
static QJsonValue isoTime(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toString(Qt::ISODate)) : QJsonValue();
}

// A time stamp in seconds since 2000; 0 means that none is recorded.
static bool readStamp(const QByteArray &r, int offset, QString *text)
{
    if (link::readU32(r, offset) == 0)
        return false;
    *text = text::dateTime(link::readSecondsSince2000(r, offset));
    return true;
}

bool MeterInfo::decode(const QByteArray &r)
{
    if (r.isEmpty())
        return false;
    const quint8 code = byteAt(r, 0);
    const quint8 length = byteAt(r, 1);
    switch (code) {
    case fn::ReadVersion:
        decodeVersion(r);
        return true;
    case fn::ReadNumber:
        decodeNumber(r);
        return true;
    case fn::ReadTime:
        decodeClock(r);
        return true;
    case fn::ReadSchedule:
        // Only the checksum reply is ours; the record replies belong to the schedule.
        if (length != 4)
            return false;
        setMain(RowScheduleChecksum, QString::number(link::readU16(r, 2)));
        m_typed[QStringLiteral("scheduleChecksum")] = link::readU16(r, 2);
        return true;
    case fn::ReadLoadPower:
        setAddi(RowLoadPower, text::fixed(link::readU24(r, 2) / 10.0, 1));
        m_typed[QStringLiteral("loadPowerW")] = link::readU24(r, 2) / 10.0;
        return true;
    case fn::ReadDisplay:
        m_typed[QStringLiteral("displayMask")] = byteAt(r, 2);
        if (m_mask != byteAt(r, 2) || !m_maskKnown) {
            m_mask = byteAt(r, 2);
            m_maskKnown = true;
            emit displayMaskChanged(m_mask);
        }
        return true;
    case fn::ReadReadings:
        decodeReadings(r);
        return true;
    case fn::ReadCounters:
        setMain(RowOperatingTime, FormatDuration(link::readU24(r, 2) * 30u));
        setMain(RowCorrections, QString::number(byteAt(r, 5)));
        m_typed[QStringLiteral("operatingSeconds")] = qint64(link::readU24(r, 2)) * 30;
        m_typed[QStringLiteral("corrections")] = byteAt(r, 5);
        return true;
    case fn::ReadPhaseReadings: {
        QJsonArray phases;
        for (int i = 0; i < 3; ++i) {
            setAddi(RowPhaseA + i, text::decimal(link::readEnergyKWh(r, 2 + 4 * i)));
            phases << kWh(r, 2 + 4 * i);
        }
        m_typed[QStringLiteral("phasesKWh")] = phases;
        return true;
    }
    case fn::ReadIntegration:
        setMain(RowPeakIntegration, QString::number(byteAt(r, 2) + 1));
        m_typed[QStringLiteral("peakIntegrationMinutes")] = byteAt(r, 2) + 1;
        return true;
    case fn::ReadBilling:
        setMain(RowBillingDay, QString::number(bcdDecode(byteAt(r, 3))));
        setMain(RowBillingHour, QString::number(bcdDecode(byteAt(r, 2))));
        m_typed[QStringLiteral("billingDay")] = bcdDecode(byteAt(r, 3));
        m_typed[QStringLiteral("billingHour")] = bcdDecode(byteAt(r, 2));
        return true;
    case fn::ReadPeaks:
        decodePeaks(r);
        return true;
    case fn::ReadCalibrationDate: {
        QString text;
        const bool calibrated = readStamp(r, 2, &text);
        setMain(RowCalibrated, text);
        m_typed[QStringLiteral("calibrated")] = calibrated ? isoTime(link::readSecondsSince2000(r, 2)) : QJsonValue();
        return true;
    }
    case fn::ReadTemperature: {
        const int t = static_cast<qint8>(byteAt(r, 2));
        setMain(RowTemperature, t < 0 ? QString::number(t) : QLatin1Char('+') + QString::number(t));
        m_typed[QStringLiteral("temperature")] = t;
        return true;
    }
    case fn::ReadDescription: {
        QString text;
        if (length == 50) {
            QByteArray bytes = r.mid(2, link::DescriptionSize);
            const qsizetype zero = bytes.indexOf('\0');
            if (zero >= 0)
                bytes.truncate(zero);
            text = text::fromCp1251(bytes);
        }
        setMain(RowDescription, text);
        m_typed[QStringLiteral("description")] = text;
        return true;
    }
    case fn::ReadAveraging:
        setMain(RowPenaltyIntegration, QString::number(byteAt(r, 2)));
        m_typed[QStringLiteral("penaltyIntegrationSeconds")] = byteAt(r, 2);
        return true;
    default:
        return false;
    }
}

void MeterInfo::decodeVersion(const QByteArray &r)
{
    m_state.ModelCode = static_cast<int>(link::readSoftwareVersion(r, 4));
    setMain(RowType, meterTypeText(m_state.ModelCode));
    // Other models number their software differently; their row is left alone.
    m_typed[QStringLiteral("modelCode")] = m_state.ModelCode;
    if (const QString version = softwareVersionText(r); !version.isEmpty()) {
        setMain(RowVersion, version);
        m_typed[QStringLiteral("version")] = version;
    }
}

void MeterInfo::decodeNumber(const QByteArray &r)
{
    m_state.MeterNumber = link::readSerialNumber(r, 2);
    const quint32 number = m_state.MeterNumber;
    const QString text = serialNumberText(number);
    const bool isNew = text != m_main[RowNumber];
    if (m_production && isNew)
        m_state.LastSetTime = m_lookup ? m_lookup(number) : QDateTime();
    m_typed[QStringLiteral("number")] = qint64(number);
    emit meterNumberRead(number, isNew);
    setMain(RowNumber, text);
}

void MeterInfo::decodeClock(const QByteArray &r)
{
    const link::MeterClock clock = link::decodeMeterClock(r, 2);
    m_state.MeterTime = clock.time;
    // This row always shows the time, midnight included (only log and report
    // lines leave out a midnight time).
    setMain(RowDateTime, clock.time.isValid()
                             ? text::shortDate(clock.time.date()) + QLatin1Char(' ') + text::longTime(clock.time.time())
                             : QStringLiteral("?"));
    m_state.MeterStatus = clock.status;
    QString test;
    if (clock.timeNotSet)
        test += QStringLiteral("Время не установлено. ");
    if (clock.clockFault)
        test += QStringLiteral("Неисправность ЧРВ.");
    setMain(RowClockTest, test.isEmpty() ? QStringLiteral("Ok") : test);
    setMain(RowSummerTime, clock.summerTime ? QStringLiteral("да") : QStringLiteral("нет"));
    setMain(RowTariff, QString::number(clock.tariff));
    m_typed[QStringLiteral("clock")] = isoTime(clock.time);
    m_typed[QStringLiteral("summerTime")] = clock.summerTime;
    m_typed[QStringLiteral("timeNotSet")] = clock.timeNotSet;
    m_typed[QStringLiteral("clockFault")] = clock.clockFault;
    m_typed[QStringLiteral("tariff")] = clock.tariff;
    setDelta(QString());
    if (m_production)
        updateDrift();
}

// Seconds of meter clock error per day since the meter was last programmed,
// averaged over the clock reads of this meter. Needs a valid meter time and a
// programming time at least half a day old.
void MeterInfo::updateDrift()
{
    if (!m_state.MeterTime.isValid() || !m_state.LastSetTime.isValid())
        return;
    const QDateTime now = m_now();
    const double sinceSet = m_state.LastSetTime.msecsTo(now) / 1000.0;
    if (sinceSet <= 43200.0)
        return;
    const double error = now.msecsTo(m_state.MeterTime) / 1000.0;
    m_state.DriftSum += error / sinceSet * 86400.0;
    m_state.DriftCount += 1;
    setDelta(text::fixed(m_state.DriftSum / m_state.DriftCount, 2));
}

void MeterInfo::decodeReadings(const QByteArray &r)
{
    for (int i = 0; i < 3; ++i) {
        setAddi(RowTariff1 + i, text::decimal(link::readEnergyKWh(r, 2 + 4 * i)));
        setAddi(RowBilling1 + i, text::decimal(link::readEnergyKWh(r, 18 + 4 * i)));
    }
    // The total is the sum of what the three tariff rows show.
    double total = 0;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double v = text::parseDecimal(m_addi[RowTariff1 + i], &ok);
        if (ok)
            total += v;
    }
    setAddi(RowTotal, text::decimal(total));
    QJsonArray tariffs;
    QJsonArray billing;
    for (int i = 0; i < 3; ++i) {
        tariffs << kWh(r, 2 + 4 * i);
        billing << kWh(r, 18 + 4 * i);
    }
    m_typed[QStringLiteral("tariffsKWh")] = tariffs;
    m_typed[QStringLiteral("billingTariffsKWh")] = billing;
    m_typed[QStringLiteral("totalKWh")] = std::round(total * 1e5) / 1e5;
}

void MeterInfo::decodePeaks(const QByteArray &r)
{
    if (byteAt(r, 1) != 16)
        return;
    QString text;
    if (readStamp(r, 2, &text))
        setAddi(RowPeakTime, text);
    setAddi(RowPeakPower, QString::number(link::readU24(r, 6)));
    m_typed[QStringLiteral("peakPowerW")] = qint64(link::readU24(r, 6));
    m_typed[QStringLiteral("billingPeakPowerW")] = qint64(link::readU24(r, 13));
    if (link::readU32(r, 2) != 0)
        m_typed[QStringLiteral("peakTime")] = isoTime(link::readSecondsSince2000(r, 2));
    if (link::readU32(r, 9) != 0)
        m_typed[QStringLiteral("billingPeakTime")] = isoTime(link::readSecondsSince2000(r, 9));
    if (readStamp(r, 9, &text))
        setAddi(RowBillingPeakTime, text);
    setAddi(RowBillingPeakPower, QString::number(link::readU24(r, 13)));
}

void MeterInfo::ResetMeterInfo()
{
    m_state.clear();
    for (int i = 0; i < RowCount; ++i) {
        setMain(i, QString());
        setAddi(i, QString());
    }
    setDelta(QString());
    m_typed = QJsonObject();
    emit infoReset();
}

void registerMeterInfo(ResponseDispatcher &dispatcher, MeterInfo &info, ResponseDispatcher::Owner scheduleRecords)
{
    QList<int> codes;
    for (quint8 code : MeterInfo::codes())
        codes << code;
    dispatcher.registerOwner(codes, [&info, scheduleRecords](const QByteArray &response, const QByteArray &request) {
        if (!info.decode(response) && scheduleRecords)
            scheduleRecords(response, request);
    });
}

} // namespace kelvar::meter
