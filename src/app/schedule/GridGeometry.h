#pragma once
// The arithmetic of the schedule editor's drawing and mouse, kept apart from
// the widgets so that it can be checked on its own: where the cells of the
// year grid lie, which cell a pointer position hits, how a click changes the
// selection, and where a zone starts on the day bar.

#include "schedule/CellFlags.h"

#include <QPoint>
#include <QRect>

#include <optional>

namespace kelvar::app {

// The year grid: 13 columns (header, months 1..12) by 9 rows (header, day
// types 1..8). Every column is W / 13 wide and every row H / 9 high; the
// header column and row also take the remainders, so the cells end flush with
// the panel's right and bottom edges.
struct YearGridGeometry {
    static constexpr int Columns = 13;
    static constexpr int Rows = 9;

    int width = 0;
    int height = 0;

    int columnWidth() const { return width / Columns; }
    int rowHeight() const { return height / Rows; }
    int extraWidth() const { return width % Columns; }
    int extraHeight() const { return height % Rows; }

    // Column 0..12 (0: the day-type headers), row 0..8 (0: the month headers).
    QRect cellRect(int column, int row) const;
    // The cell (month, day type) under a position; none on a header or outside.
    std::optional<QPoint> cellAt(QPoint pos) const;
    // The circle that marks an equivalent or a changed cell.
    int circleDiameter() const;
};

// What a released click in the year grid leaves selected and current.
struct GridClickResult {
    schedule::CellFlags selected;
    int month = 1;
    int dayType = 1;
};

// The click rules: Shift or Ctrl on the current cell selects it alone; Ctrl
// toggles the pressed cell; Shift selects the rectangle between the current
// and the pressed cell; a plain click selects the pressed cell and makes it
// current. With Shift or Ctrl the current cell stays.
GridClickResult gridClick(const schedule::CellFlags &selected, int currentMonth, int currentDayType, int month,
                          int dayType, bool shift, bool ctrl);

// Where a zone starting at a minute of the day begins on a bar of the given
// width: the last minute, 23:59, lies at the right end.
constexpr int dayBarX(int barWidth, int minute)
{
    return barWidth * minute / (24 * 60 - 1);
}

} // namespace kelvar::app
