// Writes a Book as the "Workbook" stream of an Excel 97 (BIFF8) file.
#pragma once

#include "xls/Book.h"

#include <QByteArray>
#include <QString>

namespace kelvar::xls {

// Checks that the book can be written: at least one sheet, valid and distinct
// sheet names, texts within the file's limits, finite numbers and margins.
// Returns false with the reason in *error.
bool validateBook(const Book &book, QString *error);

// Produces the BIFF8 workbook stream of the book (not yet padded for the
// compound file). Returns false with the reason in *error when the book does
// not pass validateBook().
bool writeWorkbookStream(const Book &book, QByteArray *stream, QString *error);

} // namespace kelvar::xls
