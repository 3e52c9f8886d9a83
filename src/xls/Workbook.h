// An Excel 97 workbook opened for editing: open an .xls file, set cells of
// its first worksheet, save it as an .xls file, close it.
//
// Every operation returns false on failure and leaves the reason in
// errorString(); a failed operation changes nothing.
#pragma once

#include "xls/Book.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelvar::xls {

class Workbook {
public:
    // Opens the .xls file at path (an Excel 97 workbook, such as the files
    // this engine writes). Replaces any workbook open before.
    bool open(const QString &path);

    // Opens a workbook from the bytes of an .xls file.
    bool openData(QByteArrayView file);

    bool isOpen() const { return m_book.has_value(); }

    // Sets a cell of the first worksheet; row and column count from 1
    // (1..65536 and 1..256). A text has at most 32767 characters; a number
    // must be finite, since the file format has no NaN or infinity.
    bool setText(int row, int column, const QString &text);
    bool setNumber(int row, int column, double value);

    // Writes the workbook as an .xls file at path. The file is written to a
    // temporary file in the same folder and renamed over path only when
    // complete, so a failed save leaves any earlier file at path untouched.
    bool save(const QString &path);

    // The bytes of the .xls file save() would write.
    bool toData(QByteArray *file);

    // Releases the workbook; isOpen() is false afterwards.
    void close();

    QString errorString() const { return m_error; }

    // The open workbook (for inspection); only valid while isOpen().
    const Book &book() const { return *m_book; }

private:
    bool fail(const QString &message);
    bool setCell(int row, int column, CellValue value);

    std::optional<Book> m_book;
    QString m_error;
};

} // namespace kelvar::xls
