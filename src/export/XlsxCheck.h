#pragma once
// Checks an Excel 2007 workbook file (a zip archive of XML parts) after it
// was written: every part inflates to its recorded size and checksum, and
// every XML part is complete. The writing library does not notice when its
// temporary files could not be written in full (a full disk), and would
// otherwise hand over a workbook with a cut-off sheet as a success.

#include <QByteArrayView>
#include <QString>

namespace kelvar::exporting {

bool xlsxPartsComplete(QByteArrayView archive, QString *error);

} // namespace kelvar::exporting
