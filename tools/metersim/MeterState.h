#pragma once
// Everything the simulated meter keeps: identity, link parameters, password,
// clock, settings, readings, the tariff schedule and the two event journals.
// A plain value: copy it, change it, hand it back. It is saved to and loaded
// from a JSON file so a simulated meter keeps its state across restarts.
//
// Times are meter times in seconds since 2000-01-01 00:00:00 (the meter's own
// local time, the same count the meter puts on the wire).

#include "link/Catalogue.h"
#include "link/Frame.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <cstdint>

namespace kelvar::sim {

constexpr int ZoneSlotCount = 256;
constexpr int HolidaySlotCount = 16;
constexpr int TransferSlotCount = 16;
constexpr int JournalCapacity = 256;   // entries of the settings and power-on journals
constexpr int SlotsPerDay = 48;        // half-hour slots of the load profile
constexpr quint16 DefaultPassword = 1; // the factory access password
constexpr int DefaultAccessTimeoutSec = 10;

// Parameter codes the meter writes into its settings journal.
namespace param {
enum : quint8 {
    Link = 0, Time = 1, LimitCoefficient = 2, Password = 3, Integration = 4, Billing = 5,
    ResetBilling = 6, Display = 7, Description = 8, Schedule = 9, Holidays = 10, Transfers = 11,
    Calibration = 12, Number = 13, Averaging = 15,
};
}

// Event codes of the power-on journal.
namespace power {
enum : quint8 { Off = 0, On = 1 };
}

struct SettingsEntry {
    quint32 time = 0;      // meter seconds since 2000
    quint8 parameter = 0;  // param:: code
    quint8 counter = 0;    // clock corrections made before this entry
    bool operator==(const SettingsEntry &) const = default;
};

struct PowerEntry {
    quint32 time = 0;
    quint8 event = 0;      // power:: code
    bool operator==(const PowerEntry &) const = default;
};

// What the meter recorded itself for a day after its history was generated:
// the tariff readings at 00:00 (when it was running then) and the energy of
// each half-hour slot.
struct DayRecord {
    bool hasStart = false;
    std::array<quint32, 3> startCounts{};          // energy counts per tariff at 00:00
    std::array<quint32, SlotsPerDay> increments{}; // counts per half-hour slot
    bool operator==(const DayRecord &) const = default;
};

// The yearly journal record the meter took at 00:00 of the first day of a month.
struct MonthRecord {
    std::array<quint32, 3> counts{};
    quint32 workingHalfMinutes = 0;
    quint32 peakTime = 0;   // peak power of the month before, with its fixing time
    quint32 peakPower = 0;  // watts
    bool operator==(const MonthRecord &) const = default;
};

struct MeterState {
    // Identity.
    quint32 serialNumber = 0;        // 0: not numbered yet (a number can be written once)
    quint32 modelCode = 51701;       // model x 100 + variant: "Kelvar 517.01"
    quint8 versionMajor = 1;         // software version major.minor
    quint8 versionMinor = 5;

    // Link parameters.
    quint8 address = 0;
    int baudIndex = 0;               // 0..3: 4800, 9600, 19200, 38400 baud
    link::Protocol protocol = link::Protocol::Rs485;
    int parity = 0;                  // "MODBUS": 0 none (2 stop bits), 1 even, 2 odd

    // Access.
    quint16 password = DefaultPassword;
    int accessTimeoutSec = DefaultAccessTimeoutSec; // write access lapses after this long without a write; 0 = never

    // Clock: meter time = workstation local time + clockOffset.
    qint64 clockOffset = 0;          // seconds
    bool timeNotSet = false;         // status bit 6
    bool clockFault = false;         // status bit 5
    bool summerTime = false;         // status bit 7: automatic summer-time changeover wanted

    // Settings.
    int billingDay = 1;              // 1..31
    int billingHour = 0;             // 0..23
    quint8 displayMask = 0x0D;       // bit i: display item i (bits 0..5)
    int integrationMinutes = 30;     // peak power integration time 1..60 (function 30 sends minutes - 1)
    int averagingSeconds = 10;       // power averaging period for the penalty tariff, 5..60
    QByteArray description = QByteArray(48, '\0'); // 48 bytes, Windows-1251, zero padded
    std::array<qint16, 3> calibration{};           // phases A, B, C
    quint32 calibrationDate = 0;     // seconds since 2000; 0 = never calibrated
    qint8 temperature = 23;          // degrees Celsius

    // Readings, in energy counts (4000 per kWh), kept with their fractions.
    double loadKw = 1.2;             // the constant load the meter measures
    std::array<double, 3> tariffCounts{};
    std::array<double, 3> phaseCounts{};
    std::array<quint32, 3> billingCounts{}; // tariff readings at the last billing date and hour
    quint32 peakPower = 0;           // watts, highest integrated power since the last billing date
    quint32 peakTime = 0;
    quint32 billingPeakPower = 0;    // the peak frozen at the last billing date
    quint32 billingPeakTime = 0;
    double workingHalfMinutes = 0;   // operating time in half-minutes
    quint8 corrections = 0;          // clock corrections made (wraps at 256)

    // Tariff schedule image: 7-byte zone records (empty = slot unused),
    // 2-byte holidays (day, month BCD; 00 00 = unused), 4-byte transfers
    // (day, month, year - 2000 BCD, day type; zeros = unused), limit coefficient.
    std::array<QByteArray, ZoneSlotCount> zones;
    std::array<QByteArray, HolidaySlotCount> holidays;
    std::array<QByteArray, TransferSlotCount> transfers;
    quint8 limitCoefficient = 1;

    // Journals and history.
    quint32 seed = 1;                // the generated history derives from it
    quint32 birth = 0;               // meter time where the generated history ends; 0 = not generated yet
    double lastAdvance = 0;          // meter time up to which the readings have been brought
    QList<SettingsEntry> settingsJournal; // newest first, at most JournalCapacity
    QList<PowerEntry> powerJournal;       // newest first, at most JournalCapacity
    QMap<quint32, DayRecord> days;        // days since 2000 -> what the meter recorded live
    QMap<quint32, MonthRecord> months;    // (year - 2000) * 12 + month - 1 -> yearly record taken live

    MeterState();                    // the factory state (schedule, holidays; no history yet)

    // The factory schedule: tariff 2 from 00:00, 1 from 07:00, 2 from 23:00,
    // every day type and month, in slots 2, 3, 4; twelve default holidays.
    void setFactorySchedule();
    // 16-bit checksum of the whole schedule image (zones with their slots,
    // holidays, transfers, limit coefficient); changes when any of it changes.
    quint16 scheduleChecksum() const;

    void addSettingsEntry(quint32 time, quint8 parameter);
    void addPowerEntry(quint32 time, quint8 event);

    QJsonObject toJson() const;
    // Keys that are missing keep their factory values; a malformed value is an error.
    static bool fromJson(const QJsonObject &json, MeterState *state, QString *error = nullptr);
    bool save(const QString &path, QString *error = nullptr) const;
    static bool load(const QString &path, MeterState *state, QString *error = nullptr);

    bool operator==(const MeterState &) const = default;
};

using link::baudRate;

} // namespace kelvar::sim
