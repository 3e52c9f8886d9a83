#pragma once
// An in-memory serial channel with a scriptable meter behind it, for the
// engine's logic tests: every write is recorded with the parity it went out
// at, and the responder's answer arrives from the event loop.

#include "link/Frame.h"
#include "link/SerialChannel.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <functional>
#include <utility>

namespace kelvar::test {

class FakeChannel : public link::SerialChannel
{
    Q_OBJECT
public:
    struct Write {
        QByteArray bytes;
        link::Parity parity;
        int stopBits;
        qint64 atUs; // on clock
    };
    struct Delivery {
        QByteArray bytes;
        qint64 atUs;
    };
    // Returns the meter's answer to what was written (empty: no answer).
    using Responder = std::function<QByteArray(const QByteArray &written, link::Parity parity)>;

    bool failOpen = false;
    bool failClose = false;
    int replyDelayMs = 0;
    Responder responder;
    QList<Write> writes;
    QList<Delivery> deliveries;
    QElapsedTimer clock;

    FakeChannel() { clock.start(); }
    qint64 nowUs() const { return clock.nsecsElapsed() / 1000; }

    void setPortName(const QString &name) override { m_name = name; }
    QString portName() const override { return m_name; }
    bool open() override { m_open = !failOpen; return m_open; }
    bool close() override { m_open = false; return !failClose; }
    bool isOpen() const override { return m_open; }
    bool setBaudRate(qint32 baud) override { m_baud = baud; return true; }
    qint32 baudRate() const override { return m_baud; }
    bool setParity(link::Parity parity) override { m_parity = parity; return true; }
    link::Parity parity() const override { return m_parity; }
    bool setStopBits(int stopBits) override { m_stopBits = stopBits; return true; }
    int stopBits() const override { return m_stopBits; }
    bool setRts(bool) override { return false; } // as on a pseudo-terminal
    bool writeByte(quint8 byte) override { return write(QByteArray(1, char(byte))); }
    bool write(const QByteArray &bytes) override
    {
        writes.append({bytes, m_parity, m_stopBits, nowUs()});
        if (responder) {
            const QByteArray reply = responder(bytes, m_parity);
            if (!reply.isEmpty())
                QTimer::singleShot(replyDelayMs, this, [this, reply] { deliver(reply); });
        }
        return m_open;
    }
    QByteArray readAll() override { return std::exchange(m_rx, {}); }
    QString errorString() const override { return {}; }

    // Bytes from the line, as if the meter had sent them now.
    void deliver(const QByteArray &bytes)
    {
        m_rx += bytes;
        deliveries.append({bytes, nowUs()});
        emit bytesArrived();
    }
    // Bytes that sit in the port without a receive event yet.
    void preload(const QByteArray &bytes) { m_rx += bytes; }

    // The function codes of the frames written (not the "Rs-485" address bytes).
    QList<int> sentCodes(link::Protocol protocol) const
    {
        QList<int> codes;
        for (const Write &w : writes) {
            if (protocol == link::Protocol::Rs485 && w.bytes.size() > 1)
                codes << quint8(w.bytes[0]);
            else if (protocol == link::Protocol::Modbus && w.bytes.size() > 2)
                codes << quint8(w.bytes[1]);
        }
        return codes;
    }

private:
    QString m_name;
    bool m_open = false;
    qint32 m_baud = 4800;
    link::Parity m_parity = link::Parity::None;
    int m_stopBits = 1;
    QByteArray m_rx;
};

// A well-behaved meter at an address: echoes the "Rs-485" address byte sent at
// mark parity and answers every frame with its function code and no data.
inline FakeChannel::Responder simpleMeter(link::Protocol protocol, quint8 address, int refusedCode = -1)
{
    // refusedCode gets error 6 (no write access) instead of a confirmation.
    const auto reply = [refusedCode](char code) {
        if (quint8(code) == refusedCode)
            return QByteArray() + char(quint8(code) | 0x80) + char(3) + char(6);
        return QByteArray() + code + char(2);
    };
    return [protocol, address, reply](const QByteArray &written, link::Parity parity) -> QByteArray {
        if (protocol == link::Protocol::Rs485) {
            if (written.size() == 1)
                return parity == link::Parity::Mark && quint8(written[0]) == address ? written : QByteArray();
            return link::AppendCrc(reply(written[0]));
        }
        if (written.size() < 4 || quint8(written[0]) != address)
            return {};
        return link::AppendCrc(char(address) + reply(written[1]));
    };
}

} // namespace kelvar::test
