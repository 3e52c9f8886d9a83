#pragma once
// The serial channel over QSerialPort: a COM port on Windows, a tty or a
// pseudo-terminal on Linux.

#include "link/SerialChannel.h"

#include <QSerialPort>
#include <QStringList>
#include <functional>

namespace kelvar::link {

class QSerialPortChannel : public SerialChannel
{
    Q_OBJECT
public:
    explicit QSerialPortChannel(QObject *parent = nullptr);
    ~QSerialPortChannel() override;

    void setPortName(const QString &name) override;
    QString portName() const override;

    bool open() override;
    bool close() override;
    bool isOpen() const override;

    bool setBaudRate(qint32 baud) override;
    qint32 baudRate() const override;
    bool setParity(Parity parity) override;
    Parity parity() const override;
    bool setStopBits(int stopBits) override;
    int stopBits() const override;
    bool setRts(bool on) override;

    bool writeByte(quint8 byte) override;
    bool write(const QByteArray &bytes) override;
    QByteArray readAll() override;

    QString errorString() const override;
    QString openAdvice() const override;

    // Opens the named port, writes one zero byte and closes it again: true
    // when all of that worked (the probing of ports when none are listed).
    static bool probe(const QString &portName);

private:
    // Clears the port's error after a refused setting, keeping its text.
    bool settle(bool ok);
    // QSerialPort may leave the stick-parity flag set when going from mark or
    // space back to none, even or odd; clears it in the port's termios.
    void clearStickParity();

    QSerialPort m_port;
    QString m_lastError;
    QString m_openAdvice;
    Parity m_parity = Parity::None;
    int m_stopBits = 1;
    bool m_noRts = false;
};

// Why the current user may not open the device at devicePath, in the
// operator's words, and how to get the right: on Linux a serial device belongs
// to a group (usually dialout) whose members may use it, and a new membership
// counts from the next log-in. Empty when the user may read and write it, or
// where there is no such explanation (Windows).
QString permissionAdvice(const QString &devicePath);

// The serial ports to offer: the ports the system lists, or when it lists
// none "Com1".."Com8" that can be opened and written to.
QStringList EnumerateSerialPorts();
QStringList EnumerateSerialPorts(const QStringList &listed, const std::function<bool(const QString &)> &probe);

} // namespace kelvar::link
