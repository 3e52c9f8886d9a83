#pragma once
// The text grid every journal export and printout works from: the list's
// column captions in row 0 and its rows of texts below, all as shown. The
// grid also decides how each text goes into a workbook cell (number or text)
// and gives the titles and the date line of exports and printouts.

#include "journals/Journal.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QAbstractItemModel;

namespace kelvar::exporting {

struct TextGrid {
    int columnCount = 0;
    // rows[0]: the column captions; rows[r], r >= 1: the list's row r - 1.
    // Every row holds exactly columnCount texts.
    QList<QStringList> rows;

    int rowCount() const { return int(rows.size()); }
    const QString &text(int row, int column) const { return rows.at(row).at(column); }
};

// A grid of the captions and the rows: each row is cut or padded with empty
// texts to the number of captions, as a list view shows it.
TextGrid makeGrid(const QStringList &captions, const QList<QStringList> &rows);

// A grid of what a list shows: its horizontal header texts as captions and
// the display texts of its top-level rows in their current order.
TextGrid ListViewToGrid(const QAbstractItemModel &model);

// The number a text stands for in a workbook cell: a decimal number in the
// workstation's locale (its decimal separator, no digit grouping, optional
// sign and exponent, blanks around it ignored). Anything else (captions,
// dates, times, durations, event texts, the empty text) stays a text.
// A value a workbook cannot hold (infinity, not a number) is a text too.
std::optional<double> cellNumber(const QString &text);

// The journals whose lists are exported and printed.
using JournalKind = journals::JournalKind;

// "Счетчик № <meter number>, <journal name>": the export title names the
// journal as the workbook heading does, the print title as the page does.
QString exportTitle(JournalKind journal, qint64 meterNumber);
QString printTitle(JournalKind journal, qint64 meterNumber);

// The date line of a printout: day without a leading zero, the locale's full
// month name, four-digit year, "г.", and the time as hh:mm:ss.
QString printDateLine(const QDateTime &when);

} // namespace kelvar::exporting
