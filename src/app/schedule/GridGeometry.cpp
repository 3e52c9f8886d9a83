#include "GridGeometry.h"

#include <algorithm>

namespace kelvar::app {

QRect YearGridGeometry::cellRect(int column, int row) const
{
    const int x = column == 0 ? 0 : extraWidth() + column * columnWidth();
    const int y = row == 0 ? 0 : extraHeight() + row * rowHeight();
    const int w = columnWidth() + (column == 0 ? extraWidth() : 0);
    const int h = rowHeight() + (row == 0 ? extraHeight() : 0);
    return QRect(x, y, w, h);
}

std::optional<QPoint> YearGridGeometry::cellAt(QPoint pos) const
{
    if (columnWidth() <= 0 || rowHeight() <= 0 || pos.x() < 0 || pos.y() < 0 || pos.x() >= width
        || pos.y() >= height)
        return std::nullopt;
    const int column = (pos.x() - extraWidth()) / columnWidth();
    const int row = (pos.y() - extraHeight()) / rowHeight();
    if (pos.x() < extraWidth() + columnWidth() || pos.y() < extraHeight() + rowHeight())
        return std::nullopt; // a header
    return QPoint(std::min(column, schedule::MonthCount), std::min(row, schedule::DayTypeCount));
}

int YearGridGeometry::circleDiameter() const
{
    return std::min(columnWidth(), rowHeight()) - 16;
}

GridClickResult gridClick(const schedule::CellFlags &selected, int currentMonth, int currentDayType, int month,
                          int dayType, bool shift, bool ctrl)
{
    using schedule::CellFlags;
    GridClickResult r{selected, currentMonth, currentDayType};
    const bool onCurrent = month == currentMonth && dayType == currentDayType;
    if ((shift || ctrl) && onCurrent) {
        r.selected = CellFlags::single(currentMonth, currentDayType);
    } else if (ctrl) {
        r.selected.set(month, dayType, !selected.at(month, dayType));
    } else if (shift) {
        r.selected = CellFlags::rectangle(currentMonth, currentDayType, month, dayType);
    } else {
        r.selected = CellFlags::single(month, dayType);
        r.month = month;
        r.dayType = dayType;
    }
    return r;
}

} // namespace kelvar::app
