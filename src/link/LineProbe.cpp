#include "link/LineProbe.h"

#include "link/LinkPacing.h"

#include <algorithm>
#include <limits>

namespace kelvar::link {

namespace {
constexpr Parity ModbusParities[3] = {Parity::None, Parity::Even, Parity::Odd};

qint64 sinceUs(const QElapsedTimer &timer)
{
    return timer.isValid() ? timer.nsecsElapsed() / 1000 : std::numeric_limits<qint32>::max();
}

quint8 at(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes[i]);
}
} // namespace

LineProbe::LineProbe(SerialChannel *channel, const LineFormat &format, QObject *parent)
    : QObject(parent), m_channel(channel), m_format(format), m_waitUs(format.wireUs(1))
{
    connect(m_channel, &SerialChannel::bytesArrived, this, &LineProbe::onBytes);
    connect(&m_pace, &MicroTimer::timeout, this, &LineProbe::transmit);
    connect(&m_deadline, &MicroTimer::timeout, this, &LineProbe::onDeadline);
}

LineProbe::~LineProbe() = default;

void LineProbe::setWaitUs(qint64 us)
{
    m_waitUs = qMax(us, m_format.wireUs(1));
}

void LineProbe::send(quint8 address, const QByteArray &request)
{
    m_address = address;
    m_request = request;
    m_buffer.clear();
    m_sawBytes = false;
    m_stage = Stage::Pacing;
    m_pace.start(quietLeftUs());
}

void LineProbe::listen(qint64 us)
{
    m_pace.stop();
    m_stage = Stage::Listen;
    m_deadline.start(us);
}

void LineProbe::cancel()
{
    m_pace.stop();
    m_deadline.stop();
    m_stage = Stage::Idle;
}

QList<quint8> LineProbe::takeLateAddresses()
{
    QList<quint8> late = m_late.values();
    m_late.clear();
    std::sort(late.begin(), late.end());
    return late;
}

qint64 LineProbe::quietLeftUs() const
{
    const qint64 quiet = lineQuietForUs(sinceUs(m_lastReceived), sinceUs(m_lastWritten), m_writtenWireUs);
    return qMax<qint64>(0, m_format.silentUs() - quiet);
}

void LineProbe::written(qsizetype characters)
{
    m_lastWritten.start();
    m_writtenWireUs = m_format.wireUs(characters);
}

void LineProbe::armDeadline(qint64 wireUs)
{
    m_deadline.start(wireUs + m_waitUs);
}

void LineProbe::transmit()
{
    if (m_stage != Stage::Pacing)
        return;
    // Bytes of an earlier answer still on their way keep the line busy.
    if (const qint64 left = quietLeftUs(); left > 0) {
        m_pace.start(left);
        return;
    }
    onBytes(); // whatever waits in the port is late, not this request's answer
    if (m_format.protocol == Protocol::Rs485) {
        m_channel->setParity(Parity::Mark);
        m_channel->setStopBits(1);
        m_channel->setRts(true);
        m_channel->writeByte(m_address);
        written(1);
        m_stage = Stage::Echo;
        armDeadline(m_format.wireUs(1));
        return;
    }
    m_channel->setParity(ModbusParities[qBound(0, m_format.parityIndex, 2)]);
    m_channel->setStopBits(m_format.parityIndex == 0 ? 2 : 1);
    const QByteArray frame = envelope(m_request, Protocol::Modbus, m_address);
    m_channel->write(frame);
    written(frame.size());
    m_stage = Stage::Reply;
    armDeadline(m_format.wireUs(frame.size()));
}

