#pragma once
// Settings templates: the settings of the settings tab kept in a small INI
// text, so that many meters can be programmed the same way and checked
// against it afterwards. Only the settings a template names are written;
// the template's keys decide the ticks of the write.
//
//   [settings]                    ; optional section line
//   protocol = modbus             ; rs485 | modbus        \  the link parameters,
//   address = 17                  ; 0..255                 | all together
//   baud = 9600                   ; 4800 | 9600 | 19200 | 38400
//   parity = even                 ; none | even | odd (modbus only)
//   clock = workstation           ; workstation | YYYY-MM-DD hh:mm:ss   \ together
//   summer_time = yes             ; yes | no                             /
//   billing_day = 25              ; 1..31                 \ together
//   billing_hour = 17             ; 0..23                 /
//   display = total, clock, power ; items: total billing clock power scroll phases (may be empty)
//   peak_minutes = 30             ; 1..60                 \ together
//   penalty_seconds = 10          ; 5..60                 /
//   description = "Щит 2"         ; at most 48 characters of Windows-1251; quotes keep blanks
//   password = 4242               ; the new password, 0..65535
//   number = 123456               ; 1..131071, written only to a meter without a number
//   reset_schedule = yes          ; yes | no: empty the schedule, holidays, transfers
//
// Lines starting with ';' or '#' and blank lines are comments. Files are UTF-8.
// Parsing refuses unknown keys, repeated keys, values out of range and
// incomplete groups with a message naming the key and the line.

#include "meter/SettingsBatch.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace kelvar::meter {

struct SettingsTemplate {
    // The settings, with the write ticks set for exactly the settings named.
    SettingsValues values;
    // The clock key holds a date and time (otherwise the clock is the
    // workstation's when the write starts).
    bool fixedClock = false;

    bool operator==(const SettingsTemplate &other) const;
};

// The item names of the display key, bit i = name i.
const QStringList &displayItemKeys();

// Parses a template text. On failure: no value and *error says what, as
// "line N: key: what is wrong".
std::optional<SettingsTemplate> parseTemplate(const QString &text, QString *error);
// Reads and parses a template file; *error begins with the file name.
std::optional<SettingsTemplate> loadTemplate(const QString &path, QString *error);

// The canonical text of a template (keys in the order above, no comments
// but a first line naming the format). Parsing it gives the same template.
QString serialiseTemplate(const SettingsTemplate &tpl);
// Writes the file whole or not at all.
bool saveTemplate(const QString &path, const SettingsTemplate &tpl, QString *error);

// What a read of the meter gave for the settings a template can name.
// Every field is optional: a setting the read did not yield cannot be compared.
struct MeterReading {
    struct Link {
        link::Protocol protocol = link::Protocol::Rs485;
        int address = 0;
        int baudIndex = 0;
        int parityIndex = 0;
    };
    std::optional<Link> link;             // the parameters the meter answered on
    std::optional<QDateTime> clock;       // the meter clock when it was read
    QDateTime clockReadAt;                // the workstation clock at that read
    std::optional<bool> summerTime;
    std::optional<int> billingDay;
    std::optional<int> billingHour;
    std::optional<int> displayMask;
    std::optional<int> peakMinutes;
    std::optional<int> penaltySeconds;
    std::optional<QString> description;
    std::optional<quint32> number;
};

struct ComparisonRow {
    enum class State { Match, Differs, NotCompared };
    QString key;        // the template key
    QString meter;      // the meter's value in template notation ("" when unknown)
    QString expected;   // the template's value
    State state = State::NotCompared;
};

// How far the meter clock may be from the expected clock and still match.
inline constexpr int ClockToleranceSeconds = 5;

// One row per setting the template names, in the template's key order. The
// password and the schedule reset cannot be read back: their rows are never
// compared (the meter does not tell its password, and offering it one would
// set it while write access is open).
// expectedClock: what the meter clock should have shown when it was read
// (the workstation clock, or a fixed clock carried on since it was written);
// invalid when the clock cannot be judged.
QList<ComparisonRow> compareTemplate(const SettingsTemplate &tpl, const MeterReading &reading,
                                     const QDateTime &expectedClock);
// True when no row differs.
bool allMatch(const QList<ComparisonRow> &rows);

} // namespace kelvar::meter
