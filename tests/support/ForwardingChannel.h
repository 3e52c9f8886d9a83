#pragma once
// A serial channel that passes everything to another one, for tests and
// benchmarks that watch what the engine does on the line: override what to
// observe.

#include "link/SerialChannel.h"

namespace kelvar::test {

class ForwardingChannel : public link::SerialChannel
{
public:
    explicit ForwardingChannel(link::SerialChannel &inner)
        : m_inner(inner)
    {
        connect(&m_inner, &SerialChannel::deviceLost, this, &SerialChannel::deviceLost);
    }

    void setPortName(const QString &name) override { m_inner.setPortName(name); }
    QString portName() const override { return m_inner.portName(); }
    bool open() override { return m_inner.open(); }
    bool close() override { return m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    bool setBaudRate(qint32 baud) override { return m_inner.setBaudRate(baud); }
    qint32 baudRate() const override { return m_inner.baudRate(); }
    bool setParity(link::Parity parity) override { return m_inner.setParity(parity); }
    link::Parity parity() const override { return m_inner.parity(); }
    bool setStopBits(int stopBits) override { return m_inner.setStopBits(stopBits); }
    int stopBits() const override { return m_inner.stopBits(); }
    bool setRts(bool on) override { return m_inner.setRts(on); }
    bool writeByte(quint8 byte) override { return m_inner.writeByte(byte); }
    bool write(const QByteArray &bytes) override { return m_inner.write(bytes); }
    QByteArray readAll() override { return m_inner.readAll(); }
    QString errorString() const override { return m_inner.errorString(); }

protected:
    link::SerialChannel &m_inner;
};

} // namespace kelvar::test
