#pragma once
// Faults the simulated meter can be told to make, so tests can script a bad
// day on the line. All of them act on replies (and the address echo, where
// said); requests are always taken and recorded.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelvar::sim {

struct Faults {
    bool silent = false;       // answer nothing at all, not even the "Rs-485" address echo
    int silentReply = 0;       // 1-based: the Nth reply (counted from setFaults) is not sent; 0 = off
    int silentFunction = -1;   // requests with this function code get no reply
    int errorFunction = -1;    // requests with this function code get the error reply errorCode ...
    int errorCode = 0;         // ... (-1 in errorFunction with errorCode > 0: every request)
    bool corruptCrc = false;   // the reply's CRC is wrong (last byte inverted)
    int replyFunction = -1;    // the reply carries this function code instead of the request's
    int delayMs = 0;           // the reply leaves this much later
    int pieces = 1;            // the reply is split into this many pieces ...
    int pieceGapMs = 0;        // ... with this pause between them
    QByteArray garbage;        // bytes sent in front of the reply
    int wireBaud = 0;          // wire-time emulation: 0 off, -1 at the meter's own baud rate, else this rate
    int turnaroundMs = 0;      // with wire time: the meter's pause between request and reply

    // 0: the faults stay until changed. N > 0: they apply to the next N replies
    // they alter, then all of them clear themselves (one-shot with 1).
    int shots = 0;

    bool any() const;
    bool operator==(const Faults &) const = default;
};

// Bits on the line per character: start, 8 data, parity or second stop, stop.
// Both protocol types of the meter use 11 ("Rs-485": mark/space parity;
// "MODBUS": even/odd parity with 1 stop bit, or no parity with 2 stop bits).
constexpr int BitsPerCharacter = 11;

// Wire time of a number of bytes at a baud rate, in microseconds.
qint64 wireTimeUs(qsizetype bytes, int baud);

// Command-line switches for the faults, shared by the executable and its tests.
// Each entry: name (without "--"), value placeholder or empty for a flag, help.
struct FaultOption {
    const char *name;
    const char *value;
    const char *help;
};
const QList<FaultOption> &faultOptions();
// Applies one switch (name without "--", value as given); false with a message
// when the value does not fit.
bool applyFaultOption(Faults &faults, const QString &name, const QString &value, QString *error = nullptr);

} // namespace kelvar::sim
