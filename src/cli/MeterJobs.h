#pragma once
// What each command does with one meter, on a session that is already set
// up: the same steps whether the command runs on one port or on several.
// Each returns the exit code of that meter and leaves the failure in words
// in the session's error().

#include "journals/Journal.h"
#include "meter/SettingsTemplate.h"

#include <QList>
#include <QString>

namespace kelvar::schedule { struct ScheduleImage; }

namespace kelvar::cli {

class Session;

// Connects and reads one whole poll cycle.
int readMeter(Session &session);

// Connects, reads, writes the template's settings (access password first,
// link parameters last), reads the meter afresh and compares it with the
// template into *rows. A template that names nothing to write ends after the
// write step with ExitOk and no rows.
int writeMeter(Session &session, const meter::SettingsTemplate &tpl, QList<meter::ComparisonRow> *rows);

// Connects, reads and compares the meter with the template into *rows.
int compareMeter(Session &session, const meter::SettingsTemplate &tpl, QList<meter::ComparisonRow> *rows);

// The exit code of a comparison: ExitOk when nothing differs.
int comparisonExit(const QList<meter::ComparisonRow> &rows);

// Connects, reads, reads a journal and exports its list as the window does
// (.xls, .xlsx or .csv by the file's extension), whole or not at all. In the
// path, {port} and {serial} stand for the port's name and the meter's serial
// number; *written is the file. An export that fails gives ExitUsage with *error.
int journalMeter(Session &session, journals::JournalKind kind, const journals::JournalParams &params,
                 const QString &pathPattern, QString *written, QString *error);

// Connects, reads and writes a schedule image; *leftOut: the records that
// apply to no day and were not written.
int writeScheduleMeter(Session &session, const schedule::ScheduleImage &image, int *leftOut);

// Connects, reads one poll cycle and the whole schedule, and writes the
// programming record as a PDF file, whole or not at all. A schedule that
// cannot be decoded gives ExitRefused, a file that cannot be written
// ExitUsage, both with *error.
int passportMeter(Session &session, const QString &path, QString *error);

} // namespace kelvar::cli
