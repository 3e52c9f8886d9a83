#pragma once
// The programming record on A4 portrait pages: a running head with the
// meter's serial number and "Лист N из M" at the foot of every page, then the
// meter, its settings, the schedule (the year grid in the tariff colours with
// a legend, each day programme once, holidays, transfers, coefficient and the
// two checksums) and who read it where and when. Drawn with QPainter on any
// paged device, so the print preview, a printer and the PDF file show the
// same pages. Needs a QGuiApplication (fonts), no widgets.

#include "report/ProgrammingRecord.h"

#include <QString>

class QPagedPaintDevice;

namespace kelvar::report {

// The document's title, also its first line.
QString recordTitle();

// Sets the device to A4 portrait and draws the record; returns the number of
// pages (0 when the device cannot be painted on).
int paintRecord(const ProgrammingRecord &record, QPagedPaintDevice &device);

// Writes the record as a PDF file, whole or not at all: an older file at the
// path stays as it was when anything fails (the reason goes to *error).
bool writeRecordPdf(const ProgrammingRecord &record, const QString &path, QString *error = nullptr);

} // namespace kelvar::report
