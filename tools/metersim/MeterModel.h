#pragma once
// The simulated meter's protocol core, free of any I/O: bytes from the line go
// in with the time they arrived, the bytes the meter sends come out with the
// delay after which they are to leave. The transport (MeterServer) only moves
// bytes; tests drive this class directly without a pseudo-terminal.

#include "Faults.h"
#include "MeterState.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <memory>

namespace kelvar::sim {

class History;

// Bytes for the line, to leave atMs milliseconds after the bytes that caused
// them arrived.
struct Transmission {
    qint64 atMs = 0;
    QByteArray bytes;
    qint64 atUs = 0; // the same to the microsecond: when wire time is emulated, what the server uses
    bool operator==(const Transmission &) const = default;
};

// What the meter did with the requests it took, by the kind of reply it sent
// (each request counts under exactly one of them).
struct ReplyTally {
    int requests = 0;      // complete frames taken
    int answered = 0;      // normal replies, sent intact
    int silenced = 0;      // no reply (a silence fault)
    QMap<int, int> errors; // intact error replies, by error code
    int corruptCrc = 0;    // replies sent with a wrong CRC
    int otherFunction = 0; // replies carrying another function code (intact otherwise)
    bool operator==(const ReplyTally &) const = default;
};

struct FeedResult {
    QList<Transmission> sends;     // in time order
    QList<QByteArray> requests;    // complete frames the meter took: code, length, data, CRC (no address)
    // After the last send, MeterModel::applyLinkChange() switches the meter to
    // the link parameters just written (function 3 answers in the old ones).
    bool linkChangeAfterSends = false;
    bool stateChanged = false;     // a write request changed the state (worth saving)
};

class MeterModel {
public:
    explicit MeterModel(const MeterState &state = MeterState());
    ~MeterModel();
    MeterModel(const MeterModel &) = delete;
    MeterModel &operator=(const MeterModel &) = delete;

    // Workstation local wall-clock time in milliseconds since 2000-01-01 00:00:00.
    static qint64 hostNowMs();

    // Switches the meter on at hostMs: a state without history gets its
    // generated past; a saved state records the switch-off (when it was saved)
    // and this switch-on in the power-on journal. Write access starts closed.
    void powerOn(qint64 hostMs);
    // Records the switch-off in the power-on journal (the server calls it at stop).
    void powerOff(qint64 hostMs);

    // Bytes arrived from the line at hostMs.
    FeedResult feed(const QByteArray &bytes, qint64 hostMs);
    // "Rs-485": a frame (or a bad one being skipped) is under way at hostMs,
    // so a lone byte now belongs to it rather than being an address byte.
    bool midFrame(qint64 hostMs) const;
    // An address byte went by on the line: whatever this meter was receiving
    // is over (the ninth bit starts a new exchange for every meter).
    void abandonFrame();
    // One complete request without address (code .. CRC) -> the reply without
    // address, or empty when the meter does not answer. No faults, no framing.
    QByteArray process(const QByteArray &frame, qint64 hostMs);
    // Switches to the link parameters of a confirmed function 3 (no-op without one).
    void applyLinkChange();

    // Readings brought up to hostMs (while switched on; a meter that is off,
    // before powerOn() or after powerOff(), stands still).
    MeterState state(qint64 hostMs);
    const MeterState &rawState() const { return m_state; }
    void setState(const MeterState &state, qint64 hostMs);

    const ReplyTally &tally() const { return m_tally; }
    void clearTally() { m_tally = {}; }

    Faults faults() const { return m_faults; }
    void setFaults(const Faults &faults);

    bool writeAccess(qint64 hostMs) const;

    // Meter time (seconds since 2000) at hostMs.
    double meterSeconds(qint64 hostMs) const;

private:
    friend class Commands;
    struct Framing;
    void feedRs485(const QByteArray &bytes, qint64 hostMs, FeedResult &result);
    void feedModbus(const QByteArray &bytes, qint64 hostMs, FeedResult &result);
    void take(const QByteArray &frame, int lineBytes, bool crcValid, qint64 hostMs, FeedResult &result);
    QList<Transmission> shape(QByteArray body, int requestBytes, bool altered);
    QList<Transmission> echo();
    int wireBaud() const;
    void spendShot();

    void ensureHistory(qint64 hostMs);
    const History *history();
    void advance(qint64 hostMs);
    void boundary(quint32 t);
    void openAccess(qint64 hostMs);
    void requestLinkChange(quint8 address, int baudIndex, link::Protocol protocol, int parity);
    void setMeterTime(quint32 seconds, qint64 hostMs);
    bool dayRecord(quint32 day, DayRecord *record);
    bool monthRecord(quint32 key, MonthRecord *record);

    MeterState m_state;
    Faults m_faults;
    int m_replies = 0;            // replies computed since setFaults
    ReplyTally m_tally;
    int m_shotsLeft = 0;
    qint64 m_accessUntilMs = -1;  // host ms until which write access is open; -1 closed
    bool m_poweredOn = false;
    bool m_linkChangePending = false;
    quint8 m_nextAddress = 0;
    int m_nextBaudIndex = 0;
    link::Protocol m_nextProtocol = link::Protocol::Rs485;
    int m_nextParity = 0;
    std::unique_ptr<Framing> m_framing;
    std::unique_ptr<History> m_history;
};

} // namespace kelvar::sim
