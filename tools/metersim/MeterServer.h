#pragma once
// The simulated meter on a pseudo-terminal. start() opens a pseudo-terminal
// pair and serves the meter on the master side in its own thread; the program
// (or any serial tool) opens devicePath(), the slave side, as its serial port.
// The server keeps a descriptor of the slave open itself, so the program may
// close and reopen the port at will.
//
// Every public member may be called from any thread.

#include "Faults.h"
#include "MeterState.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace kelvar::sim {

class MeterModel;
class MeterWorker;

class MeterServer : public QObject {
    Q_OBJECT
public:
    explicit MeterServer(QObject *parent = nullptr);
    ~MeterServer() override;

    // Opens the pseudo-terminal and starts serving. False (with a message) when
    // the pseudo-terminal cannot be made. The state and faults set before
    // start() are the ones it starts with.
    bool start(QString *error = nullptr);
    bool isRunning() const;
    // The slave device path, e.g. /dev/pts/7 (empty before start()).
    QString devicePath() const;
    // A symbolic link at path to the slave device (replacing a link already
    // there); removed again by stop().
    bool createLink(const QString &path);
    // Stops serving, records the switch-off and closes the pseudo-terminal;
    // the state stays readable. Also run by the destructor.
    void stop();

    // Save the state to this JSON file after every write request and at stop.
    void setStateFile(const QString &path);

    MeterState state() const;                     // readings brought up to now
    void setState(const MeterState &state);
    void updateState(const std::function<void(MeterState &)> &change);
    Faults faults() const;
    void setFaults(const Faults &faults);

    // Every complete request frame the meter took (code, length, data, CRC;
    // no address), in order.
    QList<QByteArray> receivedRequests() const;
    void clearReceived();

    // Trace of the traffic: called on the server's thread with one line per
    // chunk received and sent ("hh:mm:ss.zzz <- 05" / "-> 00 07 ...").
    void setTrace(const std::function<void(const QString &)> &sink);

signals:
    // A complete request frame as in receivedRequests() (queued to receivers
    // in other threads).
    void requestReceived(QByteArray frame);

private:
    friend class MeterWorker;
    void saveState();

    mutable QMutex m_mutex;                  // guards the model, the requests, the file and the trace
    std::unique_ptr<MeterModel> m_model;
    QList<QByteArray> m_received;
    QString m_stateFile;
    std::function<void(const QString &)> m_trace;

    QThread *m_thread = nullptr;
    MeterWorker *m_worker = nullptr;
    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_linkPath;
};

} // namespace kelvar::sim
