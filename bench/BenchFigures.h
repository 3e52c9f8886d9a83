#pragma once
// What the benchmark programs share: the median of a series, the peak
// resident memory of the process, the machine's load average, the options
// --pause and --repeat, and the lines that open and close a run.

#include "link/LinkPacing.h"

#include <QCommandLineParser>
#include <QDateTime>
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

// The load average of the last minute alone, for a column of every row.
inline QString loadNow()
{
    return loadAverage().section(QLatin1Char(' '), 0, 0);
}

// "Started 2026-12-10T12:00:00Z, load average 0.52 0.71 1.02"
inline QString startedLine()
{
    return QStringLiteral("Started %1, load average %2")
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), loadAverage());
}

// The head of the summary of the ratios to L, with the time and load at the end.
inline QString ratiosLine(int repeat)
{
    return QStringLiteral("Ratio to L over %1 run(s), best / median; finished %2, load average %3")
        .arg(repeat)
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), loadAverage());
}

// --pause MS (repeatable): the request pauses a link benchmark measures.
inline void addPauseOption(QCommandLineParser &parser)
{
    parser.addOption({"pause", "Request pause to measure (repeatable; default 50 and 0).", "MS"});
}

// The --pause values given, else 50 (the fixed send tick, the default) and 0.
inline QList<int> requestPauses(const QCommandLineParser &parser)
{
    QList<int> pauses;
    for (const QString &value : parser.values(QStringLiteral("pause")))
        pauses << qBound(link::MinRequestPause, value.toInt(), link::MaxRequestPause);
    if (pauses.isEmpty())
        pauses = {link::DefaultRequestPause, 0};
    return pauses;
}

// --repeat N: runs of each configuration, 1..20.
inline void addRepeatOption(QCommandLineParser &parser)
{
    parser.addOption({"repeat", "Runs of each configuration (best and median are printed).", "N", "1"});
}

inline int repeatCount(const QCommandLineParser &parser)
{
    return qBound(1, parser.value(QStringLiteral("repeat")).toInt(), 20);
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
