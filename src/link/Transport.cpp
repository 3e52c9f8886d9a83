#include "link/Transport.h"

#include "link/Catalogue.h"
#include "link/LinkPacing.h"
#include "link/SerialChannel.h"

#include <limits>
#include <utility>

namespace kelvar::link {

Transport::Transport(SerialChannel *channel, QObject *parent)
    : QObject(parent)
    , m_channel(channel)
{
    qRegisterMetaType<kelvar::link::Protocol>();
    qRegisterMetaType<kelvar::link::TraceKind>();

    const auto setUp = [this](QTimer &timer, int interval, void (Transport::*handler)()) {
        timer.setInterval(interval);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, handler);
    };
    setUp(m_timerCommand, CommandInterval, &Transport::TimerCommandTimer);
    connect(&m_sendTimer, &MicroTimer::timeout, this, &Transport::TimerCommandTimer);
    setUp(m_timerOut, DefaultTimeout, &Transport::TimerOutTimer);
    setUp(m_timerStart, StartInterval, &Transport::TimerStartTimer);
    setUp(m_timerReopen, ReopenInterval, &Transport::TimerReopenTimer);

    connect(m_channel, &SerialChannel::bytesArrived, this, &Transport::onBytesArrived);
    connect(m_channel, &SerialChannel::deviceLost, this, &Transport::onDeviceLost, Qt::QueuedConnection);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    updateSendInterval();
}

Transport::~Transport() = default;

// --- Line settings -----------------------------------------------------------

void Transport::setAddress(int address)
{
    address = qBound(0, address, 255);
    if (address == m_address)
        return;
    m_address = address;
    rebaseQueue(m_protocol);
}

void Transport::setProtocol(Protocol protocol)
{
    if (protocol == m_protocol)
        return;
    const Protocol old = m_protocol;
    m_protocol = protocol;
    m_addressSent = false;
    rebaseQueue(old);
    updateSendInterval();
}

void Transport::setParityIndex(int index)
{
    m_parityIndex = qBound(0, index, 2);
    updateSendInterval();
}

void Transport::setBaudIndex(int index)
{
    m_baudIndex = qBound(0, index, 3);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    updateSendInterval();
}

void Transport::setTimeout(int milliseconds)
{
    // A running time-out keeps its length; the new one counts from the next send.
    m_timeout = qMax(1, milliseconds);
}

void Transport::setRequestPause(int milliseconds)
{
    m_requestPause = qBound(MinRequestPause, milliseconds, MaxRequestPause);
    updateSendInterval();
}

void Transport::switchLinkParameters(int address, int baudIndex, Protocol protocol, int parityIndex)
{
    const Protocol old = m_protocol;
    m_address = qBound(0, address, 255);
    m_protocol = protocol;
    m_parityIndex = qBound(0, parityIndex, 2);
    setBaudIndex(baudIndex);
    m_addressSent = false;
    rebaseQueue(old);
    updateSendInterval();
    if (m_protocol == Protocol::Modbus && m_channel->isOpen())
        applyModbusCharacterFormat();
}

void Transport::updateSendInterval()
{
    // The frame goes out at space parity in "Rs-485"; "MODBUS" has 2 stop
    // bits without parity and 1 with.
    const int bits = m_protocol == Protocol::Rs485 ? bitsPerCharacter(Parity::Space, 1)
                                                   : bitsPerCharacter(m_parityIndex == 0 ? Parity::None : Parity::Even,
                                                                      m_parityIndex == 0 ? 2 : 1);
    m_silentUs = silentIntervalUs(baudRate(m_baudIndex), bits);
    const int interval = sendIntervalMs(m_requestPause, baudRate(m_baudIndex), bits);
    // Setting the interval restarts a running timer: only when it changes.
    if (interval != m_timerCommand.interval())
        m_timerCommand.setInterval(interval);
}

QByteArray Transport::currentFrame() const
{
    const int skip = m_protocol == Protocol::Modbus ? 1 : 0;
    if (m_current.size() < skip + 2)
        return {};
    return m_current.mid(skip, m_current.size() - skip - 2);
}

// --- Queue -------------------------------------------------------------------

QByteArray Transport::envelopeFrame(const QByteArray &frame) const
{
    return envelope(frame, m_protocol, static_cast<quint8>(m_address));
}

