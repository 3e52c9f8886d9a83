#pragma once
// The printed page of a text grid, as arithmetic over text sizes: the
// column widths, the centred table, widening and the switch to landscape,
// the date line, the title, the ruled rows and the page breaks with the page
// number and the repeated header. Positions and sizes are device units of the
// page's printable area (x to the right, y down from its top).
//
// The layout only measures and draws through PrintCanvas, so it runs and is
// tested without a printer; the window's canvas draws with QPainter.

#include "export/TextGrid.h"

#include <vector>

namespace kelvar::exporting {

// The four text styles of a printout, all in the canvas's default typeface.
enum class PrintFont {
    DateLine, // 8 points, underlined
    Title,    // 11 points, bold
    Header,   // 10 points, bold: the caption row (and the column widths)
    Cell,     // 10 points, regular: the data rows
};

class PrintMetrics {
public:
    virtual ~PrintMetrics() = default;
    virtual int textWidth(const QString &text, PrintFont font) const = 0;
    // The height of a line of text ("W") in the font.
    virtual int textHeight(PrintFont font) const = 0;
};

class PrintCanvas : public PrintMetrics {
public:
    // Text with its top-left corner at (x, y).
    virtual void drawText(int x, int y, const QString &text, PrintFont font) = 0;
    virtual void drawLine(int x1, int y1, int x2, int y2) = 0;
    // Ends the page and starts the next one of the same document.
    virtual void newPage() = 0;
};

struct PrintColumns {
    std::vector<int> widths; // W[j], widened as printed
    int tableWidth = 0;      // T = 1 + sum of (W[j] + 1)
    bool landscape = false;  // the table does not fit the page across: turn it
};

// Column widths (widest text in the header font plus 16), the switch to
// landscape when the table is wider than pageWidth (the page as the printer
// is set now), and the widening by 6/5 until the table fills four fifths of
// the page it will be printed on (landscapeWidth once switched).
PrintColumns planColumns(const TextGrid &grid, const PrintMetrics &metrics, int pageWidth, int landscapeWidth);

// Draws the grid on pages of pageWidth × pageHeight (the orientation of
// columns already applied) as one document; returns the number of pages.
int paintGrid(const TextGrid &grid, const QString &title, const QString &dateLine, const PrintColumns &columns,
              int pageWidth, int pageHeight, PrintCanvas &canvas);

} // namespace kelvar::exporting
