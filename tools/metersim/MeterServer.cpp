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
        connect(save, &QTimer::timeout, this, [this] { m_server->saveState(); });
        save->start(PeriodicSaveMs);
    }

    void received(const QByteArray &bytes) override
    {
        trace(QStringLiteral("<- "), bytes);
        FeedResult result;
        {
            QMutexLocker lock(&m_server->m_mutex);
            result = m_server->m_model->feed(bytes, MeterModel::hostNowMs());
            m_server->m_received += result.requests;
        }
        for (const QByteArray &frame : std::as_const(result.requests))
            emit m_server->requestReceived(frame);
        if (result.stateChanged)
            m_server->saveState();
        auto switchLink = [this] {
            {
                QMutexLocker lock(&m_server->m_mutex);
                m_server->m_model->applyLinkChange();
            }
            m_server->saveState();
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

    void wrote(const QByteArray &bytes) override { trace(QStringLiteral("-> "), bytes); }

private:
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

MeterServer::MeterServer(QObject *parent) : PtyServer(parent), m_model(std::make_unique<MeterModel>()) {}

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

void MeterServer::starting()
{
    {
        QMutexLocker lock(&m_mutex);
        m_model->powerOn(MeterModel::hostNowMs());
    }
    saveState();
}

void MeterServer::stopped()
{
    {
        QMutexLocker lock(&m_mutex);
        m_model->powerOff(MeterModel::hostNowMs());
    }
    saveState();
}

void MeterServer::setStateFile(const QString &path)
{
    QMutexLocker lock(&m_mutex);
    m_stateFile = path;
}

void MeterServer::saveState()
{
    QMutexLocker lock(&m_mutex);
    if (m_stateFile.isEmpty())
        return;
    QString error;
    if (!m_model->state(MeterModel::hostNowMs()).save(m_stateFile, &error))
        qWarning("metersim: cannot save the state to %s: %s", qPrintable(m_stateFile), qPrintable(error));
}

MeterState MeterServer::state() const
{
    QMutexLocker lock(&m_mutex);
    return m_model->state(MeterModel::hostNowMs());
}

void MeterServer::setState(const MeterState &state)
{
    {
        QMutexLocker lock(&m_mutex);
        m_model->setState(state, MeterModel::hostNowMs());
    }
    if (isRunning())
        saveState();
}

void MeterServer::updateState(const std::function<void(MeterState &)> &change)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 now = MeterModel::hostNowMs();
        MeterState state = m_model->state(now);
        change(state);
        m_model->setState(state, now);
    }
    if (isRunning())
        saveState();
}

Faults MeterServer::faults() const
{
    QMutexLocker lock(&m_mutex);
    return m_model->faults();
}

void MeterServer::setFaults(const Faults &faults)
{
    QMutexLocker lock(&m_mutex);
    m_model->setFaults(faults);
}

QList<QByteArray> MeterServer::receivedRequests() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

void MeterServer::clearReceived()
{
    QMutexLocker lock(&m_mutex);
    m_received.clear();
    m_model->clearTally();
}

ReplyTally MeterServer::tally() const
{
    QMutexLocker lock(&m_mutex);
    return m_model->tally();
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
