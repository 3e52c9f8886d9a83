#pragma once
// The simulated meter's past, generated from a seed: installed with zero
// readings at 00:00 of the first day of the month 25 months before `birth`,
// then worked under the factory schedule with a household-like load (night
// trough, morning and evening peaks, weekends and winter higher, noise),
// switched off now and then. From this come the daily and monthly records,
// the load profile, the power-on and settings journals and the readings at
// `birth`, all consistent with each other. The same seed gives the same
// values for the same dates.

#include "MeterState.h"

#include <QList>
#include <QVector>

namespace kelvar::sim {

class History {
public:
    History(quint32 seed, quint32 birth);

    quint32 seed() const { return m_seed; }
    quint32 birth() const { return m_birth; }
    quint32 installDay() const { return m_installDay; }
    quint32 birthDay() const { return m_birth / 86400; }

    // Records of days installDay()..birthDay() (the birth day up to birth).
    bool hasDay(quint32 day) const;
    DayRecord day(quint32 day) const;
    // Yearly records of months whose first day lies in installDay()..birthDay().
    bool hasMonth(quint32 key) const { return m_months.contains(key); }
    MonthRecord month(quint32 key) const { return m_months.value(key); }

    // The state at birth: readings, operating time, peaks, billing readings
    // (factory billing day 1, hour 0), clock corrections and both journals.
    void initialise(MeterState &state) const;

    // The energy counts of one half-hour slot (no outage), exposed for tests.
    static quint32 slotCounts(quint32 seed, quint32 day, int slot);

private:
    struct Outage {
        double off = 0;
        double on = 0;
    };
    double poweredSeconds(double from, double to) const;

    quint32 m_seed;
    quint32 m_birth;
    quint32 m_installDay = 0;
    QVector<DayRecord> m_days;               // index day - installDay
    QMap<quint32, MonthRecord> m_months;
    QList<Outage> m_outages;
    std::array<double, 3> m_counts{};        // at birth
    double m_working = 0;
    quint32 m_peakPower = 0, m_peakTime = 0; // of the month of birth so far
    quint32 m_lastPeakPower = 0, m_lastPeakTime = 0; // of the month before
};

// Shares of the three phases in the energy.
constexpr double PhaseShare[3] = {0.36, 0.33, 0.31};

// Whole energy counts of the three tariffs (fractions kept in the state are dropped), and their sum.
std::array<quint32, 3> wholeCounts(const std::array<double, 3> &counts);
quint32 wholeSum(const std::array<double, 3> &counts);

} // namespace kelvar::sim
