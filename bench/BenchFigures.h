#pragma once
// Figures the benchmark programs share: the median of a series, the peak
// resident memory of the process and the machine's load average.

#include "link/LinkPacing.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace kelvar::bench {

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Peak resident memory of the process in KiB (Linux; -1 elsewhere).
inline long peakKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Starts a new peak measurement (Linux; nothing elsewhere).
inline void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The load average over 1, 5 and 15 minutes, "0.52 0.71 1.02" (Linux;
// "unknown" elsewhere): timings mean little on a machine busy with other work.
inline QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

// The request pauses a link benchmark measures: the --pause values given,
// else 50 (the fixed send tick, the default) and 0.
inline QList<int> requestPauses(const QStringList &values)
{
    QList<int> pauses;
    for (const QString &value : values)
        pauses << qBound(link::MinRequestPause, value.toInt(), link::MaxRequestPause);
    if (pauses.isEmpty())
        pauses = {link::DefaultRequestPause, 0};
    return pauses;
}

// "best / median" of repeated runs' figures (lower is better).
inline QString bestAndMedian(const QList<double> &runs, int decimals = 2)
{
    if (runs.isEmpty())
        return QStringLiteral("-");
    const std::vector<double> v(runs.begin(), runs.end());
    return QStringLiteral("%1 / %2")
        .arg(*std::min_element(v.begin(), v.end()), 0, 'f', decimals)
        .arg(median(v), 0, 'f', decimals);
}

} // namespace kelvar::bench
