// The in-memory workbook: what the engine reads from an .xls file, edits and
// writes back. It holds the contents and the settings this engine keeps
// (sheets, cell values, page setup, column widths, default font); cell
// formatting of foreign files is not kept, every cell uses the default format.
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <variant>
#include <vector>

namespace kelvar::xls {

// Limits of an Excel 97 worksheet and of its texts.
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
inline constexpr int kMaxCellTextLength = 32767;
inline constexpr int kMaxHeaderFooterLength = 255;
inline constexpr int kMaxSheetNameLength = 31;
inline constexpr int kMinFontHeight = 20;   // twips: 1 point
inline constexpr int kMaxFontHeight = 8180; // twips: 409 points

// A cell holds a text or a floating-point number.
using CellValue = std::variant<QString, double>;

// Printed page layout of one sheet. Margins are in inches, as the file keeps
// them; the defaults are those a sheet without page setup records has.
struct PageSetup {
    QString header;             // header text with its formatting codes
    QString footer;             // footer text with its formatting codes
    double leftMargin = 0.75;
    double rightMargin = 0.75;
    double topMargin = 1.0;
    double bottomMargin = 1.0;
    double headerMargin = 0.5;  // distance of the header from the top edge
    double footerMargin = 0.5;  // distance of the footer from the bottom edge
    quint16 paperSize = 9;      // 9: A4
    quint16 scale = 100;        // percent
    bool portrait = true;

    bool operator==(const PageSetup &) const = default;
};

// Width of the columns first..last (0-based, inclusive) in 1/256 of the
// width of the default font's digit zero.
struct ColumnWidth {
    quint16 first = 0;
    quint16 last = 0;
    quint16 width = 0;

    bool operator==(const ColumnWidth &) const = default;
};

struct Sheet {
    QString name;
    PageSetup page;
    quint16 defaultColumnWidth = 8;     // in characters, for columns without a width
    std::vector<ColumnWidth> columns;
    // Cells keyed by cellKey(row, column), 0-based; the key orders them row by row.
    std::map<quint32, CellValue> cells;

    static quint32 cellKey(int row, int column) { return (quint32(row) << 8) | quint32(column); }
    static int rowOf(quint32 key) { return int(key >> 8); }
    static int columnOf(quint32 key) { return int(key & 0xFF); }
};

struct Book {
    QString fontName = QStringLiteral("Arial");
    quint16 fontHeight = 200;   // twips (1/20 point)
    std::vector<Sheet> sheets;
    int activeSheet = 0;
};

// The workbook every journal export starts from: three empty sheets "Лист1",
// "Лист2", "Лист3", the first active, Arial 10, columns 2961/256 characters
// wide, A4 portrait at 100 % with the sheet name in the header and the page
// number in the footer.
Book emptyWorkbook();

// Name of the template holding emptyWorkbook() in the built-in template store.
inline constexpr char kEmptyWorkbookTemplateName[] = "new.xls";

} // namespace kelvar::xls
