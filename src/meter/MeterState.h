#pragma once
// What the program knows about the meter at the current address. One object
// lives for the whole run; the meter information owner clears it whenever a
// new meter is expected (connect, six silences in a row, the reset action,
// after a write batch).

#include <QDateTime>
#include <QtGlobal>

namespace kelvar::meter {

struct MeterState {
    int ModelCode = 0;          // model * 100 + variant, from the software version reply
    quint32 MeterNumber = 0;    // serial number; 0 = the meter has no number yet
    quint8 MeterStatus = 0;     // clock status byte of the last clock reply
    QDateTime MeterTime;        // meter clock of the last clock reply; invalid when it held no valid time
    QDateTime LastSetTime;      // newest programming time on record; invalid = none known
    double DriftSum = 0;        // running sum of clock deviations, seconds per day
    int DriftCount = 0;
    bool PasswordAccepted = false;

    // Everything back to "nothing known".
    void clear() { *this = MeterState(); }
};

} // namespace kelvar::meter