void LineProbe::onBytes()
{
    const qint64 quietBefore = sinceUs(m_lastReceived);
    const QByteArray bytes = m_channel->readAll();
    if (bytes.isEmpty())
        return;
    m_lastReceived.start();
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Pacing:
    case Stage::Listen:
        if (m_format.protocol == Protocol::Modbus || quietBefore >= m_format.silentUs())
            noteLate(bytes);
        return;
    case Stage::Echo:
        // The address comes back alone, or behind the tail of a late answer.
        if (at(bytes, 0) == m_address || at(bytes, bytes.size() - 1) == m_address) {
            m_channel->setParity(Parity::Space);
            m_channel->setRts(true);
            const QByteArray frame = AppendCrc(m_request);
            m_channel->write(frame);
            written(frame.size());
            m_stage = Stage::Reply;
            m_sawBytes = true; // the meter is there, whatever follows
            armDeadline(m_format.wireUs(frame.size()));
            return;
        }
        if (bytes.size() == 1)
            noteLate(bytes);
        else
            m_sawBytes = true;
        return;
    case Stage::Reply:
        m_buffer += bytes;
        evaluate();
        return;
    }
}

void LineProbe::noteLate(const QByteArray &bytes)
{
    if (m_format.protocol == Protocol::Rs485) {
        // An echo is the one byte that comes alone: the address it answers.
        if (bytes.size() == 1)
            m_late.insert(at(bytes, 0));
        return;
    }
    for (qsizetype i = 0; i + 2 < bytes.size();) {
        const qsizetype total = at(bytes, i + 2) + 3;
        if (total < 5 || i + total > bytes.size() || !IsFrameCrcValid(bytes.mid(i, total)))
            return;
        m_late.insert(at(bytes, i));
        i += total;
    }
}

void LineProbe::evaluate()
{
    const quint8 code = m_request.isEmpty() ? 0 : at(m_request, 0);
    const bool rs485 = m_format.protocol == Protocol::Rs485;
    const int lengthAt = rs485 ? 1 : 2; // the length byte counts neither the address nor the CRC
    while (m_buffer.size() > lengthAt) {
        const int length = at(m_buffer, lengthAt);
        const qsizetype whole = length + lengthAt + 1; // with the CRC and the "MODBUS" address
        if (length < 2) { // no frame is this short
            finish(ProbeAnswer::Outcome::Unreadable);
            return;
        }
        if (m_buffer.size() < whole)
            break;
        const QByteArray frame = m_buffer.left(whole);
        if (!IsFrameCrcValid(frame)) {
            finish(ProbeAnswer::Outcome::Unreadable);
            return;
        }
        const QByteArray response = rs485 ? frame : frame.mid(1);
        const bool ours = rs485 || at(frame, 0) == m_address;
        if (ours && (at(response, 0) & 0x7F) == code) {
            finish(ProbeAnswer::Outcome::Reply, response);
            return;
        }
        if (rs485) { // a whole frame answering another request
            finish(ProbeAnswer::Outcome::Unreadable);
            return;
        }
        // "MODBUS": a late frame, from another address or to an earlier request.
        if (!ours)
            m_late.insert(at(frame, 0));
        m_buffer.remove(0, whole);
    }
    if (m_buffer.isEmpty())
        return;
    m_sawBytes = true;
    // The rest of the answer gets its wire time and the wait, from now.
    const qsizetype expected = m_buffer.size() > lengthAt ? at(m_buffer, lengthAt) + lengthAt + 1 : lengthAt + 1;
    armDeadline(m_format.wireUs(qMax<qsizetype>(1, expected - m_buffer.size())));
}

void LineProbe::onDeadline()
{
    if (m_stage == Stage::Listen)
        finish(ProbeAnswer::Outcome::Silence);
    else if (m_stage == Stage::Echo || m_stage == Stage::Reply)
        finish(m_sawBytes ? ProbeAnswer::Outcome::Unreadable : ProbeAnswer::Outcome::Silence);
}

void LineProbe::finish(ProbeAnswer::Outcome outcome, const QByteArray &response)
{
    m_deadline.stop();
    m_stage = Stage::Idle;
    emit answered(ProbeAnswer{outcome, response});
}

} // namespace kelvar::link
