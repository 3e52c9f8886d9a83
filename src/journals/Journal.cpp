#include "Journal.h"

#include "common/TextFormat.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "meter/MeterInfo.h"

namespace kelvar::journals {

using namespace link;

namespace {

// Length bytes of a complete record of each journal.
int recordLength(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Yearly: return 28;
    case JournalKind::Daily: return 17;
    case JournalKind::Profile: return 105;
    case JournalKind::Settings: return 9;
    case JournalKind::PowerOn: return 8;
    }
    return 0;
}

constexpr int ProfileSlots = 48;
constexpr int SecondsPerWorkingUnit = 30;

// Day of month, month index and year - 2000 as plain numbers (daily and profile records).
QDate plainDate(const QByteArray &r, int offset)
{
    return QDate(2000 + byteAt(r, offset + 2), byteAt(r, offset + 1) + 1, byteAt(r, offset));
}

QStringList tariffCells(const QByteArray &r, int offset)
{
    return {energyText(readU32(r, offset)), energyText(readU32(r, offset + 4)), energyText(readU32(r, offset + 8))};
}

QList<QStringList> decodeYearly(const QByteArray &r)
{
    const QDate date(2000 + bcdDecode(byteAt(r, 5)), bcdDecode(byteAt(r, 4)), bcdDecode(byteAt(r, 3)));
    if (!date.isValid())
        return {};
    const quint32 peakSeconds = readU32(r, 21);
    QStringList row{text::shortDate(date)};
    row << tariffCells(r, 6);
    row << QString::number(readU24(r, 25));
    row << (peakSeconds == 0 ? QString() : text::dateTime(secondsSince2000(peakSeconds)));
    row << meter::FormatDuration(readU24(r, 18) * SecondsPerWorkingUnit);
    return {row};
}

QList<QStringList> decodeDaily(const QByteArray &r)
{
    const QDate date = plainDate(r, 2);
    if (!date.isValid())
        return {};
    return {QStringList{text::shortDate(date)} + tariffCells(r, 5)};
}

QList<QStringList> decodeProfile(const QByteArray &r)
{
    const QDate date = plainDate(r, 2);
    if (!date.isValid())
        return {};
    const QString dateText = text::shortDate(date) + QLatin1Char(' ');
    // The running reading stays in counts, so the 48th reading carries no
    // rounding left over from the 47 additions before it.
    qint64 reading = readU32(r, 5);
    QList<QStringList> rows;
    rows.reserve(ProfileSlots);
    for (int i = 0; i < ProfileSlots; ++i) {
        const quint16 increment = readU16(r, 9 + 2 * i);
        rows << QStringList{dateText + text::longTime(QTime(0, 0).addSecs(i * 1800)),
                            energyText(2 * qint64(increment)), energyText(increment), energyText(reading)};
        reading += increment;
    }
    return rows;
}

QList<QStringList> decodeSettings(const QByteArray &r)
{
    return {QStringList{text::dateTime(readSecondsSince2000(r, 3)), QString::number(byteAt(r, 8) + 1),
                        settingsParameterText(byteAt(r, 7))}};
}

QList<QStringList> decodePowerOn(const QByteArray &r)
{
    return {QStringList{text::dateTime(readSecondsSince2000(r, 3)), powerEventText(byteAt(r, 7))}};
}

} // namespace

const QList<JournalKind> &allJournalKinds()
{
    static const QList<JournalKind> kinds{JournalKind::Yearly, JournalKind::Daily, JournalKind::Profile,
                                          JournalKind::Settings, JournalKind::PowerOn};
    return kinds;
}

quint8 functionCode(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Yearly: return fn::ReadYearJournal;
    case JournalKind::Daily: return fn::ReadDayJournal;
    case JournalKind::Profile: return fn::ReadProfile;
    case JournalKind::Settings: return fn::ReadSettingsJournal;
    case JournalKind::PowerOn: return fn::ReadPowerJournal;
    }
    return 0;
}

bool kindOfCode(int code, JournalKind *kind)
{
    for (JournalKind k : allJournalKinds()) {
        if (functionCode(k) == code) {
            if (kind)
                *kind = k;
            return true;
        }
    }
    return false;
}

