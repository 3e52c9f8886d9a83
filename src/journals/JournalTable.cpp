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

namespace {

// A date or time format of numeric fields (d, dd, M, MM, yy, yyyy, h, hh, H,
// HH, m, mm, s, ss) and literal characters, matched by hand: the general
// parser of the locale costs a few hundred microseconds a call, and every
// row added to a list is parsed once.
struct NumericFormat {
    struct Field {
        QChar letter;  // 0 for a literal
        int width = 0; // digits for a field; the literal's length otherwise
        QString literal;
    };
    QList<Field> fields;
    bool usable = false;

    explicit NumericFormat(const QString &format)
    {
        usable = !format.isEmpty();
        for (qsizetype i = 0; i < format.size();) {
            const QChar c = format.at(i);
            qsizetype n = 1;
            while (i + n < format.size() && format.at(i + n) == c)
                ++n;
            if (QStringLiteral("dMyhHms").contains(c)) {
                if (n > 2 && !(c == QLatin1Char('y') && n == 4))
                    usable = false; // names of days or months
                fields << Field{c, int(n), {}};
            } else if (c.isLetter() || c == QLatin1Char('\'')) {
                usable = false;     // AM/PM, quoted text, zones
            } else {
                fields << Field{QChar(), int(n), QString(n, c)};
            }
            i += n;
        }
    }

    // Day, month, year, hour, minute, second read from text; false when the
    // text does not follow the format.
    bool read(QStringView text, int *values) const
    {
        qsizetype at = 0;
        for (const Field &f : fields) {
            if (f.letter.isNull()) {
                if (!text.mid(at).startsWith(f.literal))
                    return false;
                at += f.literal.size();
                continue;
            }
            const int most = f.width == 1 ? 2 : f.width;
            int value = 0, digits = 0;
            while (digits < most && at < text.size() && text.at(at).isDigit()) {
                value = value * 10 + text.at(at).digitValue();
                ++at;
                ++digits;
            }
            if (digits == 0 || (f.width > 1 && digits != f.width))
                return false;
            switch (f.letter.unicode()) {
            case 'd': values[0] = value; break;
            case 'M': values[1] = value; break;
            case 'y': values[2] = f.width == 2 ? 2000 + value : value; break;
            case 'h': case 'H': values[3] = value; break;
            case 'm': values[4] = value; break;
            case 's': values[5] = value; break;
            }
        }
        return at == text.size();
    }
};

struct Formats {
    QString localeName;
    QString date, time;
    NumericFormat dateTime{QString()}, dateOnly{QString()}, timeOnly{QString()};
};

const Formats &formats()
{
    // One cache per thread: several links may read journals side by side.
    thread_local Formats f;
    const QString name = QLocale().name();
    if (f.date.isEmpty() || f.localeName != name) {
        f.localeName = name;
        f.date = text::shortDateFormat();
        f.time = text::longTimeFormat();
        f.dateTime = NumericFormat(f.date + QLatin1Char(' ') + f.time);
        f.dateOnly = NumericFormat(f.date);
        f.timeOnly = NumericFormat(f.time);
    }
    return f;
}

// The text through the hand matcher, or through the locale's parser when the
// format has names in it. Invalid when the text is not of the format.
QDateTime parseWith(const NumericFormat &numeric, const QString &format, const QString &text, bool hasDate,
                    bool hasTime)
{
    if (numeric.usable) {
        int v[6] = {30, 12, 1899, 0, 0, 0}; // day, month, year, hour, minute, second
        if (!numeric.read(text, v))
            return {};
        const QDate date = hasDate ? QDate(v[2], v[1], v[0]) : DayZero;
        const QTime time = hasTime ? QTime(v[3], v[4], v[5]) : QTime(0, 0);
        if (!date.isValid() || !time.isValid())
            return {};
        return QDateTime(date, time);
    }
    const QLocale l = text::locale();
    if (hasDate && hasTime)
        return l.toDateTime(text, format);
    if (hasDate) {
        const QDate d = l.toDate(text, format);
        return d.isValid() ? QDateTime(d, QTime(0, 0)) : QDateTime();
    }
    const QTime t = l.toTime(text, format);
    return t.isValid() ? QDateTime(DayZero, t) : QDateTime();
}

} // namespace

qint64 dateTimeSortValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return UnparsedDateTime;
    const Formats &f = formats();
    QDateTime dt;
    if (t.contains(QLatin1Char(' ')))
        dt = parseWith(f.dateTime, f.date + QLatin1Char(' ') + f.time, t, true, true);
    if (!dt.isValid())
        dt = parseWith(f.dateOnly, f.date, t, true, false);
    if (!dt.isValid())
        dt = parseWith(f.timeOnly, f.time, t, false, true);
    return dt.isValid() ? sortValue(dt.date(), dt.time()) : UnparsedDateTime;
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
