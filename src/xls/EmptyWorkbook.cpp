#include "xls/Book.h"

namespace kelvar::xls {

namespace {

constexpr double kInchesPerCm = 1.0 / 2.54;

// Header and footer codes: &C centres what follows, &"font,style" and &12
// choose Times New Roman 12 pt, &A is the sheet name, &P the page number.
const QString kHeader = QStringLiteral("&C&\"Times New Roman,Regular\"&12&A");
const QString kFooter = QStringLiteral("&C&\"Times New Roman,Regular\"&12Страница &P");

Sheet emptySheet(const QString &name)
{
    Sheet sheet;
    sheet.name = name;
    sheet.page.header = kHeader;
    sheet.page.footer = kFooter;
    sheet.page.leftMargin = 2.0 * kInchesPerCm;
    sheet.page.rightMargin = 2.0 * kInchesPerCm;
    sheet.page.topMargin = 2.67 * kInchesPerCm;
    sheet.page.bottomMargin = 2.67 * kInchesPerCm;
    sheet.page.headerMargin = 2.0 * kInchesPerCm;
    sheet.page.footerMargin = 2.0 * kInchesPerCm;
    sheet.page.paperSize = 9;
    sheet.page.scale = 100;
    sheet.page.portrait = true;
    sheet.columns.push_back(ColumnWidth{0, kMaxColumns - 1, 2961});
    return sheet;
}

} // namespace

Book emptyWorkbook()
{
    Book book;
    book.fontName = QStringLiteral("Arial");
    book.fontHeight = 200;
    book.sheets.push_back(emptySheet(QStringLiteral("Лист1")));
    book.sheets.push_back(emptySheet(QStringLiteral("Лист2")));
    book.sheets.push_back(emptySheet(QStringLiteral("Лист3")));
    book.activeSheet = 0;
    return book;
}

} // namespace kelvar::xls
