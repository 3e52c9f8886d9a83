#include "History.h"

#include "Tariff.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace kelvar::sim {

namespace {

// SplitMix64 finaliser: a well-mixed 64-bit hash, identical on every platform.
quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// A uniform number in [0, 1) for the seed and two keys.
double uniform(quint32 seed, quint64 a, quint64 b)
{
    const quint64 h = mix(mix((static_cast<quint64>(seed) << 32) ^ a) ^ (b * 0xD6E8FEB86659FD93ULL));
    return static_cast<double>(h >> 11) / 9007199254740992.0; // 2^53
}

// Relative load by hour of day: night trough, morning and evening peaks.
constexpr double HourShape[24] = {0.45, 0.40, 0.38, 0.37, 0.38, 0.45, 0.80, 1.25, 1.20, 0.95, 0.85, 0.85,
                                  0.90, 0.85, 0.80, 0.85, 0.95, 1.25, 1.60, 1.70, 1.55, 1.30, 0.95, 0.60};

enum : quint64 { KeyBase = 0x5EED0001, KeyOutages = 0x5EED0002, KeyPeak = 0x5EED0003, KeySettings = 0x5EED0004 };

} // namespace

std::array<quint32, 3> wholeCounts(const std::array<double, 3> &counts)
{
    std::array<quint32, 3> whole{};
    for (int i = 0; i < 3; ++i)
        whole[i] = static_cast<quint32>(std::clamp(std::floor(counts[i]), 0.0, 4294967295.0));
    return whole;
}

quint32 wholeSum(const std::array<double, 3> &counts)
{
    const std::array<quint32, 3> whole = wholeCounts(counts);
    return whole[0] + whole[1] + whole[2];
}

namespace {
// The mean load of a day in kW before its hourly shape: the seed's base load,
// higher at weekends and in winter.
double dayLevel(quint32 seed, quint32 day)
{
    const QDate date = QDate(2000, 1, 1).addDays(day);
    const double base = 0.6 + 2.4 * uniform(seed, KeyBase, 0);
    const double weekend = date.dayOfWeek() >= 6 ? 1.15 : 1.0;
    const double season = 1.0 + 0.25 * std::cos(2 * M_PI * (date.dayOfYear() - 15) / 365.25);
    return base * weekend * season;
}

quint32 countsOf(double level, quint32 seed, quint32 day, int slot)
{
    const double noise = 0.75 + 0.5 * uniform(seed, day, static_cast<quint64>(slot) + 1);
    return static_cast<quint32>(std::lround(level * HourShape[slot / 2] * noise * 0.5 * 4000));
}
} // namespace

quint32 History::slotCounts(quint32 seed, quint32 day, int slot)
{
    return countsOf(dayLevel(seed, day), seed, day, slot);
}

