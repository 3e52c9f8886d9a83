#pragma once
// The barcode scanner on its own serial port (VaComm2): 9600 baud, 8 data
// bits, no parity, one stop bit, no flow control, DTR and RTS off. Every code
// it completes is reported by codeScanned. The port is reached through a
// serial channel handed in, so tests drive it over a pseudo-terminal.

#include "scanner/ScanBuffer.h"

#include <QObject>
#include <QString>

#include <memory>

namespace kelvar::link { class SerialChannel; }

namespace kelvar::scanner {

// The operator's scanner settings: its port and whether it is switched on.
struct ScannerSettings {
    QString port;
    bool on = false;
};

class ScannerPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int BaudRate = 9600;
    static constexpr int ReopenDelayMs = 100;

    explicit ScannerPort(std::unique_ptr<link::SerialChannel> channel, QObject *parent = nullptr);
    ~ScannerPort() override;

    void setPortName(const QString &name);
    QString portName() const;
    bool isOpen() const;

    // At start: in production mode with the scanner switched on, opens the
    // port and sends one 00 byte. A port that cannot be opened stays closed
    // without a word.
    void start(bool productionMode, bool switchedOn);
    // CheckScanerClick: switched on opens the port, off closes it; errors are silent.
    void CheckScanerClick(bool switchedOn);
    // ComboScanerChange: closes the port, and ReopenDelayMs later opens the
    // newly chosen one; a failure to open is reported by openFailed.
    void ComboScanerChange(const QString &name);

    // Opens with the scanner's settings; false (port closed) on failure.
    bool open(QString *error = nullptr);
    void close();

    const ScanBuffer &buffer() const { return m_buffer; }

signals:
    void codeScanned(int number);
    void openFailed(const QString &error);

private:
    void VaComm2RxChar();

    std::unique_ptr<link::SerialChannel> m_channel;
    ScanBuffer m_buffer;
    int m_reopenGeneration = 0;
};

} // namespace kelvar::scanner