void Transport::AddCommand(const QByteArray &frame)
{
    m_queue.append(envelopeFrame(frame));
    CommandsChange();
}

void Transport::RemoveCommand()
{
    dropFromQueue(1);
}

void Transport::clearQueue()
{
    dropFromQueue(m_queue.size());
}

void Transport::dropFromQueue(qsizetype count)
{
    if (m_queue.isEmpty())
        return;
    m_queue.remove(0, count);
    ++m_headSerial;
    CommandsChange();
}

void Transport::stopExchange(bool dropResponse)
{
    m_timerOut.stop();
    m_addressSent = false;
    if (dropResponse)
        m_buffer.clear();
}

void Transport::CommandsChange()
{
    if (!m_queue.isEmpty()) {
        if (m_connected && !m_lent) {
            m_current = m_queue.first();
            // With the port lost nothing can be sent; reopening starts afresh.
            if (!m_portLost)
                scheduleSend();
        } else {
            clearQueue();
        }
        return;
    }
    m_current.clear();
    if (m_connected && !m_portLost && !m_lent)
        emit queueRanEmpty();
}

void Transport::rebaseQueue(Protocol oldProtocol)
{
    if (m_queue.isEmpty())
        return;
    const int skip = oldProtocol == Protocol::Modbus ? 1 : 0;
    for (QByteArray &entry : m_queue) {
        if (entry.size() >= skip + 2)
            entry = envelopeFrame(entry.mid(skip, entry.size() - skip - 2));
    }
    m_current = m_queue.first();
}

// --- Sending -----------------------------------------------------------------

void Transport::applyModbusCharacterFormat()
{
    static constexpr Parity parities[3] = {Parity::None, Parity::Even, Parity::Odd};
    m_channel->setParity(parities[m_parityIndex]);
    m_channel->setStopBits(m_parityIndex == 0 ? 2 : 1);
}

void Transport::scheduleSend()
{
    if (m_requestPause >= CommandInterval) {
        m_timerCommand.start();
        return;
    }
    // While a response is awaited, the end of the exchange schedules the
    // send; a send already scheduled keeps its time.
    if (m_timerOut.isActive() || m_sendTimer.isActive())
        return;
    m_exchangeEnded.start();
    m_sendTimer.start(sendDelayUs());
}

qint64 Transport::sendDelayUs() const
{
    const auto since = [](const QElapsedTimer &timer) {
        return timer.isValid() ? timer.nsecsElapsed() / 1000 : std::numeric_limits<qint32>::max();
    };
    return link::sendDelayUs(m_requestPause, m_silentUs, since(m_exchangeEnded),
                             lineQuietForUs(since(m_lastReceived), since(m_lastWritten), m_writtenWireUs));
}

void Transport::lineWritten(qsizetype bytes)
{
    m_lastWritten.start();
    m_writtenWireUs = wireTimeUs(bytes, baudRate(m_baudIndex), bitsPerCharacter(m_channel->parity(), m_channel->stopBits()));
}

void Transport::TimerCommandTimer()
{
    if (m_lent || !m_channel->isOpen() || m_timerOut.isActive())
        return;
    if (m_requestPause < CommandInterval) {
        // Bytes that came in during the wait (the tail of a late reply) keep
        // the line busy: the silent interval starts again from them.
        const qint64 left = sendDelayUs();
        if (left > 0) {
            m_sendTimer.start(left);
            return;
        }
    }
    m_timerCommand.stop();
    m_sendTimer.stop();
    if (m_current.isEmpty())
        return;
    // Whatever is still waiting in the port belongs to an earlier exchange and
    // must not be taken for the start of this response.
    const QByteArray stale = m_channel->readAll();
    if (!stale.isEmpty())
        trace(TraceKind::Received, stale);
    m_buffer.clear();

    // Port errors here (a pseudo-terminal refuses stick parity and RTS) are
    // let go: the time-out ends an exchange that could not be sent.
    if (m_protocol == Protocol::Rs485) {
        m_channel->setParity(Parity::Mark);
        m_channel->setStopBits(1);
        m_channel->setRts(true);
        m_addressSent = true;
        m_channel->writeByte(static_cast<quint8>(m_address));
        lineWritten(1);
        if (m_tracing)
            emit traced(TraceKind::AddressSent, QByteArray(1, static_cast<char>(m_address)));
    } else {
        applyModbusCharacterFormat();
        m_channel->write(m_current);
        frameWritten();
        if (m_current.size() > 1)
            emit commandSent(CommandName(static_cast<quint8>(m_current[1])));
        trace(TraceKind::Sent, m_current);
    }
    m_badCrcCounted = false;
    const QByteArray frame = currentFrame();
    m_statistics.requestSent(frame.isEmpty() ? -1 : static_cast<quint8>(frame[0]));
    m_timerOut.start(m_timeout);
}

