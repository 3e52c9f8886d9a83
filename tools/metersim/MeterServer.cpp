#include "MeterServer.h"

#include "MeterModel.h"
#include "Pty.h"

#include <QMutexLocker>
#include <QTimer>

namespace kelvar::sim {

namespace {
constexpr int PeriodicSaveMs = 60000; // the readings move on even without writes
}

// Serves the meter on the master side, in the server's thread.
class MeterWorker : public PtyWorker {
public:
    MeterWorker(MeterServer *server, int master) : PtyWorker(master), m_server(server) {}

protected:
    void started() override
    {
        auto *save = new QTimer(this);
        connect(save, &QTimer::timeout, this, [this] { m_server->saveAll(); });
        save->start(PeriodicSaveMs);
    }

    void received(const QByteArray &bytes) override
    {
        trace(QStringLiteral("<- "), bytes);
        QList<MeterFeed> feeds;
        {
            QMutexLocker lock(&m_server->m_mutex);
            feeds = m_server->m_bus.feed(bytes, MeterModel::hostNowMs());
            for (const MeterFeed &feed : std::as_const(feeds))
                m_server->m_meters[feed.meter].received += feed.result.requests;
        }
        for (const MeterFeed &feed : std::as_const(feeds))
            answer(feed.meter, feed.result);
    }

    void wrote(const QByteArray &bytes) override { trace(QStringLiteral("-> "), bytes); }

private:
    void answer(int meter, const FeedResult &result)
    {
        for (const QByteArray &frame : result.requests)
            emit m_server->requestReceived(frame);
        if (result.stateChanged)
            m_server->saveState(meter);
        auto switchLink = [server = m_server, meter] {
            {
                QMutexLocker lock(&server->m_mutex);
                server->m_bus.meter(meter).applyLinkChange();
            }
            server->saveState(meter);
        };
        if (result.linkChangeAfterSends && result.sends.isEmpty())
            switchLink();
        // The server replaces the device from its own thread, which ends this one.
        const bool drop = !result.requests.isEmpty() && m_server->countReplyForDrop();
        auto dropDevice = [server = m_server] {
            QMetaObject::invokeMethod(server, [server] { server->replaceDevice(); }, Qt::QueuedConnection);
        };
        if (drop && result.sends.isEmpty())
            dropDevice();
        for (qsizetype i = 0; i < result.sends.size(); ++i) {
            const bool last = i == result.sends.size() - 1;
            const bool link = last && result.linkChangeAfterSends;
            std::function<void()> after;
            if (last && (link || drop))
                after = [=] {
                    if (link)
                        switchLink();
                    if (drop)
                        dropDevice();
                };
            postUs(result.sends[i].atUs, result.sends[i].bytes, after);
        }
    }

    void trace(const QString &direction, const QByteArray &bytes)
    {
        std::function<void(const QString &)> sink;
        {
            QMutexLocker lock(&m_server->m_mutex);
            sink = m_server->m_trace;
        }
        if (sink)
            sink(traceTime() + QLatin1Char(' ') + direction + QString::fromLatin1(bytes.toHex(' ').toUpper()));
    }

    MeterServer *m_server;
};

MeterServer::MeterServer(QObject *parent) : PtyServer(parent), m_meters(1) {}

MeterServer::~MeterServer()
{
    stop();
}

PtyWorker *MeterServer::makeWorker(int master)
{
    return new MeterWorker(this, master);
}

QString MeterServer::threadName() const
{
    return QStringLiteral("metersim");
}

int MeterServer::addMeter(const MeterState &state)
{
    int index = 0;
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = MeterModel::hostNowMs();
        index = m_bus.add(state, now);
        m_meters.append(Meter{});
        if (isRunning())
            m_bus.meter(index).powerOn(now);
    }
    if (isRunning())
        saveState(index);
    return index;
}

int MeterServer::meterCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_bus.size();
}

void MeterServer::starting()
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = MeterModel::hostNowMs();
        for (int i = 0; i < m_bus.size(); ++i)
            m_bus.meter(i).powerOn(now);
    }
    saveAll();
}

void MeterServer::stopped()
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = MeterModel::hostNowMs();
        for (int i = 0; i < m_bus.size(); ++i)
            m_bus.meter(i).powerOff(now);
    }
    saveAll();
}

void MeterServer::setStateFile(const QString &path, int meter)
{
    QMutexLocker lock(&m_mutex);
    m_meters[meter].stateFile = path;
}

void MeterServer::saveState(int meter)
{
    QMutexLocker lock(&m_mutex);
    const QString &file = m_meters[meter].stateFile;
    if (file.isEmpty())
        return;
    QString error;
    if (!m_bus.meter(meter).state(MeterModel::hostNowMs()).save(file, &error))
        qWarning("metersim: cannot save the state to %s: %s", qPrintable(file), qPrintable(error));
}

void MeterServer::saveAll()
{
    for (int i = 0; i < meterCount(); ++i)
        saveState(i);
}

MeterState MeterServer::state(int meter) const
{
    QMutexLocker lock(&m_mutex);
    return m_bus.meter(meter).state(MeterModel::hostNowMs());
}

void MeterServer::setState(const MeterState &state, int meter)
{
    {
        QMutexLocker lock(&m_mutex);
        m_bus.meter(meter).setState(state, MeterModel::hostNowMs());
    }
    if (isRunning())
        saveState(meter);
}

void MeterServer::updateState(const std::function<void(MeterState &)> &change, int meter)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = MeterModel::hostNowMs();
        MeterModel &model = m_bus.meter(meter);
        MeterState state = model.state(now);
        change(state);
        model.setState(state, now);
    }
    if (isRunning())
        saveState(meter);
}

Faults MeterServer::faults(int meter) const
{
    QMutexLocker lock(&m_mutex);
    return m_bus.meter(meter).faults();
}

void MeterServer::setFaults(const Faults &faults, int meter)
{
    QMutexLocker lock(&m_mutex);
    m_bus.meter(meter).setFaults(faults);
}

QList<QByteArray> MeterServer::receivedRequests(int meter) const
{
    QMutexLocker lock(&m_mutex);
    return m_meters[meter].received;
}

void MeterServer::clearReceived()
{
    QMutexLocker lock(&m_mutex);
    for (int i = 0; i < m_bus.size(); ++i) {
        m_meters[i].received.clear();
        m_bus.meter(i).clearTally();
    }
}

ReplyTally MeterServer::tally(int meter) const
{
    QMutexLocker lock(&m_mutex);
    return m_bus.meter(meter).tally();
}

void MeterServer::setDropAfter(int replies)
{
    QMutexLocker lock(&m_mutex);
    m_dropAfter = std::max(0, replies);
    m_repliesToDrop = m_dropAfter;
}

bool MeterServer::countReplyForDrop()
{
    QMutexLocker lock(&m_mutex);
    if (m_dropAfter <= 0 || --m_repliesToDrop > 0)
        return false;
    m_repliesToDrop = m_dropAfter;
    return true;
}

void MeterServer::setTrace(const std::function<void(const QString &)> &sink)
{
    QMutexLocker lock(&m_mutex);
    m_trace = sink;
}

} // namespace kelvar::sim
