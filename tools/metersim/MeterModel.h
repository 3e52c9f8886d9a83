#pragma once
// The simulated meter's protocol core, free of any I/O: bytes from the line go
// in with the time they arrived, the bytes the meter sends come out with the
// delay after which they are to leave. The transport (MeterServer) only moves
// bytes; tests drive this class directly without a pseudo-terminal.

#include "Faults.h"
#include "MeterState.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace kelvar::sim {

class History;

// Bytes for the line, to leave atMs milliseconds after the bytes that caused
// them arrived.
struct Transmission {
    qint64 atMs = 0;
    QByteArray bytes;
    bool operator==(const Transmission &) const = default;
};

struct FeedResult {
    QList<Transmission> sends;     // in time order
    QList<QByteArray> requests;    // complete frames the meter took: code, length, data, CRC (no address)
    // After the last send, MeterModel::applyLinkChange() switches the meter to
    // the link parameters just written (function 3 answers in the old ones).
    bool linkChangeAfterSends = false;
};

class MeterModel {
public:
    explicit MeterModel(const MeterState &state = MeterState());
    ~MeterModel();
    MeterModel(const MeterModel &) = delete;
    MeterModel &operator=(const MeterModel &) = delete;

    // Workstation local wall-clock time in milliseconds since 2000-01-01 00:00:00.
    static qint64 hostNowMs();

    // Brings the state to hostMs: generates the history on first use, records
    // a power cycle when the state was saved earlier (poweredOn) and lets the
    // readings grow.
    void powerOn(qint64 hostMs);
    // Records the switch-off in the power-on journal (the server calls it at stop).
    void powerOff(qint64 hostMs);

    // Bytes arrived from the line at hostMs.
    FeedResult feed(const QByteArray &bytes, qint64 hostMs);
    // One complete request without address (code .. CRC) -> the reply without
    // address, or empty when the meter does not answer. No faults, no framing.
    QByteArray process(const QByteArray &frame, qint64 hostMs);
    void applyLinkChange();

    MeterState state(qint64 hostMs);           // readings brought up to hostMs
    const MeterState &rawState() const { return m_state; }
    void setState(const MeterState &state, qint64 hostMs);

    Faults faults() const { return m_faults; }
    void setFaults(const Faults &faults);

    bool writeAccess(qint64 hostMs) const;

    // Meter time (seconds since 2000) at hostMs.
    double meterSeconds(qint64 hostMs) const;

private:
    struct Framing;
    QList<Transmission> shape(const QByteArray &reply, int requestBytes, const QByteArray &request);
    QList<Transmission> echo(quint8 address);
    bool faultSilences(quint8 function);
    void spendShot();
    void advance(qint64 hostMs);
    const History &history();

    MeterState m_state;
    Faults m_faults;
    int m_repliesSinceFaults = 0;
    int m_shotsLeft = 0;
    qint64 m_accessUntilMs = -1;  // host ms; -1 closed
    bool m_accessForever = false;
    bool m_linkChangePending = false;
    MeterState m_pendingLink;
    std::unique_ptr<Framing> m_framing;
    std::unique_ptr<History> m_history;
    quint32 m_historyBirth = 0;
    quint32 m_historySeed = 0;
    friend class Commands;
};

} // namespace kelvar::sim
