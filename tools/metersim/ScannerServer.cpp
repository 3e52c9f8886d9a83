#include "ScannerServer.h"

#include "Pty.h"

#include <QFile>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

namespace kelvar::sim {

class ScannerWorker : public PtyWorker {
public:
    using PtyWorker::PtyWorker;

protected:
    void received(const QByteArray &) override {} // what the program sends to a scanner is ignored
};

ScannerServer::ScannerServer(QObject *parent) : QObject(parent) {}

ScannerServer::~ScannerServer()
{
    stop();
}

bool ScannerServer::start(QString *error)
{
    if (isRunning())
        return true;
    PtyPair pty;
    if (!openPty(&pty, error))
        return false;
    m_master = pty.master;
    m_slave = pty.slave;
    m_devicePath = pty.path;
    m_worker = new ScannerWorker(m_master);
    PtyWorker *worker = m_worker;
    m_thread = PtyWorker::startThread(worker, QStringLiteral("scannersim"));
    return true;
}

bool ScannerServer::isRunning() const
{
    return m_thread != nullptr;
}

QString ScannerServer::devicePath() const
{
    return m_devicePath;
}

bool ScannerServer::createLink(const QString &path)
{
    if (m_devicePath.isEmpty() || !makeLink(m_devicePath, path))
        return false;
    m_linkPath = path;
    return true;
}

void ScannerServer::stop()
{
    if (!m_thread)
        return;
    PtyWorker *worker = m_worker;
    PtyWorker::stopThread(m_thread, worker);
    m_worker = nullptr;
    PtyPair pty{m_master, m_slave, m_devicePath};
    closePty(pty);
    m_master = m_slave = -1;
    m_devicePath.clear();
    if (!m_linkPath.isEmpty()) {
        QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
}

void ScannerServer::sendCode(const QString &digits, int pieces, LineEnding ending, int pauseMs)
{
    if (!m_worker)
        return;
    QByteArray bytes = digits.toLatin1();
    if (ending != LineEnding::None)
        bytes += ending == LineEnding::CrLf ? QByteArray("\r\n") : QByteArray("\r");
    const int count = std::clamp(pieces, 1, std::max(1, static_cast<int>(bytes.size())));
    PtyWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, bytes, count, pauseMs] {
        qsizetype offset = 0;
        for (int k = 0; k < count; ++k) {
            const qsizetype size = bytes.size() * (k + 1) / count - offset;
            worker->post(static_cast<qint64>(k) * pauseMs, bytes.mid(offset, size));
            offset += size;
        }
    });
}

} // namespace kelvar::sim
