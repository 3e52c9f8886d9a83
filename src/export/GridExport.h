#pragma once
// Writes a text grid as a workbook or a CSV file: row 1 holds the title
// (then empty texts across the other columns), row 2 the column captions,
// rows 3 on the grid's rows. Each text goes in as a number when it reads as
// one (cellNumber), else unchanged as a text.
//
// Every format writes the whole file first and replaces the target only when
// it is complete, so a failed export leaves an earlier file at the chosen
// path as it was.

#include "export/TextGrid.h"

#include <QString>

namespace kelvar::exporting {

enum class ExportFormat {
    Xls,  // Excel 97, from the built-in empty workbook template
    Xlsx, // Excel 2007 and later
    Csv,  // UTF-8 with a byte order mark, the locale's list separator, CR LF
};

// The format a file name asks for by its extension (".xlsx", ".csv", any
// other: ".xls"), case-insensitive.
ExportFormat formatForPath(const QString &path);

// The separator between the fields of a CSV line: ';' where the locale's
// decimal separator is a comma, ',' elsewhere (as spreadsheets expect).
QChar csvSeparator();

// The working copy of an .xls export: "<n>new.xls" in the folder of target
// for the first n = 1, 2, ... that names no existing file and is not target
// itself. Empty when none is free.
QString workingCopyPath(const QString &target);

struct ExportResult {
    bool ok = false;
    QString error;        // why the export failed (the system's words)
    int skippedCells = 0; // texts the format could not hold (past the last row, too long)
};

// Writes grid under title to path in format. An .xls export writes the
// built-in template to the working copy, fills it, saves it to path and
// removes the working copy, on failure too.
ExportResult exportGrid(const TextGrid &grid, const QString &title, const QString &path, ExportFormat format);

// The same, for callers that only need success and the reason of a failure.
bool exportGrid(const TextGrid &grid, const QString &title, const QString &path, ExportFormat format,
                QString *error);

} // namespace kelvar::exporting