QList<QByteArray> journalRequests(JournalKind kind, const JournalParams &p)
{
    QList<QByteArray> frames;
    switch (kind) {
    case JournalKind::Yearly:
        for (int m = 0; m < 12; ++m)
            frames << readYearJournalRequest(m, p.year);
        break;
    case JournalKind::Daily:
        // Every day number goes out whatever the month's length; the meter
        // answers for the days that do not exist as it sees fit.
        for (int d = 1; d <= 31; ++d)
            frames << readDayJournalRequest(d, p.monthIndex, p.year);
        break;
    case JournalKind::Profile:
        frames << readProfileRequest(p.date.day(), p.date.month() - 1, p.date.year());
        break;
    case JournalKind::Settings:
    case JournalKind::PowerOn:
        for (int k = 0; k < 256; ++k)
            frames << (kind == JournalKind::Settings ? readSettingsJournalRequest(quint8(k))
                                                     : readPowerJournalRequest(quint8(k)));
        break;
    }
    return frames;
}

const QList<JournalColumn> &journalColumns(JournalKind kind)
{
    static const QList<JournalColumn> year{{QStringLiteral("Дата"), 120},          {QStringLiteral("1 тариф"), 65},
                                           {QStringLiteral("2 тариф"), 65},       {QStringLiteral("3 тариф"), 65},
                                           {QStringLiteral("Пик мощн., Вт"), 90}, {QStringLiteral("Вр. пика"), 70},
                                           {QStringLiteral("Время работы"), 90}};
    static const QList<JournalColumn> day{{QStringLiteral("Дата"), 120},
                                          {QStringLiteral("1 тариф"), 65},
                                          {QStringLiteral("2 тариф"), 65},
                                          {QStringLiteral("3 тариф"), 65}};
    static const QList<JournalColumn> profile{{QStringLiteral("Время"), 120},
                                              {QStringLiteral("Средняя мощность, кВт"), 140},
                                              {QStringLiteral("Прирост показаний, кВт.ч."), 150},
                                              {QStringLiteral("Показание, кВт.ч."), 120}};
    static const QList<JournalColumn> settings{{QStringLiteral("Время"), 120},
                                               {QStringLiteral("Счетчик коррекций"), 120},
                                               {QStringLiteral("Параметр"), 300}};
    static const QList<JournalColumn> power{{QStringLiteral("Время"), 120}, {QStringLiteral("Событие"), 300}};
    switch (kind) {
    case JournalKind::Yearly: return year;
    case JournalKind::Daily: return day;
    case JournalKind::Profile: return profile;
    case JournalKind::Settings: return settings;
    case JournalKind::PowerOn: return power;
    }
    return power;
}

QStringList journalCaptions(JournalKind kind)
{
    QStringList captions;
    for (const JournalColumn &c : journalColumns(kind))
        captions << c.caption;
    return captions;
}

quint32 initialMeterNumber(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Yearly: return 1;
    case JournalKind::Daily: return 2;
    case JournalKind::Profile: return 3;
    case JournalKind::Settings:
    case JournalKind::PowerOn: return 0;
    }
    return 0;
}

QList<QStringList> decodeJournalResponse(const QByteArray &response)
{
    JournalKind kind;
    if (!kindOfCode(byteAt(response, 0), &kind) || byteAt(response, 1) != recordLength(kind))
        return {};
    switch (kind) {
    case JournalKind::Yearly: return decodeYearly(response);
    case JournalKind::Daily: return decodeDaily(response);
    case JournalKind::Profile: return decodeProfile(response);
    case JournalKind::Settings: return decodeSettings(response);
    case JournalKind::PowerOn: return decodePowerOn(response);
    }
    return {};
}

QString settingsParameterText(int code)
{
    switch (code) {
    case 0: return QStringLiteral("Связь Rs-485");
    case 1: return QStringLiteral("Время");
    case 2: return QStringLiteral("Коэффициент лимита мощности");
    case 3: return QStringLiteral("Пароль");
    case 4: return QStringLiteral("Интегрирование пиковой мощности");
    case 5: return QStringLiteral("Расчетный час и день");
    case 6: return QStringLiteral("Сброс показаний РДЧ");
    case 7: return QStringLiteral("Режим индикации");
    case 8: return QStringLiteral("Описание");
    case 15: return QStringLiteral("Период усреднения мощности");
    default: return QString::number(code);
    }
}

QString powerEventText(int code)
{
    switch (code) {
    case 0: return QStringLiteral("Счетчик выключен");
    case 1: return QStringLiteral("Счетчик включен");
    default: return {};
    }
}

QString energyText(qint64 counts)
{
    return text::decimal(double(counts) * kWhPerCount);
}

} // namespace kelvar::journals
