#include "MeterJobs.h"

#include "cli/MultiPort.h"
#include "cli/Session.h"
#include "export/GridExport.h"
#include "meter/MeterRead.h"
#include "report/ProgrammingRecord.h"
#include "report/RecordDocument.h"
#include "schedule/ScheduleFile.h"

namespace kelvar::cli {

int readMeter(Session &session)
{
    int result = session.connectMeter();
    if (result == ExitOk)
        result = session.readCycle();
    return result;
}

int writeMeter(Session &session, const meter::SettingsTemplate &tpl, QList<meter::ComparisonRow> *rows)
{
    if (const int result = readMeter(session))
        return result;
    if (const int written = session.writeSettings(tpl))
        return written;
    if (!tpl.values.anyTicked() && tpl.values.number == 0)
        return ExitOk;
    // The meter is read afresh: every value compared was read after the write.
    if (const int result = session.readCycle())
        return result;
    QDateTime expected = QDateTime::currentDateTime();
    if (tpl.fixedClock && session.clockWrittenAt().isValid())
        expected = QDateTime(tpl.values.date, tpl.values.time)
                       .addMSecs(session.clockWrittenAt().msecsTo(QDateTime::currentDateTime()));
    *rows = meter::compareTemplate(tpl, meter::readingFrom(session.info(), session.engine()), expected);
    return comparisonExit(*rows);
}

int compareMeter(Session &session, const meter::SettingsTemplate &tpl, QList<meter::ComparisonRow> *rows)
{
    if (const int result = readMeter(session))
        return result;
    // A fixed clock has run on since it was written, by an unknown time.
    const QDateTime expected = tpl.fixedClock ? QDateTime() : QDateTime::currentDateTime();
    *rows = meter::compareTemplate(tpl, meter::readingFrom(session.info(), session.engine()), expected);
    return comparisonExit(*rows);
}

int comparisonExit(const QList<meter::ComparisonRow> &rows)
{
    return meter::allMatch(rows) ? ExitOk : ExitRefused;
}

int journalMeter(Session &session, journals::JournalKind kind, const journals::JournalParams &params,
                 const QString &pathPattern, QString *written, QString *error)
{
    if (const int result = readMeter(session))
        return result;
    if (const int result = session.readJournal(kind, params))
        return result;
    // The grid and title of the window's export: the list's captions and rows.
    const journals::JournalTable &table = session.journals().table(kind);
    const exporting::TextGrid grid = exporting::makeGrid(journals::journalCaptions(kind), table.rows());
    // The export's journals are listed in the same order as the owner's.
    const QString title = exporting::exportTitle(static_cast<exporting::JournalKind>(kind), table.meterNumber());
    const QString path = expandPath(pathPattern, session.engine().portName(), session.info().state().MeterNumber);
    *written = path;
    if (!exporting::exportGrid(grid, title, path, exporting::formatForPath(path), error)) {
        *error = path + QStringLiteral(": ") + *error;
        return ExitUsage;
    }
    return ExitOk;
}

int writeScheduleMeter(Session &session, const schedule::ScheduleImage &image, int *leftOut)
{
    if (const int result = readMeter(session))
        return result;
    if (const int result = session.writeSchedule(image))
        return result;
    *leftOut = session.schedule().leftOutRecords();
    return ExitOk;
}

int passportMeter(Session &session, const QString &path, QString *error)
{
    if (const int result = readMeter(session))
        return result;
    if (const int result = session.readSchedule())
        return result;
    const auto record = report::recordOfRead(session.info(), session.engine(), session.schedule(),
                                             report::thisWorkstation(), error);
    if (!record) {
        *error = QStringLiteral("the meter's schedule cannot be taken: ") + *error;
        return ExitRefused;
    }
    if (!report::writeRecordPdf(*record, path, error))
        return ExitUsage;
    return ExitOk;
}

} // namespace kelvar::cli
