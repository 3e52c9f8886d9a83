#pragma once
// One journal's list as rows of cell texts, always in the order of the
// captions' dates and times, with the meter number it was read from. A new
// row goes straight into its place (a binary search over the parsed
// captions), so a read of 256 entries costs 256 small insertions instead of
// 256 sorts. The bar charts are computed from it.

#include "journals/Journal.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

namespace kelvar::journals {

// The sort value of a text in the locale's formats: a date alone, a date and
// a time, or a time alone (a time alone lies on 30 December 1899, day 0 of
// the day count). Seconds since 1899-12-30 00:00:00; a text that does not
// read as a date or time gives UnparsedDateTime, which is earlier than any
// date.
constexpr qint64 UnparsedDateTime = std::numeric_limits<qint64>::min();
qint64 dateTimeSortValue(const QString &text);
QDateTime dateTimeOfSortValue(qint64 value); // invalid for UnparsedDateTime

// Compares two rows by the date-time in a column: key mod 100 is the column
// (0 the caption, k the k-th further cell), key div 100 above 0 sorts
// descending. -1 when row 1 goes first (its value is not later than row 2's),
// +1 otherwise; reversed for a descending key. A missing cell reads as empty.
int CompareRowsByDateTime(const QStringList &row1, const QStringList &row2, int key);

// The sum of the three tariff cells in energy counts (a cell that is not a
// number counts 0). Counting in whole counts keeps sums and differences free
// of binary rounding.
qint64 tariffTotalCounts(const QStringList &row);

// One bar of a chart: its place on the date-time axis and its height (kWh for
// the yearly and daily charts, kW for the profile), with the height as text.
struct ChartBar {
    QDateTime x;
    double value = 0;
    QString text;
    bool operator==(const ChartBar &) const = default;
};

bool hasChart(JournalKind kind);

class JournalTable
{
public:
    explicit JournalTable(JournalKind kind);

    JournalKind kind() const { return m_kind; }
    const QList<QStringList> &rows() const { return m_rows; }
    int size() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // The meter the rows were read from (initialMeterNumber before any read).
    quint32 meterNumber() const { return m_meterNumber; }
    void setMeterNumber(quint32 number) { m_meterNumber = number; }

    // Puts the row after every row whose caption is not later than its own;
    // returns the index it took.
    int insert(const QStringList &row);
    void clear();

    // The bars of the journal's chart (empty for a journal without chart):
    // yearly and daily, a bar at row R's date for every rise of the tariff
    // total from row R to row R + 1, as high as the rise; profile, a bar per
    // row at its time, as high as its average power.
    QList<ChartBar> chartBars() const;

private:
    JournalKind m_kind;
    QList<QStringList> m_rows;
    QList<qint64> m_keys;     // sort value of each row's caption
    QList<qint64> m_totals;   // tariff totals in counts (yearly and daily)
    quint32 m_meterNumber;
};

// The bars of a list of rows (put in date order first), as JournalTable::chartBars.
QList<ChartBar> chartBars(JournalKind kind, const QList<QStringList> &rows);

} // namespace kelvar::journals
