#pragma once
// A barcode scanner on a second pseudo-terminal: it sends codes as decimal
// digits ended by CR (or CR LF), optionally in pieces with pauses between them.
// Every public member may be called from any thread.

#include <QObject>
#include <QString>

class QThread;

namespace kelvar::sim {

class ScannerWorker;

class ScannerServer : public QObject {
    Q_OBJECT
public:
    enum class LineEnding { Cr, CrLf, None };

    explicit ScannerServer(QObject *parent = nullptr);
    ~ScannerServer() override;

    bool start(QString *error = nullptr);
    bool isRunning() const;
    QString devicePath() const;
    bool createLink(const QString &path);
    void stop();

    // Sends the code (as given, normally decimal digits) and the line ending,
    // split into `pieces` parts with pauseMs between them. Returns at once;
    // codes sent one after another leave in order.
    void sendCode(const QString &digits, int pieces = 1, LineEnding ending = LineEnding::Cr, int pauseMs = 20);

private:
    QThread *m_thread = nullptr;
    ScannerWorker *m_worker = nullptr;
    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QString m_linkPath;
};

} // namespace kelvar::sim
