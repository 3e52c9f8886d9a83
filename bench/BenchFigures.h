#pragma once
// Figures the benchmark programs share: the median of a series and the peak
// resident memory of the process.

#include <QFile>

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

} // namespace kelvar::bench
