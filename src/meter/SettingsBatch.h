#pragma once
// The settings write as plain values: what the operator prepared on the
// settings tab goes in, the request frames of the write come out in the order
// the meter must receive them, and every confirmation gives its operation-log
// lines. No widget is involved, so every byte can be checked on its own.

#include "link/Frame.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace kelvar::meter {

// The one-digit password that presets the access password field and replaces
// a new password that does not read as a number.
inline constexpr int DefaultPassword = 1; // the factory password of a new meter
QString defaultPasswordText();

// The access password as typed: an integer other than -1, sent modulo 65536.
// No value for a text that is not an integer (an empty text included) or -1.
std::optional<quint32> readAccessPassword(const QString &text);
// True when the text is a whole number of zero or more (the new password field keeps only such texts).
bool isNewPasswordText(const QString &text);
// The new password as sent: the number typed, or the default when the text is not one.
quint32 readNewPassword(const QString &text);

// Texts the operator sees for the link parameters and the display items.
const QStringList &protocolTexts();     // "Rs-485", "MODBUS"
const QStringList &baudTexts();         // "4800" .. "38400"
const QStringList &parityTexts();       // "нет", "четн.", "нечетн."
const QStringList &displayItemTexts();  // item i = bit i of the display mask

struct SettingsValues {
    // What is to be written (the ticks of the task group).
    bool writeLink = false;         // link parameters
    bool writeTime = false;         // clock
    bool writeBilling = false;      // billing day and hour
    bool resetTariff = false;       // empty the schedule, holidays, transfers and billing readings
    bool writeIntegration = false;  // both integration times
    bool writeDescription = false;  // description
    bool writePassword = false;     // new password
    bool writeDisplay = false;      // display mode

    QDate date;                     // the clock to set; milliseconds are never sent
    QTime time;
    bool summerTime = false;        // automatic switch to summer time
    int billingDay = 1;             // 1..31
    int billingHour = 0;            // 0..23
    quint8 displayMask = 0;         // bits 0..5
    link::Protocol protocol = link::Protocol::Rs485;
    int newAddress = 1;             // 0..255
    int baudIndex = 0;              // 0..3
    int parityIndex = 0;            // 0..2, "MODBUS" only
    int peakMinutes = 1;            // 1..60
    int penaltySeconds = 5;         // 5..60
    QString description;            // at most 48 characters
    QString newPassword;            // the new password as typed
    quint32 number = 0;             // serial number to give an unnumbered meter; 0 = none

    bool anyTicked() const;
};

// What the meter link knows when a write starts.
struct WriteAccess {
    bool passwordAccepted = false;  // the meter took the access password since the last reset
    QString accessPassword;         // the access password field as typed
};

// The access password step that opens every write: nothing when the meter
// accepted the password earlier, else the password request; refused when the
// typed access password is not usable.
struct AccessStep {
    bool refused = false;
    QByteArray request;             // empty when no password request is needed
};
AccessStep accessPasswordStep(const WriteAccess &access);

struct SettingsBatch {
    enum class Outcome {
        Nothing,          // no item ticked: nothing is sent and nothing is checked
        InvalidPassword,  // the access password is not usable: nothing is sent
        UnwritableDescription, // the description holds characters the meter cannot store: nothing is sent
        Write,            // send passwordRequest (when not empty), then writes
    };
    Outcome outcome = Outcome::Nothing;
    QByteArray passwordRequest;
    QList<QByteArray> writes;       // in sending order, the link parameters last
    QString unwritable;             // UnwritableDescription: the characters outside Windows-1251
};

// The message that refuses a description with characters outside Windows-1251.
QString unwritableDescriptionText(const QString &characters);

// The write of the ticked items. The serial number goes out only for a meter
// that reported none (meterNumber 0) and only when a number was entered.
SettingsBatch buildSettingsBatch(const SettingsValues &values, const WriteAccess &access, quint32 meterNumber);

// The operation-log lines for a confirmed write of function code `code`, with
// the values shown when the confirmation arrives. Function 20 gives its line
// only when it confirms a new password (passwordAccepted already set);
// codes 9, 39, 41 and the codes of other commands give none.
QStringList confirmationLogLines(quint8 code, const SettingsValues &values, bool passwordAccepted);

} // namespace kelvar::meter
