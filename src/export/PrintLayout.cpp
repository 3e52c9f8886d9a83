#include "export/PrintLayout.h"

namespace kelvar::exporting {

namespace {

constexpr int kCellPadding = 16; // added to the widest text of a column
constexpr int kTextInset = 8;    // between a cell's text and its right edge

int tableWidth(const std::vector<int> &widths)
{
    int total = 1;
    for (int w : widths)
        total += w + 1;
    return total;
}

class PagePainter {
public:
    PagePainter(const TextGrid &grid, const QString &title, const PrintColumns &columns, int pageWidth,
                PrintCanvas &canvas)
        : grid_(grid)
        , title_(title)
        , widths_(columns.widths)
        , pageWidth_(pageWidth)
        , x0_((pageWidth - columns.tableWidth) / 2)
        , x1_((pageWidth + columns.tableWidth) / 2)
        , canvas_(canvas)
    {
    }

    int y = 0;
    // The style the last row left; the page number line is printed in it.
    PrintFont current = PrintFont::Header;

    void dateLine(const QString &text)
    {
        canvas_.drawText(10, 0, text, PrintFont::DateLine);
        y += canvas_.textHeight(PrintFont::DateLine) * 3 / 2;
    }

    void title()
    {
        if (title_.isEmpty())
            return;
        canvas_.drawText((pageWidth_ - canvas_.textWidth(title_, PrintFont::Title)) / 2, y, title_, PrintFont::Title);
        y += canvas_.textHeight(PrintFont::Title) * 3 / 2;
    }

    void pageNumber(int page)
    {
        const QString text = QStringLiteral("- %1 -").arg(page);
        canvas_.drawText((pageWidth_ - canvas_.textWidth(text, current)) / 2, y, text, current);
        y += canvas_.textHeight(current) * 3 / 2;
    }

    int rowHeight(PrintFont font) const { return canvas_.textHeight(font) * 6 / 5; }

    void rule() { canvas_.drawLine(x0_, y, x1_, y); }

    // One row of the grid in font, from y to bottom; the header row draws its
    // top rule after the cells, a data row before them.
    void row(int r, PrintFont font, int bottom)
    {
        if (font == PrintFont::Cell)
            rule();
        const int textTop = y + (bottom - y - canvas_.textHeight(font)) / 2;
        int x = x0_;
        const int last = grid_.columnCount - 1;
        for (int j = 0; j <= last; ++j) {
            canvas_.drawLine(x, y, x, bottom);
            const int next = x + widths_[size_t(j)] + 1;
            const int right = (j == last ? x1_ : next) - kTextInset;
            const QString &text = grid_.text(r, j);
            canvas_.drawText(right - canvas_.textWidth(text, font), textTop, text, font);
            x = next;
        }
        canvas_.drawLine(x1_, y, x1_, bottom);
        if (font == PrintFont::Header)
            rule();
        current = font;
        y = bottom;
    }

    void header() { row(0, PrintFont::Header, y + rowHeight(PrintFont::Header)); }

private:
    const TextGrid &grid_;
    const QString &title_;
    const std::vector<int> &widths_;
    const int pageWidth_;
    const int x0_;
    const int x1_;
    PrintCanvas &canvas_;
};

} // namespace

PrintColumns planColumns(const TextGrid &grid, const PrintMetrics &metrics, int pageWidth, int landscapeWidth)
{
    PrintColumns plan;
    plan.widths.assign(size_t(grid.columnCount), 0);
    for (int j = 0; j < grid.columnCount; ++j) {
        int widest = 0;
        for (int r = 0; r < grid.rowCount(); ++r)
            widest = qMax(widest, metrics.textWidth(grid.text(r, j), PrintFont::Header));
        plan.widths[size_t(j)] = widest + kCellPadding;
    }
    plan.tableWidth = tableWidth(plan.widths);
    plan.landscape = pageWidth < plan.tableWidth;
    const int width = plan.landscape ? landscapeWidth : pageWidth;
    // Every width is at least 16, so each pass widens the table.
    while (grid.columnCount > 0 && plan.tableWidth < width * 4 / 5) {
        for (int &w : plan.widths)
            w = w * 6 / 5;
        plan.tableWidth = tableWidth(plan.widths);
    }
    return plan;
}

int paintGrid(const TextGrid &grid, const QString &title, const QString &dateLine, const PrintColumns &columns,
              int pageWidth, int pageHeight, PrintCanvas &canvas)
{
    PagePainter page(grid, title, columns, pageWidth, canvas);
    int pages = 1;
    page.dateLine(dateLine);
    page.title();
    if (grid.rowCount() > 0)
        page.header();
    for (int r = 1; r < grid.rowCount(); ++r) {
        int bottom = page.y + page.rowHeight(page.current);
        if (bottom > pageHeight) {
            page.rule();
            canvas.newPage();
            ++pages;
            page.y = pageWidth / 20;
            page.pageNumber(pages);
            page.title();
            page.header();
            bottom = page.y + page.rowHeight(page.current);
        }
        page.row(r, PrintFont::Cell, bottom);
    }
    page.rule();
    return pages;
}

} // namespace kelvar::exporting
