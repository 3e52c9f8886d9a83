// Prints a daily-journal-like list to a PDF file through the printout's
// layout and QPainter, as the print button does after its dialog. Prints the
// time, the number of pages and the peak memory.
//
// Usage: bench_print [rows] [pdf path]   (QT_QPA_PLATFORM=offscreen without a display)

#include "app/tabs/GridPrinter.h"
#include "common/TextFormat.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include "BenchFigures.h"

#include <cstdio>
#include <cstdlib>

using namespace kelvar;

using kelvar::bench::peakKiB;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 12000;
    QTemporaryDir dir;
    const QString pdf = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath(QStringLiteral("print.pdf"));

    QList<QStringList> list;
    qint64 counts = 4000000;
    for (int r = 0; r < rows; ++r) {
        QStringList row{text::shortDate(QDate(2024, 1, 1).addDays(r))};
        for (int t = 0; t < 3; ++t) {
            counts += (r * 7919 + t * 104729) % 40000;
            row << text::decimal(counts * 0.00025);
        }
        list.append(row);
    }
    const exporting::TextGrid grid = exporting::makeGrid(
        {QStringLiteral("Дата"), QStringLiteral("1 тариф"), QStringLiteral("2 тариф"), QStringLiteral("3 тариф")}, list);

    const long before = peakKiB();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QElapsedTimer timer;
    timer.start();
    const int pages = app::PrintGrid(printer, grid, exporting::printTitle(exporting::JournalKind::Daily, 123456),
                                     QDateTime::currentDateTime());
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("printout of %d rows x 4 columns to PDF: %.1f ms, %d pages, %lld bytes, peak RSS %ld KiB "
                "(%ld KiB before)\n",
                rows, ms, pages, QFileInfo(pdf).size(), peakKiB(), before);
    return pages > 0 ? 0 : 1;
}
