// Writes a workbook of 12 000 rows × 4 columns (a year of load-profile
// rows: a date-and-time text and three readings) the way the journal export
// does, then reopens it. Prints the time and the peak memory of each phase.
//
// Usage: bench_xls_workbook [rows] [repetitions]

#include "xls/TemplateStore.h"
#include "xls/Workbook.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BenchFigures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kelvar::xls;

using kelvar::bench::median;
using kelvar::bench::peakKiB;
using kelvar::bench::resetPeak;

namespace {

[[noreturn]] void die(const QString &what)
{
    std::fprintf(stderr, "bench_xls_workbook: %s\n", qPrintable(what));
    std::exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 12000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    QTemporaryDir dir;
    const QString working = dir.filePath(QStringLiteral("1new.xls"));
    const QString path = dir.filePath(QStringLiteral("profile.xls"));

    std::vector<double> writeMs, openMs;
    long writePeak = 0, openPeak = 0;
    const long baseline = peakKiB();
    // The export's texts exist before it starts: make them outside the timing.
    const QDateTime start(QDate(2024, 1, 1), QTime(0, 30));
    std::vector<QString> stamps;
    for (int r = 0; r < rows; ++r)
        stamps.push_back(start.addSecs(qint64(r) * 1800).toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    for (int rep = 0; rep < repetitions; ++rep) {
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        {
            TemplateStore store;
            if (!store.load(TemplateStore::builtInImage())
                || !store.writeTemplate(QString::fromLatin1(kEmptyWorkbookTemplateName), working))
                die(store.errorString());
            Workbook book;
            if (!book.open(working))
                die(book.errorString());
            book.setText(1, 1, QStringLiteral("Счетчик № 123456, Профиль нагрузки "));
            for (int c = 2; c <= 4; ++c)
                book.setText(1, c, QString());
            book.setText(2, 1, QStringLiteral("Дата и время"));
            book.setText(2, 2, QStringLiteral("P+, кВт"));
            book.setText(2, 3, QStringLiteral("P-, кВт"));
            book.setText(2, 4, QStringLiteral("Q+, квар"));
            for (int r = 0; r < rows; ++r) {
                const int row = r + 3;
                book.setText(row, 1, stamps[std::size_t(r)]);
                book.setNumber(row, 2, 0.001 * ((r * 7919) % 100000));
                book.setNumber(row, 3, 0.001 * ((r * 104729) % 50000));
                book.setNumber(row, 4, 0.5 * (r % 200));
            }
            if (!book.save(path))
                die(book.errorString());
            book.close();
            QFile::remove(working);
        }
        writeMs.push_back(timer.nsecsElapsed() / 1e6);
        writePeak = std::max(writePeak, peakKiB());

        resetPeak();
        timer.restart();
        {
            Workbook book;
            if (!book.open(path))
                die(book.errorString());
            if (book.book().sheets[0].cells.size() != std::size_t(rows + 2) * 4)
                die(QStringLiteral("reopened workbook has %1 cells").arg(book.book().sheets[0].cells.size()));
        }
        openMs.push_back(timer.nsecsElapsed() / 1e6);
        openPeak = std::max(openPeak, peakKiB());
    }

    std::printf("workbook of %d rows x 4 columns, %lld bytes, median of %d runs\n", rows,
                QFileInfo(path).size(), repetitions);
    std::printf("  write (template, open, %d cells, save): %8.1f ms   peak RSS %ld KiB\n", (rows + 2) * 4,
                median(writeMs), writePeak);
    std::printf("  reopen:                                  %8.1f ms   peak RSS %ld KiB\n", median(openMs), openPeak);
    std::printf("  (process RSS before the runs: %ld KiB; peak figures need Linux, -1 elsewhere)\n", baseline);
    return 0;
}
