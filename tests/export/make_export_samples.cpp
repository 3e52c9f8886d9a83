// Writes journal exports in every format for the independent readers of
// check_exports.py, and manifest.json with what went in: the title and the
// grid's texts of each export.
//
// Usage: make_export_samples <folder>

#include "export/GridExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace kelvar::exporting;

namespace {

struct Sample {
    const char *name;
    JournalKind journal;
    qint64 meterNumber;
    QList<QStringList> rows;
};

QList<Sample> samples()
{
    return {
        {"year", JournalKind::Yearly, 1,
         {{"01.02.2010", "1", "0,0025", "0", "1500", "", "1д.00:00:00"},
          {"01.03.2010", "1234,5", "17,25", "0,75", "2210", "15.02.2010 12:30:00", "00:00:59"}}},
        {"day", JournalKind::Daily, 123456,
         {{"01.02.2011", "10,5", "0", "3"}, {"02.02.2011", "12,25", "1,75", "3"}, {"03.02.2011", "13", "2"}}},
        {"profile", JournalKind::Profile, 3,
         {{"05.03.2012 00:00:00", "0,1", "0,05", "10"}, {"05.03.2012 00:30:00", "0,1", "0,05", "10,05"}}},
        {"setting", JournalKind::Settings, 0,
         {{"02.01.2000", "1", "Пароль"}, {"03.01.2000 10:00:00", "2", "12"},
          {"04.01.2000 10:00:00", "3", "Описание; \"новое\""}}},
        {"onoff", JournalKind::PowerOn, 4711,
         {{"01.01.2001 08:00:00", "Счетчик выключен"}, {"01.01.2001 08:05:00", "Счетчик включен"},
          {"02.01.2001 00:00:01", ""}}},
        {"empty", JournalKind::Daily, 2, {}},
    };
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_export_samples <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());
    QJsonArray exports;
    for (const Sample &s : samples()) {
        const TextGrid grid = makeGrid(kelvar::journals::journalCaptions(s.journal), s.rows);
        const QString title = exportTitle(s.journal, s.meterNumber);
        for (const char *suffix : {"xls", "xlsx", "csv"}) {
            const QString path = folder.filePath(QStringLiteral("%1.%2").arg(s.name, suffix));
            const ExportResult result = exportGrid(grid, title, path, formatForPath(path));
            if (!result.ok || result.skippedCells != 0) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(result.error));
                return 1;
            }
        }
        QJsonArray rows;
        for (const QStringList &row : grid.rows)
            rows.append(QJsonArray::fromStringList(row));
        exports.append(QJsonObject{{"name", s.name}, {"title", title}, {"rows", rows}});
    }
    QFile manifest(folder.filePath("manifest.json"));
    if (!manifest.open(QIODevice::WriteOnly))
        return 1;
    manifest.write(QJsonDocument(QJsonObject{{"exports", exports}}).toJson());
    return 0;
}
