#pragma once
// The programming record of a meter ("Протокол программирования счетчика"):
// what the program read from one meter, gathered into plain values that the
// page layout (RecordDocument) draws. Widget-free; the window and the
// command-line program fill it from the same owners.

#include "schedule/CellFlags.h"
#include "schedule/ScheduleFile.h"
#include "schedule/Tables.h"
#include "schedule/ZoneRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace kelvar::link { class ExchangeEngine; }
namespace kelvar::meter { class MeterInfo; }
namespace kelvar::schedule { class ScheduleExchange; }

namespace kelvar::report {

struct RecordLine {
    QString caption;
    QString value;
    friend bool operator==(const RecordLine &, const RecordLine &) = default;
};

// One day programme (the zones of a cell, by start time) and the cells of the
// year grid that run it.
struct DayProgramme {
    QList<schedule::Zone> zones;
    schedule::CellFlags cells;
};

// The link the meter answered on (indexes as the settings tab holds them).
struct LinkSettings {
    int address = 0;
    int protocolIndex = 0; // meter::protocolTexts()
    int baudIndex = 0;     // meter::baudTexts()
    int parityIndex = 0;   // meter::parityTexts()
};

// Who read the meter, where and when.
struct ReadContext {
    QString workstation;
    QString operatorName;
    QDateTime readAt;
    QString operationNumber;                 // production mode: the recorded operation; empty otherwise
    std::array<quint32, 3> tariffColors{};   // colour references 0x00BBGGRR of tariffs 1..3
};

struct ProgrammingRecord {
    QString serialNumber;
    QList<RecordLine> meter;       // type, number, version, calibrated, description
    QList<RecordLine> settings;    // clock, summer time, billing, integration times, display, link
    QList<DayProgramme> programmes;
    std::array<int, schedule::CellCount> cellProgramme{}; // index into programmes, -1: no zones
    QList<schedule::Holiday> holidays;
    QList<schedule::Transfer> transfers;
    int limitCoefficient = 1;
    QString reportedChecksum;      // as the meter reports it (its text; empty when not read)
    quint16 computedChecksum = 0;  // computed from the schedule read
    ReadContext context;

    int programmeOf(int month, int dayType) const { return cellProgramme[size_t((month - 1) * 8 + dayType - 1)]; }
    bool checksumsDiffer() const { return reportedChecksum != QString::number(computedChecksum); }
};

// Gathers the record. Nothing, and the reason in *error, when a zone record
// of the schedule cannot be decoded.
std::optional<ProgrammingRecord> makeRecord(const meter::MeterInfo &info, const LinkSettings &link,
                                            const schedule::ScheduleImage &schedule, quint16 computedChecksum,
                                            const ReadContext &context, QString *error = nullptr);

// The record of what the owners read last: the information of the poll
// cycle, the link the meter answered on and the last completed schedule read
// (with the checksum computed from it).
std::optional<ProgrammingRecord> recordOfRead(const meter::MeterInfo &info, const link::ExchangeEngine &engine,
                                              const schedule::ScheduleExchange &schedule, const ReadContext &context,
                                              QString *error = nullptr);

// This computer and its logged-on user, now, with the stored tariff colours.
ReadContext thisWorkstation();

// Each distinct day programme once, in the order of its first cell (months
// across, day types down), with the index of each cell's programme.
QList<DayProgramme> dayProgrammes(const QList<schedule::ZoneRecord> &records,
                                  std::array<int, schedule::CellCount> *cellProgramme);

// The cells as text: day types with the same months share a line,
// e.g. "ПН, ВТ, СР, ЧТ, ПТ: ЯНВ–ДЕК; СБ, ВС: ЯНВ–МАР, ОКТ–ДЕК".
QString cellsText(const schedule::CellFlags &cells);

} // namespace kelvar::report
