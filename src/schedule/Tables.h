#pragma once
// The holiday table, the transfer table and the limit coefficient of the
// schedule image, and the rules by which the holiday and transfer lists are
// built from those tables (SetCel, SetTrans), turned back into them (GetCel,
// GetTrans) and grown by the operator.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace kelvar::schedule {

// --- Holidays: day and month, every year ------------------------------------
struct Holiday {
    int day = 1;   // 1..31
    int month = 1; // 1..12
    friend bool operator==(const Holiday &, const Holiday &) = default;
};

constexpr int TableEntries = 16;
constexpr int HolidayTableSize = 32;  // 16 entries: day BCD, month BCD
constexpr int TransferTableSize = 64; // 16 entries: day, month, year - 2000 (BCD), day type

// 1, 2, 3, 4, 5 and 7 January, 23 February, 8 March, 1 and 9 May, 12 June, 4 November.
QList<Holiday> defaultHolidays();

// The holidays of a 32-byte table, in table order; entries whose day is not
// 1..31 or whose month is not 1..12 are skipped (the day is not checked
// against the month). Nothing for a table of any other length.
std::optional<QList<Holiday>> decodeHolidayTable(const QByteArray &table);
// 32 bytes: the holidays in list order, then 00 up to the end. Only the first
// 16 fit; an entry out of range is left out, as the table could not carry it.
QByteArray encodeHolidayTable(const QList<Holiday> &holidays);

// Where a new holiday goes: before the first one of a later month, or of the
// same month and the same or a later day; at the end when there is none.
int holidayInsertPosition(const QList<Holiday> &holidays, const Holiday &holiday);
// Inserts there; false, and nothing changes, when the list is full or the entry is invalid.
bool insertHoliday(QList<Holiday> &holidays, const Holiday &holiday);

// The last day a holiday of the month may have: 29 for February, 30 for
// April, June, September and November, 31 otherwise.
int lastHolidayDay(int month);

// --- Transfers: a date worked by the programme of a day type --------------
struct Transfer {
    QDate date;      // 2000-01-01 .. 2099-12-31
    int dayType = 1; // 1..8
    friend bool operator==(const Transfer &, const Transfer &) = default;
};

// The transfers of a 64-byte table, in table order; entries that do not form
// a valid date of 2000..2099 or whose day type is not 1..8 are skipped.
// Nothing for a table of any other length.
std::optional<QList<Transfer>> decodeTransferTable(const QByteArray &table);
// 64 bytes: the transfers in list order, then 00 up to the end; as above,
// at most 16 and only those decodeTransferTable would accept.
QByteArray encodeTransferTable(const QList<Transfer> &transfers);

// Where a new transfer goes: after every transfer of the same or an earlier
// date, before the first later one.
int transferInsertPosition(const QList<Transfer> &transfers, const Transfer &transfer);
// Inserts there; false, and nothing changes, when the list is full or the entry is invalid.
bool insertTransfer(QList<Transfer> &transfers, const Transfer &transfer);

// True while a list may take another entry.
constexpr bool canAddEntry(int count)
{
    return count < TableEntries;
}

// --- Limit coefficient ------------------------------------------------------
// The coefficient as the operator's spin box holds it: 1..255, a 0 read from
// a meter or a file becomes 1.
constexpr quint8 limitCoefficient(quint8 byte)
{
    return byte == 0 ? 1 : byte;
}
// The power limit of a zone in watts: limit x 1000 / coefficient.
double powerLimitWatts(int limit, int coefficient);

// --- The meter's zone slots ---------------------------------------------------
// The meter keeps zone records in slots 0..255 and the write fills them from
// slot 2 on, so at most 254 records fit.
constexpr int FirstZoneSlot = 2;
constexpr int MaxMeterRecords = 256 - FirstZoneSlot;
constexpr bool fitsInMeter(int recordCount)
{
    return recordCount <= MaxMeterRecords;
}
// The message that refuses writing a schedule of too many records.
QString tooManyRecordsMessage(int recordCount);

// --- Names as the lists and drop-downs show them ------------------------------
// "январь".."декабрь" for months 1..12; "понедельник".."воскресенье",
// "праздник" for day types 1..8; "" outside the range.
QString monthName(int month);
QString dayTypeName(int dayType);

} // namespace kelvar::schedule