void Transport::frameWritten()
{
    m_sentAt.start();
    lineWritten(m_current.size());
}

bool Transport::resend()
{
    if (m_resendSerial != m_headSerial) {
        m_resendSerial = m_headSerial;
        m_resends = 0;
    }
    if (++m_resends >= MaxTries)
        return false;
    scheduleSend();
    return true;
}

// --- Receiving ---------------------------------------------------------------

void Transport::onBytesArrived()
{
    if (m_protocol == Protocol::Modbus)
        VaComm1RxChar011();
    else
        VaComm1RxChar();
}

QByteArray Transport::takeArrived()
{
    // A closed or lent transport leaves the port's bytes to the borrower (the meter scan).
    if (!m_connected || m_lent || !m_channel->isOpen())
        return {};
    const QByteArray bytes = m_channel->readAll();
    if (bytes.isEmpty())
        return {};
    m_lastReceived.start();
    trace(TraceKind::Received, bytes);
    // Bytes while no response is awaited are a late reply to an exchange that
    // already ended; they must not start the next response.
    if (!m_timerOut.isActive())
        return {};
    emit bytesReceived(!m_addressSent);
    return bytes;
}

void Transport::VaComm1RxChar()
{
    const QByteArray bytes = takeArrived();
    if (bytes.isEmpty())
        return;
    if (m_addressSent) {
        // The address byte comes back alone, or behind the tail of a reply
        // that timed out; anything else is not our address coming back and
        // the time-out ends the exchange.
        const auto address = static_cast<char>(m_address);
        if (bytes.front() != address && bytes.back() != address)
            return;
        m_addressSent = false;
        m_channel->setParity(Parity::Space);
        m_channel->setRts(true);
        m_channel->write(m_current);
        frameWritten();
        if (!m_current.isEmpty())
            emit commandSent(CommandName(static_cast<quint8>(m_current[0])));
        trace(TraceKind::Sent, m_current);
        return;
    }

    m_buffer += bytes;
    if (!isCompleteRs485(m_buffer))
        return;
    // As in "MODBUS", a reply garbled on the line does not complete: it is
    // counted and the exchange ends by its time-out.
    if (!IsFrameCrcValid(m_buffer.left(static_cast<quint8>(m_buffer[1]) + 2))) {
        noteBadCrc();
        return;
    }
    handOver(m_buffer);
}

void Transport::VaComm1RxChar011()
{
    const QByteArray bytes = takeArrived();
    if (bytes.isEmpty())
        return;
    m_buffer += bytes;
    while (isCompleteModbus(m_buffer, static_cast<quint8>(m_address))) {
        const int frameSize = static_cast<quint8>(m_buffer[2]) + 3;
        // A whole frame for another function is the late reply to a request
        // that timed out: it is not this request's answer, which may follow.
        if (!answersCurrentRequest(m_buffer)) {
            m_statistics.wrongReply();
            m_buffer.remove(0, frameSize);
            continue;
        }
        // The frame without its address; bytes behind it are not part of it.
        handOver(m_buffer.mid(1, frameSize - 1));
        return;
    }
    // A whole frame to our address whose CRC fails: a garbled reply.
    if (m_buffer.size() > 2 && static_cast<quint8>(m_buffer[0]) == m_address
        && m_buffer.size() >= static_cast<quint8>(m_buffer[2]) + 3)
        noteBadCrc();
}

void Transport::noteBadCrc()
{
    if (!std::exchange(m_badCrcCounted, true))
        m_statistics.badCrcReply();
}

bool Transport::answersCurrentRequest(const QByteArray &modbusFrame) const
{
    return m_current.size() > 1 && (static_cast<quint8>(modbusFrame[1]) & 0x7F) == static_cast<quint8>(m_current[1]);
}

