#include "JournalTable.h"

#include "common/TextFormat.h"
#include "link/Encoding.h"

#include <algorithm>
#include <cmath>

namespace kelvar::journals {

namespace {

const QDate DayZero(1899, 12, 30);
constexpr qint64 SecondsPerDay = 86400;

qint64 sortValue(const QDate &date, const QTime &time)
{
    return DayZero.daysTo(date) * SecondsPerDay + QTime(0, 0).secsTo(time);
}

} // namespace

qint64 dateTimeSortValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return UnparsedDateTime;
    const QLocale l = text::locale();
    const QString dateFormat = text::shortDateFormat();
    const QString timeFormat = text::longTimeFormat();
    if (t.contains(QLatin1Char(' '))) {
        const QDateTime dt = l.toDateTime(t, dateFormat + QLatin1Char(' ') + timeFormat);
        if (dt.isValid())
            return sortValue(dt.date(), dt.time());
    }
    const QDate date = l.toDate(t, dateFormat);
    if (date.isValid())
        return sortValue(date, QTime(0, 0));
    const QTime time = l.toTime(t, timeFormat);
    if (time.isValid())
        return sortValue(DayZero, time);
    return UnparsedDateTime;
}

QDateTime dateTimeOfSortValue(qint64 value)
{
    if (value == UnparsedDateTime)
        return {};
    const qint64 days = value >= 0 ? value / SecondsPerDay : -((-value + SecondsPerDay - 1) / SecondsPerDay);
    return QDateTime(DayZero.addDays(days), QTime(0, 0).addSecs(int(value - days * SecondsPerDay)));
}

int CompareRowsByDateTime(const QStringList &row1, const QStringList &row2, int key)
{
    const int column = key % 100;
    const qint64 v1 = dateTimeSortValue(row1.value(column));
    const qint64 v2 = dateTimeSortValue(row2.value(column));
    const int result = v2 >= v1 ? -1 : 1;
    return key / 100 > 0 ? -result : result;
}

qint64 tariffTotalCounts(const QStringList &row)
{
    qint64 total = 0;
    for (int cell = 1; cell <= 3; ++cell) {
        bool ok = false;
        const double kWh = text::parseDecimal(row.value(cell), &ok);
        if (ok && std::isfinite(kWh))
            total += std::llround(kWh / link::kWhPerCount);
    }
    return total;
}

bool hasChart(JournalKind kind)
{
    return kind == JournalKind::Yearly || kind == JournalKind::Daily || kind == JournalKind::Profile;
}

JournalTable::JournalTable(JournalKind kind)
    : m_kind(kind)
    , m_meterNumber(initialMeterNumber(kind))
{
}

int JournalTable::insert(const QStringList &row)
{
    const qint64 key = dateTimeSortValue(row.value(0));
    const auto at = std::upper_bound(m_keys.cbegin(), m_keys.cend(), key);
    const qsizetype index = at - m_keys.cbegin();
    m_keys.insert(index, key);
    m_rows.insert(index, row);
    if (m_kind == JournalKind::Yearly || m_kind == JournalKind::Daily)
        m_totals.insert(index, tariffTotalCounts(row));
    return int(index);
}

void JournalTable::clear()
{
    m_rows.clear();
    m_keys.clear();
    m_totals.clear();
}

QList<ChartBar> JournalTable::chartBars() const
{
    QList<ChartBar> bars;
    if (m_kind == JournalKind::Yearly || m_kind == JournalKind::Daily) {
        for (qsizetype r = 0; r + 1 < m_rows.size(); ++r) {
            const qint64 rise = m_totals.at(r + 1) - m_totals.at(r);
            const QDateTime x = dateTimeOfSortValue(m_keys.at(r));
            if (rise > 0 && x.isValid())
                bars << ChartBar{x, double(rise) * link::kWhPerCount, energyText(rise)};
        }
    } else if (m_kind == JournalKind::Profile) {
        for (qsizetype r = 0; r < m_rows.size(); ++r) {
            const QDateTime x = dateTimeOfSortValue(m_keys.at(r));
            bool ok = false;
            const QString power = m_rows.at(r).value(1);
            const double kW = text::parseDecimal(power, &ok);
            if (x.isValid())
                bars << ChartBar{x, ok ? kW : 0.0, ok ? power : QStringLiteral("0")};
        }
    }
    return bars;
}

QList<ChartBar> chartBars(JournalKind kind, const QList<QStringList> &rows)
{
    JournalTable table(kind);
    for (const QStringList &row : rows)
        table.insert(row);
    return table.chartBars();
}

} // namespace kelvar::journals
