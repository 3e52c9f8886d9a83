#pragma once
// The short report: what the window shows about the connected meter, saved as
// a small tab-separated text file (Windows-1251, every line ended by CR LF).
// It is built from the meter information's row texts alone and sends nothing
// to the meter, so the window and the command-line program write the same file.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelvar::meter {

class MeterInfo;

struct ShortReportInput {
    QDateTime systemTime;            // the workstation clock when the report is made
    QStringList mainCaptions;        // the main information table, caption and shown value per row
    QStringList mainValues;
    QStringList addiCaptions;        // the additional table, same form
    QStringList addiValues;
    QStringList displayItems;        // the texts of the ticked display items, in item order
};

// The report of what the meter information holds, made at now: the rows of
// the information tab and the display items its mask ticks.
ShortReportInput shortReportInput(const MeterInfo &info, const QDateTime &now);

// The report's lines, without line ends: the system time, the two tables
// (caption TAB value, a spacer row as TAB alone) each behind a TAB-only line,
// and "Индикатор" TAB followed by one TAB-led line per ticked display item.
// Nothing is escaped: a value holding a tab keeps it.
QStringList shortReportLines(const ShortReportInput &input);
// The file contents: the lines in Windows-1251, each ended by CR LF.
QByteArray shortReportBytes(const ShortReportInput &input);

// Writes the report, replacing a file of that name. On failure the old file
// stays as it was and error holds the system's message.
bool saveShortReport(const QString &path, const ShortReportInput &input, QString *error = nullptr);

} // namespace kelvar::meter
