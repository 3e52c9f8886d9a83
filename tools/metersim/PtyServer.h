#pragma once
// A device served on a pseudo-terminal: start() opens a pseudo-terminal pair
// and serves the master side in its own thread; the program (or any serial
// tool) opens devicePath(), the slave side. The server keeps a descriptor of
// the slave open itself, so the program may close and reopen the port at will.
//
// Every public member may be called from any thread.

#include "Pty.h"

#include <QMutex>
#include <QObject>
#include <QString>

class QThread;

namespace kelvar::sim {

class PtyServer : public QObject {
    Q_OBJECT
public:
    explicit PtyServer(QObject *parent = nullptr);
    ~PtyServer() override; // derived servers stop() in their own destructor

    // Opens the pseudo-terminal and starts serving. False (with a message) when
    // the pseudo-terminal cannot be made.
    bool start(QString *error = nullptr);
    bool isRunning() const;
    // The slave device path, e.g. /dev/pts/7 (empty when not running).
    QString devicePath() const;
    // A symbolic link at path to the slave device (replacing a link already
    // there, refusing any other file); removed again by stop().
    bool createLink(const QString &path);
    // Stops serving and closes the pseudo-terminal. Also run by the destructor.
    void stop();
    // The device goes away and comes back as a new pseudo-terminal (as a USB
    // adapter pulled out and plugged in again): whoever has the old one open
    // sees it fail; the link made by createLink() now leads to the new one.
    // The device's own state stays. False (and stopped) when no new
    // pseudo-terminal can be made.
    bool replaceDevice(QString *error = nullptr);
    // How late the device's timed output left, since it started or was last
    // replaced (all zero when not running). Call it on the server's own
    // thread, which is where the device is replaced.
    PtyWorker::Lateness outputLateness() const;

protected:
    // The worker that serves the master descriptor (it is moved to the thread).
    virtual PtyWorker *makeWorker(int master) = 0;
    virtual QString threadName() const = 0;
    // Run by start() before serving begins, and by stop() after it ended.
    virtual void starting() {}
    virtual void stopped() {}
    PtyWorker *worker() const { return m_worker; }

private:
    mutable QMutex m_pathMutex; // guards the two paths
    QString m_devicePath;
    QString m_linkPath;
    QThread *m_thread = nullptr;
    PtyWorker *m_worker = nullptr;
    int m_master = -1;
    int m_slave = -1;
};

} // namespace kelvar::sim
