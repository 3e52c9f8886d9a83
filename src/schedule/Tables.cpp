#include "Tables.h"

#include "link/Encoding.h"

#include <algorithm>

namespace kelvar::schedule {

using link::bcdDecode;
using link::bcdEncode;
using link::byteAt;

namespace {

bool isHoliday(int day, int month)
{
    return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

bool isTransfer(const Transfer &t)
{
    return t.date.isValid() && t.date.year() >= 2000 && t.date.year() <= 2099 && t.dayType >= 1
        && t.dayType <= 8;
}

void appendBcd(QByteArray &bytes, int value)
{
    bytes.append(static_cast<char>(bcdEncode(value)));
}

// The entries in list order while they fit, then 00 up to the table's size.
// appendEntry leaves out an entry the table cannot carry.
template<typename Entry, typename AppendEntry>
QByteArray encodeEntries(const QList<Entry> &entries, int tableSize, AppendEntry appendEntry)
{
    QByteArray table;
    table.reserve(tableSize);
    for (const Entry &e : entries) {
        if (table.size() == tableSize)
            break;
        appendEntry(table, e);
    }
    return table.leftJustified(tableSize, '\0');
}

} // namespace

QList<Holiday> defaultHolidays()
{
    return {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {7, 1}, {23, 2}, {8, 3}, {1, 5}, {9, 5}, {12, 6}, {4, 11}};
}

std::optional<QList<Holiday>> decodeHolidayTable(const QByteArray &table)
{
    if (table.size() != HolidayTableSize)
        return std::nullopt;
    QList<Holiday> holidays;
    for (int i = 0; i < TableEntries; ++i) {
        const int day = bcdDecode(byteAt(table, 2 * i));
        const int month = bcdDecode(byteAt(table, 2 * i + 1));
        if (isHoliday(day, month))
            holidays.append({day, month});
    }
    return holidays;
}

QByteArray encodeHolidayTable(const QList<Holiday> &holidays)
{
    return encodeEntries(holidays, HolidayTableSize, [](QByteArray &table, const Holiday &h) {
        if (!isHoliday(h.day, h.month))
            return;
        appendBcd(table, h.day);
        appendBcd(table, h.month);
    });
}

int holidayInsertPosition(const QList<Holiday> &holidays, const Holiday &holiday)
{
    const auto later = std::find_if(holidays.cbegin(), holidays.cend(), [&](const Holiday &h) {
        return h.month > holiday.month || (h.month == holiday.month && h.day >= holiday.day);
    });
    return static_cast<int>(later - holidays.cbegin());
}

bool insertHoliday(QList<Holiday> &holidays, const Holiday &holiday)
{
    if (!canAddEntry(static_cast<int>(holidays.size())) || !isHoliday(holiday.day, holiday.month))
        return false;
    holidays.insert(holidayInsertPosition(holidays, holiday), holiday);
    return true;
}

int lastHolidayDay(int month)
{
    switch (month) {
    case 2:
        return 29;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;
    }
}

std::optional<QList<Transfer>> decodeTransferTable(const QByteArray &table)
{
    if (table.size() != TransferTableSize)
        return std::nullopt;
    QList<Transfer> transfers;
    for (int i = 0; i < TableEntries; ++i) {
        const int day = bcdDecode(byteAt(table, 4 * i));
        const int month = bcdDecode(byteAt(table, 4 * i + 1));
        const int year = bcdDecode(byteAt(table, 4 * i + 2));
        // A year past 99 could not be written back as two BCD digits.
        if (!isHoliday(day, month) || year > 99)
            continue;
        const Transfer t{QDate(2000 + year, month, day), byteAt(table, 4 * i + 3)};
        if (isTransfer(t))
            transfers.append(t);
    }
    return transfers;
}

QByteArray encodeTransferTable(const QList<Transfer> &transfers)
{
    return encodeEntries(transfers, TransferTableSize, [](QByteArray &table, const Transfer &t) {
        if (!isTransfer(t))
            return;
        appendBcd(table, t.date.day());
        appendBcd(table, t.date.month());
        appendBcd(table, t.date.year() - 2000);
        table.append(static_cast<char>(t.dayType));
    });
}

int transferInsertPosition(const QList<Transfer> &transfers, const Transfer &transfer)
{
    const auto later = std::find_if(transfers.cbegin(), transfers.cend(),
                                    [&](const Transfer &t) { return t.date > transfer.date; });
    return static_cast<int>(later - transfers.cbegin());
}

bool insertTransfer(QList<Transfer> &transfers, const Transfer &transfer)
{
    if (!canAddEntry(static_cast<int>(transfers.size())) || !isTransfer(transfer))
        return false;
    transfers.insert(transferInsertPosition(transfers, transfer), transfer);
    return true;
}

double powerLimitWatts(int limit, int coefficient)
{
    return limit * 1000.0 / std::max(coefficient, 1);
}

QString tooManyRecordsMessage(int recordCount)
{
    return QStringLiteral("Число записей тарифного расписания (%1) больше, чем может принять счетчик (%2).")
        .arg(recordCount)
        .arg(MaxMeterRecords);
}

QString monthName(int month)
{
    static const char *const names[12] = {"январь", "февраль", "март",     "апрель",  "май",    "июнь",
                                          "июль",   "август",  "сентябрь", "октябрь", "ноябрь", "декабрь"};
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

QString dayTypeName(int dayType)
{
    static const char *const names[8] = {"понедельник", "вторник",  "среда",       "четверг",
                                         "пятница",     "суббота", "воскресенье", "праздник"};
    return dayType >= 1 && dayType <= 8 ? QString::fromUtf8(names[dayType - 1]) : QString();
}

} // namespace kelvar::schedule