History::History(quint32 seed, quint32 birth) : m_seed(seed), m_birth(birth - birth % 1800)
{
    const QDate birthDate = meterDate(m_birth);
    QDate install = QDate(birthDate.year(), birthDate.month(), 1).addMonths(-25);
    if (install < QDate(2000, 1, 1))
        install = QDate(2000, 1, 1);
    m_installDay = dayNumber(install);
    const double installTime = m_installDay * 86400.0;

    // Switch-offs: up to two a month, from two minutes to eight hours long.
    for (QDate month = install; month <= birthDate; month = month.addMonths(1)) {
        const quint64 key = monthKey(month);
        const int count = static_cast<int>(uniform(seed, KeyOutages, key * 16) * 3);
        for (int k = 0; k < count; ++k) {
            const double start = dayNumber(month) * 86400.0 +
                                 uniform(seed, KeyOutages, key * 16 + 1 + 2 * k) * month.daysInMonth() * 86400.0;
            const double u = uniform(seed, KeyOutages, key * 16 + 2 + 2 * k);
            const double length = std::floor(120 + u * u * u * (8 * 3600 - 120));
            const double off = std::floor(start);
            if (off < installTime + 86400 || off + length > m_birth - 3600)
                continue;
            if (!m_outages.isEmpty() && off <= m_outages.last().on + 600)
                continue;
            m_outages.append({off, off + length});
        }
    }
    std::sort(m_outages.begin(), m_outages.end(), [](const Outage &a, const Outage &b) { return a.off < b.off; });

    const MeterState factory;
    std::array<double, 3> counts{};
    double working = 0;
    quint32 monthPeak = 0, monthPeakTime = 0, lastPeak = 0, lastPeakTime = 0;
    for (quint32 day = m_installDay; day <= birthDay(); ++day) {
        const QDate date = QDate(2000, 1, 1).addDays(day);
        if (date.day() == 1) {
            lastPeak = monthPeak;
            lastPeakTime = monthPeakTime;
            monthPeak = monthPeakTime = 0;
            m_months.insert(monthKey(date), MonthRecord{wholeCounts(counts), static_cast<quint32>(working), lastPeakTime,
                                                        lastPeak});
        }
        DayRecord record;
        record.hasStart = true;
        record.startCounts = wholeCounts(counts);
        const std::array<int, SlotsPerDay> tariffs = slotTariffs(factory, date);
        const double level = dayLevel(seed, day);
        for (int slot = 0; slot < SlotsPerDay; ++slot) {
            const double t0 = day * 86400.0 + slot * 1800.0;
            if (t0 >= m_birth)
                break;
            const double powered = poweredSeconds(t0, t0 + 1800);
            const quint32 full = countsOf(level, seed, day, slot);
            const double c = full * powered / 1800.0;
            const int tariff = std::clamp(tariffs[slot], 1, 3);
            const quint32 before = wholeSum(counts);
            counts[tariff - 1] += c;
            record.increments[slot] = wholeSum(counts) - before;
            working += powered / 30.0;
            if (powered > 0) {
                // The integrated peak over a few minutes lies above the half-hour mean.
                const quint64 key = static_cast<quint64>(day) * 64 + slot;
                const auto watts = static_cast<quint32>(full / 2.0 * (1.0 + 0.3 * uniform(seed, KeyPeak, key)));
                if (watts > monthPeak) {
                    monthPeak = watts;
                    monthPeakTime = static_cast<quint32>(t0 + std::floor(uniform(seed, KeyPeak, key + 1) * 1800));
                }
            }
        }
        m_days.append(record);
    }
    m_counts = counts;
    m_working = working;
    m_peakPower = monthPeak;
    m_peakTime = monthPeakTime;
    m_lastPeakPower = lastPeak;
    m_lastPeakTime = lastPeakTime;
}

double History::poweredSeconds(double from, double to) const
{
    double off = 0;
    for (const Outage &o : m_outages) {
        if (o.off >= to)
            break;
        off += std::max(0.0, std::min(to, o.on) - std::max(from, o.off));
    }
    return to - from - off;
}

bool History::hasDay(quint32 day) const
{
    return day >= m_installDay && day <= birthDay();
}

DayRecord History::day(quint32 day) const
{
    return hasDay(day) ? m_days.at(static_cast<qsizetype>(day - m_installDay)) : DayRecord{};
}

void History::initialise(MeterState &state) const
{
    state.birth = m_birth;
    state.tariffCounts = m_counts;
    const double total = m_counts[0] + m_counts[1] + m_counts[2];
    for (int i = 0; i < 3; ++i)
        state.phaseCounts[i] = total * PhaseShare[i];
    state.workingHalfMinutes = m_working;
    state.peakPower = m_peakPower;
    state.peakTime = m_peakTime;
    state.billingPeakPower = m_lastPeakPower;
    state.billingPeakTime = m_lastPeakTime;
    state.billingDay = 1;
    state.billingHour = 0;
    const QDate birthDate = meterDate(m_birth);
    state.billingCounts = month(monthKey(QDate(birthDate.year(), birthDate.month(), 1))).counts;

    // Power-on journal: installed, then every switch-off and switch-on.
    state.powerJournal.clear();
    const quint32 install = m_installDay * 86400;
    state.addPowerEntry(install, power::On);
    for (const Outage &o : m_outages) {
        state.addPowerEntry(static_cast<quint32>(o.off), power::Off);
        state.addPowerEntry(static_cast<quint32>(o.on), power::On);
    }

    // Settings journal: the commissioning, then a clock correction every two to four months.
    state.settingsJournal.clear();
    state.corrections = 0;
    state.addSettingsEntry(install + 300, param::Time);
    state.corrections = 1;
    state.addSettingsEntry(install + 360, param::Link);
    state.addSettingsEntry(install + 420, param::Billing);
    state.addSettingsEntry(install + 480, param::Display);
    double t = install + 60 * 86400.0;
    for (int k = 0; t < m_birth - 86400; ++k) {
        const quint32 when = static_cast<quint32>(std::floor(t / 86400) * 86400 + 8 * 3600 +
                                                  std::floor(uniform(m_seed, KeySettings, 2 * k) * 9 * 3600));
        state.addSettingsEntry(when, param::Time);
        state.corrections = static_cast<quint8>(state.corrections + 1);
        t += (60 + uniform(m_seed, KeySettings, 2 * k + 1) * 60) * 86400.0;
    }
    state.timeNotSet = false;
    state.lastAdvance = m_birth;
}

} // namespace kelvar::sim
