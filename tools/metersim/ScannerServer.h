#pragma once
// A barcode scanner on a pseudo-terminal (PtyServer: start(), devicePath(),
// createLink(), stop()): it sends codes as decimal digits ended by CR (or
// CR LF), optionally in pieces with pauses between them; what the program
// sends to it is ignored. Every public member may be called from any thread.

#include "PtyServer.h"

#include <QString>

namespace kelvar::sim {

class ScannerServer : public PtyServer {
    Q_OBJECT
public:
    enum class LineEnding { Cr, CrLf, None };

    explicit ScannerServer(QObject *parent = nullptr);
    ~ScannerServer() override;

    // Sends the code (as given, normally decimal digits) and the line ending,
    // split into `pieces` parts with pauseMs between them. Returns at once;
    // codes sent one after another leave in order.
    void sendCode(const QString &digits, int pieces = 1, LineEnding ending = LineEnding::Cr, int pauseMs = 20);

protected:
    PtyWorker *makeWorker(int master) override;
    QString threadName() const override { return QStringLiteral("scannersim"); }
};

} // namespace kelvar::sim
