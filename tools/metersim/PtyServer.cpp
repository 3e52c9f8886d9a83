#include "PtyServer.h"

#include "Pty.h"

#include <QFile>
#include <QMutexLocker>

namespace kelvar::sim {

PtyServer::PtyServer(QObject *parent) : QObject(parent) {}

PtyServer::~PtyServer() = default;

bool PtyServer::start(QString *error)
{
    if (isRunning())
        return true;
    PtyPair pty;
    if (!openPty(&pty, error))
        return false;
    m_master = pty.master;
    m_slave = pty.slave;
    {
        QMutexLocker lock(&m_pathMutex);
        m_devicePath = pty.path;
    }
    starting();
    m_worker = makeWorker(m_master);
    m_thread = PtyWorker::startThread(m_worker, threadName());
    return true;
}

bool PtyServer::isRunning() const
{
    return m_thread != nullptr;
}

QString PtyServer::devicePath() const
{
    QMutexLocker lock(&m_pathMutex);
    return m_devicePath;
}

bool PtyServer::createLink(const QString &path)
{
    QMutexLocker lock(&m_pathMutex);
    if (m_devicePath.isEmpty() || !makeLink(m_devicePath, path))
        return false;
    m_linkPath = path;
    return true;
}

bool PtyServer::replaceDevice(QString *error)
{
    if (!m_thread)
        return false;
    PtyWorker::stopThread(m_thread, m_worker);
    PtyPair old{m_master, m_slave, {}};
    closePty(old);
    m_master = m_slave = -1;
    PtyPair pty;
    const bool made = openPty(&pty, error);
    {
        QMutexLocker lock(&m_pathMutex);
        m_devicePath = pty.path;
        if (made && !m_linkPath.isEmpty())
            makeLink(m_devicePath, m_linkPath);
    }
    if (!made) {
        stopped();
        return false;
    }
    m_master = pty.master;
    m_slave = pty.slave;
    m_worker = makeWorker(m_master);
    m_thread = PtyWorker::startThread(m_worker, threadName());
    return true;
}

PtyWorker::Lateness PtyServer::outputLateness() const
{
    return m_worker ? m_worker->lateness() : PtyWorker::Lateness{};
}

void PtyServer::stop()
{
    if (!m_thread)
        return;
    PtyWorker::stopThread(m_thread, m_worker);
    stopped();
    PtyPair pty{m_master, m_slave, {}};
    closePty(pty);
    m_master = m_slave = -1;
    QMutexLocker lock(&m_pathMutex);
    m_devicePath.clear();
    if (!m_linkPath.isEmpty()) {
        QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
}

} // namespace kelvar::sim
