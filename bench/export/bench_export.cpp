// Exports a load-profile list of 12 000 rows (250 days of half-hour rows: a
// date-and-time caption and three readings, as the list shows them) to .xls,
// .xlsx and .csv, the whole way the export button does: the list's texts
// to the grid, the number-or-text rule, the file written and moved in place.
// Prints the median time and the peak memory of each format.
//
// Usage: bench_export [rows] [repetitions]

#include "common/TextFormat.h"
#include "export/GridExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BenchFigures.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kelvar;
using namespace kelvar::exporting;

using kelvar::bench::median;
using kelvar::bench::peakKiB;
using kelvar::bench::resetPeak;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 12000;
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    // The list's texts exist before the export starts.
    QList<QStringList> list;
    const QDateTime start(QDate(2024, 1, 1), QTime(0, 0));
    qint64 reading = 40000;
    for (int r = 0; r < rows; ++r) {
        const int increment = (r * 7919) % 400;
        list.append({text::dateTime(start.addSecs(qint64(r) * 1800)), text::decimal(increment * 0.0005),
                     text::decimal(increment * 0.00025), text::decimal(reading * 0.00025)});
        reading += increment;
    }
    const QStringList captions{QStringLiteral("Время"), QStringLiteral("Средняя мощность, кВт"),
                               QStringLiteral("Прирост показаний, кВт.ч."), QStringLiteral("Показание, кВт.ч.")};
    const QString title = exportTitle(JournalKind::Profile, 123456);

    QTemporaryDir dir;
    const long baseline = peakKiB();
    std::printf("export of a list of %d rows x 4 columns, median of %d runs (decimal separator \"%s\")\n", rows,
                repetitions, qPrintable(text::locale().decimalPoint()));
    for (const char *name : {"profile.xls", "profile.xlsx", "profile.csv"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        std::vector<double> ms, cpuMs;
        long peak = 0;
        for (int rep = 0; rep < repetitions; ++rep) {
            resetPeak();
            QElapsedTimer timer;
            timer.start();
            const std::clock_t cpu = std::clock();
            const ExportResult result = exportGrid(makeGrid(captions, list), title, path, formatForPath(path));
            ms.push_back(timer.nsecsElapsed() / 1e6);
            cpuMs.push_back(double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC);
            peak = std::max(peak, peakKiB());
            if (!result.ok || result.skippedCells != 0) {
                std::fprintf(stderr, "bench_export: %s: %s\n", name, qPrintable(result.error));
                return 1;
            }
        }
        std::printf("  %-13s %8.1f ms (CPU %8.1f ms)   peak RSS %6ld KiB   file %8lld bytes\n", name, median(ms),
                    median(cpuMs), peak, QFileInfo(path).size());
    }
    std::printf("  (process RSS before the runs: %ld KiB)\n", baseline);
    return 0;
}