void Transport::countResponse(const QByteArray &response)
{
    const Classification result = classifyResponse(response, m_current, m_protocol);
    switch (result.kind) {
    case ResponseKind::Normal:
        m_statistics.replyAccepted(static_cast<quint8>(response[0]), m_sentAt.nsecsElapsed() / 1000);
        break;
    case ResponseKind::ErrorReply:
        m_statistics.errorReply(result.errorCode);
        break;
    case ResponseKind::WrongResponse:
        m_statistics.wrongReply();
        break;
    }
}

void Transport::handOver(const QByteArray &response)
{
    countResponse(response);
    emit responseArrived(response);
}

// --- Timers ------------------------------------------------------------------

void Transport::TimerOutTimer()
{
    m_timerOut.stop();
    m_addressSent = false;
    m_statistics.timeout();
    emit timedOut();
}

void Transport::TimerStartTimer()
{
    m_timerStart.stop();
    if (!m_connected)
        return;
    // Start afresh: what was queued before the first request is dropped
    // without reporting an empty queue for it.
    m_queue.clear();
    ++m_headSerial;
    emit linkReady();
}

void Transport::stopTimers()
{
    m_timerOut.stop();
    m_timerCommand.stop();
    m_sendTimer.stop();
    m_timerStart.stop();
}

void Transport::onDeviceLost()
{
    if (!m_connected || m_portLost)
        return;
    if (m_lent) {
        m_lostWhileLent = true;
        return;
    }
    // Nobody closed the link: it stays up and the same port is opened again
    // every second; what was in flight has failed.
    m_portLost = true;
    stopTimers();
    m_addressSent = false;
    m_buffer.clear();
    m_channel->close();
    emit portLostChanged(true);
    m_timerReopen.start();
}

void Transport::TimerReopenTimer()
{
    if (!m_connected || !m_portLost) {
        m_timerReopen.stop();
        return;
    }
    if (!openChannel())
        return;
    m_timerReopen.stop();
    m_portLost = false;
    emit portLostChanged(false);
    m_timerStart.start();
}

// --- Opening and closing -----------------------------------------------------

bool Transport::openChannel()
{
    m_channel->setPortName(m_portName);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    m_channel->setParity(Parity::None);
    m_channel->setStopBits(1);
    return m_channel->open();
}

bool Transport::open()
{
    if (m_connected)
        return true;
    if (m_lent)
        return false;
    if (!openChannel())
        return false;
    m_connected = true;
    m_addressSent = false;
    m_buffer.clear();
    m_statistics.reset();
    m_timerStart.start();
    return true;
}

bool Transport::close()
{
    stopTimers();
    m_timerReopen.stop();
    m_portLost = false;
    m_lent = m_lostWhileLent = false; // a loan ends with the line
    const bool closed = m_channel->close();
    // The link counts as down before the queue is emptied, so emptying it
    // does not report an empty queue.
    m_connected = false;
    m_addressSent = false;
    m_buffer.clear();
    clearQueue();
    m_current.clear();
    return closed;
}

// --- Lending the line --------------------------------------------------------

SerialChannel *Transport::lend()
{
    if (m_lent || m_portLost)
        return nullptr;
    if (!m_connected) {
        if (!openChannel())
            return nullptr;
        m_lent = true;
        return m_channel;
    }
    // Lent before the queue empties, so emptying it reports nothing.
    m_lent = true;
    stopTimers();
    m_addressSent = false;
    m_buffer.clear();
    clearQueue();
    return m_channel;
}

void Transport::takeBack()
{
    if (!std::exchange(m_lent, false))
        return;
    if (!m_connected) {
        m_channel->close();
        return;
    }
    if (std::exchange(m_lostWhileLent, false)) {
        onDeviceLost();
        return;
    }
    // The borrower's character format goes with it; the first request
    // follows as after opening.
    m_channel->setParity(Parity::None);
    m_channel->setStopBits(1);
    m_timerStart.start();
}

// --- Trace -------------------------------------------------------------------

void Transport::trace(TraceKind kind, const QByteArray &bytes)
{
    if (m_tracing)
        emit traced(kind, bytes);
}

} // namespace kelvar::link
