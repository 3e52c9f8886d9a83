#include "GridPrinter.h"

#include "export/PrintLayout.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <cstdio>

#include <array>

namespace kelvar::app {

using exporting::PrintFont;

namespace {

// The four fonts measured against the printer, so that widths and heights
// are in its device units.
class PrinterFonts : public exporting::PrintMetrics {
public:
    explicit PrinterFonts(QPrinter &printer)
    {
        const QFont base = QGuiApplication::font();
        fonts_[size_t(PrintFont::DateLine)] = make(base, 8, false, true);
        fonts_[size_t(PrintFont::Title)] = make(base, 11, true, false);
        fonts_[size_t(PrintFont::Header)] = make(base, 10, true, false);
        fonts_[size_t(PrintFont::Cell)] = make(base, 10, false, false);
        for (size_t i = 0; i < fonts_.size(); ++i)
            metrics_[i] = QFontMetrics(fonts_[i], &printer);
    }

    int textWidth(const QString &text, PrintFont font) const override
    {
        return metrics(font).horizontalAdvance(text);
    }
    int textHeight(PrintFont font) const override { return metrics(font).height(); }

    const QFont &font(PrintFont font) const { return fonts_[size_t(font)]; }
    const QFontMetrics &metrics(PrintFont font) const { return metrics_[size_t(font)]; }

private:
    static QFont make(QFont font, int points, bool bold, bool underline)
    {
        font.setPointSize(points);
        font.setBold(bold);
        font.setUnderline(underline);
        return font;
    }

    std::array<QFont, 4> fonts_;
    std::array<QFontMetrics, 4> metrics_{QFontMetrics(QFont()), QFontMetrics(QFont()), QFontMetrics(QFont()),
                                         QFontMetrics(QFont())};
};

class PainterCanvas : public exporting::PrintCanvas {
public:
    PainterCanvas(QPrinter &printer, QPainter &painter, const PrinterFonts &fonts)
        : printer_(printer), painter_(painter), fonts_(fonts)
    {
        // Rules about 0.1 mm wide whatever the printer's resolution.
        painter_.setPen(QPen(Qt::black, qMax(1, printer.resolution() / 250)));
    }

    int textWidth(const QString &text, PrintFont font) const override { return fonts_.textWidth(text, font); }
    int textHeight(PrintFont font) const override { return fonts_.textHeight(font); }

    void drawText(int x, int y, const QString &text, PrintFont font) override
    {
        painter_.setFont(fonts_.font(font));
        painter_.drawText(x, y + fonts_.metrics(font).ascent(), text);
    }
    void drawLine(int x1, int y1, int x2, int y2) override { painter_.drawLine(x1, y1, x2, y2); }
    void newPage() override { printer_.newPage(); }

private:
    QPrinter &printer_;
    QPainter &painter_;
    const PrinterFonts &fonts_;
};

} // namespace

bool IsPrinterAvailable()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

int PrintGrid(QPrinter &printer, const exporting::TextGrid &grid, const QString &title, const QDateTime &now)
{
    const PrinterFonts fonts(printer);
    QPageLayout turned = printer.pageLayout();
    turned.setOrientation(QPageLayout::Landscape);
    const int landscapeWidth = turned.paintRectPixels(printer.resolution()).width();
    const exporting::PrintColumns columns = exporting::planColumns(grid, fonts, printer.width(), landscapeWidth);
    if (columns.landscape)
        printer.setPageOrientation(QPageLayout::Landscape);

    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    PainterCanvas canvas(printer, painter, fonts);
    const int pages = exporting::paintGrid(grid, title, exporting::printDateLine(now), columns, printer.width(),
                                           printer.height(), canvas);
    painter.end();
    return pages;
}

bool printToPdf(const QString &path, const std::function<int(QPrinter &)> &paint)
{
    // Drawn into a file of its own beside the target, then renamed over it.
    QTemporaryFile part(path + QStringLiteral(".XXXXXX"));
    if (!part.open())
        return false;
    part.close();
    {
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(part.fileName());
        if (paint(pdf) == 0)
            return false;
    }
    if (std::rename(QFile::encodeName(part.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
    part.setAutoRemove(false);
    return true;
}

} // namespace kelvar::app
