#pragma once
// The simulated meter on a pseudo-terminal (PtyServer: start(), devicePath(),
// createLink(), stop()): the program (or any serial tool) opens devicePath()
// as its serial port. Starting switches the meter on, stopping switches it
// off (both recorded in its power-on journal).
//
// Every public member may be called from any thread.

#include "Faults.h"
#include "MeterBus.h"
#include "MeterModel.h"
#include "MeterState.h"
#include "PtyServer.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

namespace kelvar::sim {

class MeterWorker;

class MeterServer : public PtyServer {
    Q_OBJECT
public:
    // The state and faults set before start() are the ones it starts with;
    // after stop() the state stays readable.
    explicit MeterServer(QObject *parent = nullptr);
    ~MeterServer() override;

    // More meters on the same line (an RS-485 bus, see MeterBus); the server
    // starts with one, index 0. Returns the new meter's index. Members that
    // take a meter index act on meter 0 without one.
    int addMeter(const MeterState &state);
    int meterCount() const;

    // Save the meter's state to this JSON file after every write request and at stop.
    void setStateFile(const QString &path, int meter = 0);

    MeterState state(int meter = 0) const;        // readings brought up to now
    void setState(const MeterState &state, int meter = 0);
    void updateState(const std::function<void(MeterState &)> &change, int meter = 0);
    Faults faults(int meter = 0) const;
    void setFaults(const Faults &faults, int meter = 0);

    // Every complete request frame the meter took (code, length, data, CRC;
    // no address), in order.
    QList<QByteArray> receivedRequests(int meter = 0) const;
    void clearReceived(); // of every meter, with their tallies
    // How the meter answered the requests it took (cleared by clearReceived()).
    ReplyTally tally(int meter = 0) const;

    // Every n replies (0: never) the device is replaced as by replaceDevice(),
    // right after the nth reply has left.
    void setDropAfter(int replies);

    // Trace of the traffic: called on the server's thread with one line per
    // chunk received and sent ("hh:mm:ss.zzz <- 05" / "-> 00 07 ...").
    void setTrace(const std::function<void(const QString &)> &sink);

signals:
    // A complete request frame as in receivedRequests(), taken by any meter
    // (queued to receivers in other threads).
    void requestReceived(QByteArray frame);

protected:
    PtyWorker *makeWorker(int master) override;
    QString threadName() const override;
    void starting() override;
    void stopped() override;

private:
    friend class MeterWorker;
    struct Meter {
        QList<QByteArray> received;
        QString stateFile;
    };
    void saveState(int meter);
    void saveAll();
    // Counts a reply towards the next drop; true when the device is to go now.
    bool countReplyForDrop();

    mutable QMutex m_mutex;                  // guards the bus, the meters, the trace
    mutable MeterBus m_bus;                  // reading a state brings its readings up to now
    QList<Meter> m_meters;                   // beside the bus's models, by index
    int m_dropAfter = 0;
    int m_repliesToDrop = 0;
    std::function<void(const QString &)> m_trace;
};

} // namespace kelvar::sim
