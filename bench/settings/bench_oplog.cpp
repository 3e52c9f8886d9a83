// Prints what the bench operation log costs as it grows: the time to append
// one line near the start and near the end of a long log, the time a
// whole-file rewrite of that log would take per line, and the time to filter
// the log for one meter number.

#include "meter/OperationLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

using kelvar::meter::OperationLog;

namespace {
double microseconds(const QElapsedTimer &timer, int count)
{
    return double(timer.nsecsElapsed()) / 1000.0 / count;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20000;
    const int sample = qMin(1000, lines / 2);
    QTemporaryDir dir;
    const OperationLog log(OperationLog::pathIn(dir.path()));
    const QDateTime when = QDateTime::currentDateTime();
    QTextStream out(stdout);

    QElapsedTimer timer;
    double first = 0;
    double last = 0;
    for (int i = 0; i < lines; ++i) {
        if (i == 0 || i == lines - sample)
            timer.start();
        log.append(quint32(i % 500), QStringLiteral("Описание=Стенд %1").arg(i), when);
        if (i == sample - 1)
            first = microseconds(timer, sample);
        if (i == lines - 1)
            last = microseconds(timer, sample);
    }
    const qint64 size = QFileInfo(log.path()).size();
    out << "operation log: " << lines << " lines, " << size / 1024 << " KiB\n";
    out << "append, first " << sample << " lines: " << first << " us per line\n";
    out << "append, last " << sample << " lines:  " << last << " us per line\n";

    // What reading the whole log and writing it back costs at this size, as a
    // log that rewrites itself for every line would pay.
    timer.start();
    const int rewrites = 20;
    for (int i = 0; i < rewrites; ++i) {
        QFile in(log.path());
        in.open(QIODevice::ReadOnly);
        const QByteArray all = in.readAll();
        in.close();
        QFile copy(dir.filePath(QStringLiteral("rewrite.log")));
        copy.open(QIODevice::WriteOnly | QIODevice::Truncate);
        copy.write(all);
    }
    out << "whole-file rewrite at this size: " << microseconds(timer, rewrites) << " us per line\n";

    timer.start();
    const int filters = 20;
    qsizetype found = 0;
    for (int i = 0; i < filters; ++i)
        found += log.entriesFor(i).size();
    out << "filter for one number: " << microseconds(timer, filters) / 1000.0 << " ms (" << found / filters
        << " entries)\n";
    return 0;
}
