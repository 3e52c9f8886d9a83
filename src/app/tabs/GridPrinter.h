#pragma once
// Prints a text grid on a QPrinter as one document: the page layout of
// export/PrintLayout drawn with QPainter in the printer's default typeface.

#include "export/TextGrid.h"

#include <QDateTime>

#include <functional>

class QPrinter;

namespace kelvar::app {

// True when at least one printer is installed.
bool IsPrinterAvailable();

// Lays the grid out for the printer's page (turning the printer to landscape
// when the table is wider than the page; it stays turned), prints the date
// line of now, the title and the ruled rows. Returns the number of pages, 0
// when the printer cannot be started.
int PrintGrid(QPrinter &printer, const exporting::TextGrid &grid, const QString &title, const QDateTime &now);

// Prints through paint (which returns its page count) into a PDF file instead
// of a printer, whole or not at all: an older file at the path stays as it
// was when nothing could be printed.
bool printToPdf(const QString &path, const std::function<int(QPrinter &)> &paint);

} // namespace kelvar::app
