// Reads the "Workbook" stream of an Excel 97 (BIFF8) file into a Book.
#pragma once

#include "xls/Book.h"

#include <QByteArrayView>
#include <QString>

namespace kelvar::xls {

// Reads worksheets, their cell values (texts and numbers), page setup and
// column widths, and the default font. Cell formatting is not kept.
//
// A workbook with content this engine could not write back (formulas,
// boolean or error cells, drawings, notes, charts, encryption) is refused,
// so that saving an opened workbook never silently drops content. Every
// length, offset and index is checked; malformed input gives false and the
// reason in *error. A book this function returns passes validateBook().
bool readWorkbookStream(QByteArrayView stream, Book *book, QString *error);

} // namespace kelvar::xls
