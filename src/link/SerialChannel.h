#pragma once
// The serial line to the meter as the exchange engine sees it: a port that can
// be opened and closed, whose baud rate, parity, stop bits and RTS can be set
// while it is open, that writes bytes and hands over whatever bytes arrived.
// The engine is given a channel and never builds the port itself, so the same
// engine runs over a real COM port, a pseudo-terminal or a test double.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kelvar::link {

enum class Parity { None, Even, Odd, Mark, Space };

class SerialChannel : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialChannel() override = default;

    // A port name such as "COM3" or a device path such as "/dev/pts/4".
    virtual void setPortName(const QString &name) = 0;
    virtual QString portName() const = 0;

    // Opens with the current settings, 8 data bits, no flow control, DTR off
    // and RTS on. False (and the port closed) when the port cannot be opened.
    virtual bool open() = 0;
    // False when closing failed; the channel counts as closed afterwards.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;

    // Settings apply at once when the port is open and at the next open
    // otherwise. A setting the device refuses (a pseudo-terminal has no RTS
    // line and no stick parity) returns false and leaves the channel usable.
    virtual bool setBaudRate(qint32 baud) = 0;
    virtual qint32 baudRate() const = 0;
    virtual bool setParity(Parity parity) = 0;
    virtual Parity parity() const = 0;
    virtual bool setStopBits(int stopBits) = 0; // 1 or 2
    virtual int stopBits() const = 0;
    virtual bool setRts(bool on) = 0;

    virtual bool writeByte(quint8 byte) = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // Every byte received and not yet read; empty when none.
    virtual QByteArray readAll() = 0;

    // The last failure in words (for messages and traces).
    virtual QString errorString() const = 0;
    // After open() failed: what the operator can do about it, where the
    // channel knows (the user has no right to the device); empty otherwise.
    virtual QString openAdvice() const { return {}; }

signals:
    // Bytes are waiting to be read with readAll().
    void bytesArrived();
    // The device went away while open (a USB adapter pulled out): reads and
    // writes fail until it is closed and opened again.
    void deviceLost();
};

} // namespace kelvar::link
