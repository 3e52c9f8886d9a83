#pragma once
// Pseudo-terminal plumbing shared by the meter and the scanner servers: the
// pair itself, the symbolic link to its slave, and a worker that lives in the
// server's thread, reads the master side and writes timed output to it.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QSocketNotifier;
class QThread;
class QTimer;

namespace kelvar::sim {

struct PtyPair {
    int master = -1;
    int slave = -1; // kept open by the server, so the master never sees a hang-up
    QString path;   // the slave device
};

// Opens a pair with both ends in raw mode and the master non-blocking.
bool openPty(PtyPair *pair, QString *error);
void closePty(PtyPair &pair);

// Replaces a symbolic link (or creates one) at linkPath pointing to target.
// A path that exists and is not a symbolic link is left alone (false).
bool makeLink(const QString &target, const QString &linkPath, QString *error = nullptr);

class PtyWorker : public QObject {
    Q_OBJECT
public:
    explicit PtyWorker(int master);
    ~PtyWorker() override;

    // Starts `worker` in a new thread (the worker is moved there); stopThread()
    // tears it down again and deletes both.
    static QThread *startThread(PtyWorker *worker, const QString &name);
    static void stopThread(QThread *&thread, PtyWorker *&worker);

    // Bytes to leave atMs after now (never before bytes posted earlier), then
    // `after` runs on the worker's thread. Call it on the worker's thread.
    void post(qint64 atMs, const QByteArray &bytes, std::function<void()> after = {});
    void postUs(qint64 atUs, const QByteArray &bytes, std::function<void()> after = {});

    // How late timed output left against the time it was posted for: the
    // simulated device's own share of the time a program waits for it.
    // Readable from any thread.
    struct Lateness {
        qint64 writes = 0;
        qint64 totalUs = 0;
        qint64 maxUs = 0;
    };
    Lateness lateness() const { return {m_lateWrites.load(), m_lateTotalUs.load(), m_lateMaxUs.load()}; }

protected:
    virtual void received(const QByteArray &bytes) = 0;
    virtual void wrote(const QByteArray &) {}
    // Runs once in the worker's thread after it started.
    virtual void started() {}

private slots:
    void begin();
    void finish();

private:
    void readable();
    void flush();
    void writeDue();
    qint64 nowUs() const;

    struct Pending {
        qint64 dueUs;
        QByteArray bytes;
        std::function<void()> after;
    };
    int m_master;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    QList<Pending> m_pending;
    qint64 m_lastDue = 0; // microseconds on m_clock
    std::atomic<qint64> m_lateWrites{0};
    std::atomic<qint64> m_lateTotalUs{0};
    std::atomic<qint64> m_lateMaxUs{0};
};

// "hh:mm:ss.zzz" of the workstation clock now, for trace lines.
QString traceTime();

} // namespace kelvar::sim
