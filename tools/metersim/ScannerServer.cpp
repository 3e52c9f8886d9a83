#include "ScannerServer.h"

#include "Pty.h"

#include <QMetaObject>

#include <algorithm>

namespace kelvar::sim {

class ScannerWorker : public PtyWorker {
public:
    using PtyWorker::PtyWorker;

protected:
    void received(const QByteArray &) override {} // what the program sends to a scanner is ignored
};

ScannerServer::ScannerServer(QObject *parent) : PtyServer(parent) {}

ScannerServer::~ScannerServer()
{
    stop();
}

PtyWorker *ScannerServer::makeWorker(int master)
{
    return new ScannerWorker(master);
}

void ScannerServer::sendCode(const QString &digits, int pieces, LineEnding ending, int pauseMs)
{
    PtyWorker *worker = this->worker();
    if (!worker)
        return;
    QByteArray bytes = digits.toLatin1();
    if (ending != LineEnding::None)
        bytes += ending == LineEnding::CrLf ? QByteArray("\r\n") : QByteArray("\r");
    const int count = std::clamp(pieces, 1, std::max(1, static_cast<int>(bytes.size())));
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
