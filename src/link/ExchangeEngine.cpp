#include "link/ExchangeEngine.h"

#include "link/Catalogue.h"
#include "link/LinkPacing.h"
#include "link/QSerialPortChannel.h"
#include "link/SerialChannel.h"

#include <QSerialPortInfo>
#include <QTime>
#include <limits>
#include <utility>

namespace kelvar::link {

const QString ExchangeEngine::SettingsWriteFailedText = QStringLiteral(
    "Во время записи установок произошла ошибка. Описание смотрите на закладке Протокол.");
const QString ExchangeEngine::ScheduleWriteFailedText = QStringLiteral(
    "Во время записи тарифного расписания произошла ошибка. Описание смотрите на закладке Протокол. "
    "Расписание в счетчике может быть неполным: запишите его еще раз.");
const QString ExchangeEngine::TimeoutText = QStringLiteral(" Timeout.");
const QString ExchangeEngine::NoSerialPortText = QStringLiteral("Последовательный порт не найден");

namespace {

QString hexBytes(const QByteArray &bytes, qsizetype hiddenFrom = -1)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text += hiddenFrom >= 0 && i >= hiddenFrom
                    ? QStringLiteral("** ")
                    : QStringLiteral("%1 ").arg(static_cast<quint8>(bytes[i]), 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString traceTime(const QTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss.zzz"));
}

} // namespace

ExchangeEngine::ExchangeEngine(SerialChannel *channel, QObject *parent)
    : QObject(parent)
    , m_channel(channel)
{
    qRegisterMetaType<kelvar::link::Indicator>();
    qRegisterMetaType<kelvar::link::Protocol>();
    qRegisterMetaType<kelvar::link::WriteBatch>();

    const auto setUp = [this](QTimer &timer, int interval, void (ExchangeEngine::*handler)()) {
        timer.setInterval(interval);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, handler);
    };
    setUp(m_timerCommand, CommandInterval, &ExchangeEngine::TimerCommandTimer);
    connect(&m_sendTimer, &MicroTimer::timeout, this, &ExchangeEngine::TimerCommandTimer);
    setUp(m_timerOut, DefaultTimeout, &ExchangeEngine::TimerOutTimer);
    setUp(m_timerStart, StartInterval, &ExchangeEngine::TimerStartTimer);
    setUp(m_timerShape, ShapeInterval, &ExchangeEngine::TimerShapeTimer);
    setUp(m_timerReopen, ReopenInterval, &ExchangeEngine::TimerReopenTimer);

    connect(m_channel, &SerialChannel::bytesArrived, this, &ExchangeEngine::onBytesArrived);
    connect(m_channel, &SerialChannel::deviceLost, this, &ExchangeEngine::onDeviceLost, Qt::QueuedConnection);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    updateSendInterval();
}

ExchangeEngine::~ExchangeEngine() = default;

// --- Link settings ---------------------------------------------------------

void ExchangeEngine::setAddress(int address)
{
    address = qBound(0, address, 255);
    if (address == m_address)
        return;
    m_address = address;
    rebaseQueue(m_protocol);
}

void ExchangeEngine::setProtocol(Protocol protocol)
{
    if (protocol == m_protocol)
        return;
    const Protocol old = m_protocol;
    m_protocol = protocol;
    m_addressSent = false;
    rebaseQueue(old);
    updateSendInterval();
}

void ExchangeEngine::setParityIndex(int index)
{
    m_parityIndex = qBound(0, index, 2);
    updateSendInterval();
}

void ExchangeEngine::setBaudIndex(int index)
{
    m_baudIndex = qBound(0, index, 3);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    updateSendInterval();
}

void ExchangeEngine::setPortName(const QString &name)
{
    m_portName = name;
}

void ExchangeEngine::setTimeout(int milliseconds)
{
    // A running time-out keeps its length; the new one counts from the next send.
    m_timeout = qMax(1, milliseconds);
}

int ExchangeEngine::timeout() const
{
    return m_timeout;
}

void ExchangeEngine::setRequestPause(int milliseconds)
{
    m_requestPause = qBound(MinRequestPause, milliseconds, MaxRequestPause);
    updateSendInterval();
}

void ExchangeEngine::updateSendInterval()
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

QByteArray ExchangeEngine::currentFrame() const
{
    const int skip = m_protocol == Protocol::Modbus ? 1 : 0;
    if (m_current.size() < skip + 2)
        return {};
    return m_current.mid(skip, m_current.size() - skip - 2);
}

// --- Queue -------------------------------------------------------------------

QByteArray ExchangeEngine::envelopeFrame(const QByteArray &frame) const
{
    return envelope(frame, m_protocol, static_cast<quint8>(m_address));
}

void ExchangeEngine::AddCommand(const QByteArray &frame)
{
    m_queue.append(envelopeFrame(frame));
    CommandsChange();
}

void ExchangeEngine::RemoveCommand()
{
    dropFromQueue(1);
}

void ExchangeEngine::clearQueue()
{
    dropFromQueue(m_queue.size());
}

void ExchangeEngine::dropFromQueue(qsizetype count)
{
    if (m_queue.isEmpty())
        return;
    m_queue.remove(0, count);
    ++m_headSerial;
    CommandsChange();
}

void ExchangeEngine::AbortQueue()
{
    m_timerOut.stop();
    m_addressSent = false;
    // The flags are cleared and the queue emptied before anything is reported,
    // so nothing of the failed batch can be sent while the window shows its
    // message, and the emptied queue does not count as a completed write.
    QList<WriteBatch> failed;
    for (WriteBatch batch : {WriteBatch::Settings, WriteBatch::Schedule, WriteBatch::Calibration}) {
        if (std::exchange(writeFlag(batch), false))
            failed << batch;
    }
    clearQueue();
    for (WriteBatch batch : std::as_const(failed))
        reportFailure(batch);
}

bool &ExchangeEngine::writeFlag(WriteBatch batch)
{
    switch (batch) {
    case WriteBatch::Schedule:
        return m_scheduleWriteActive;
    case WriteBatch::Calibration:
        return m_calibrationWriteActive;
    case WriteBatch::Settings:
        break;
    }
    return m_settingsWriteActive;
}

bool ExchangeEngine::beginWriteBatch(WriteBatch batch)
{
    if (writeBatchPending())
        return false;
    writeFlag(batch) = true;
    emit EnableControls(false);
    emit settingActionsEnabled(false);
    return true;
}

void ExchangeEngine::beginReadBatch()
{
    emit EnableControls(false);
}

void ExchangeEngine::showResult(Indicator indicator)
{
    emit indicatorChanged(indicator);
    m_timerShape.start();
}

void ExchangeEngine::reportFailure(WriteBatch batch)
{
    showResult(Indicator::Red);
    emit writeBatchEnded(batch, false);
    // The calibration owner names the meter's error itself.
    const QString message = batch == WriteBatch::Settings   ? SettingsWriteFailedText
                            : batch == WriteBatch::Schedule ? ScheduleWriteFailedText
                                                            : QString();
    if (message.isEmpty())
        return;
    // The message box the window opens runs its own event loop; delivering the
    // signal from the event loop keeps that loop out of the engine's handlers.
    QMetaObject::invokeMethod(this, [this, message] { emit writeFailed(message); }, Qt::QueuedConnection);
}

void ExchangeEngine::CommandsChange()
{
    if (!m_queue.isEmpty()) {
        if (m_connected) {
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
    if (!m_connected || m_portLost)
        return;
    for (WriteBatch batch : {WriteBatch::Settings, WriteBatch::Schedule, WriteBatch::Calibration}) {
        if (!std::exchange(writeFlag(batch), false))
            continue;
        showResult(Indicator::Green);
        if (batch == WriteBatch::Settings)
            emit settingsWriteCompleted();
        else if (batch == WriteBatch::Schedule)
            emit scheduleWriteCompleted();
        emit writeBatchEnded(batch, true);
    }
    emit EnableControls(true);
    // A slot of the signals above may have disconnected or queued requests.
    if (!m_connected || !m_queue.isEmpty())
        return;
    const QByteArray poll = PollRequest(m_pollIndex);
    m_pollIndex = (m_pollIndex + 1) % PollCycleLength;
    AddCommand(poll);
}

void ExchangeEngine::rebaseQueue(Protocol oldProtocol)
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

void ExchangeEngine::applyModbusCharacterFormat()
{
    static constexpr Parity parities[3] = {Parity::None, Parity::Even, Parity::Odd};
    m_channel->setParity(parities[m_parityIndex]);
    m_channel->setStopBits(m_parityIndex == 0 ? 2 : 1);
}

void ExchangeEngine::scheduleSend()
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

qint64 ExchangeEngine::sendDelayUs() const
{
    const auto since = [](const QElapsedTimer &timer) {
        return timer.isValid() ? timer.nsecsElapsed() / 1000 : std::numeric_limits<qint32>::max();
    };
    return link::sendDelayUs(m_requestPause, m_silentUs, since(m_exchangeEnded),
                             lineQuietForUs(since(m_lastReceived), since(m_lastWritten), m_writtenWireUs));
}

void ExchangeEngine::lineWritten(qsizetype bytes)
{
    m_lastWritten.start();
    m_writtenWireUs = wireTimeUs(bytes, baudRate(m_baudIndex), bitsPerCharacter(m_channel->parity(), m_channel->stopBits()));
}

void ExchangeEngine::TimerCommandTimer()
{
    if (!m_channel->isOpen() || m_timerOut.isActive())
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
        traceReceived(stale);
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
        traceAddress();
    } else {
        applyModbusCharacterFormat();
        m_channel->write(m_current);
        frameWritten();
        if (m_current.size() > 1)
            emit commandSent(CommandName(static_cast<quint8>(m_current[1])));
        traceSent(m_current);
    }
    m_badCrcCounted = false;
    const QByteArray frame = currentFrame();
    m_statistics.requestSent(frame.isEmpty() ? -1 : static_cast<quint8>(frame[0]));
    m_timerOut.start(m_timeout);
}

void ExchangeEngine::frameWritten()
{
    m_sentAt.start();
    lineWritten(m_current.size());
}

void ExchangeEngine::repeatRequest()
{
    // A meter that finds every try of a request garbled must not hold the
    // queue for ever: after MaxTries the request fails like any error reply.
    if (m_resendSerial != m_headSerial) {
        m_resendSerial = m_headSerial;
        m_resends = 0;
    }
    if (++m_resends >= MaxTries) {
        const QByteArray frame = currentFrame();
        AddToProtocol(triesExhaustedLine(frame.isEmpty() ? 0 : static_cast<quint8>(frame[0])));
        if (!m_queue.isEmpty())
            AbortQueue();
        return;
    }
    scheduleSend();
}

// --- Receiving ---------------------------------------------------------------

void ExchangeEngine::onBytesArrived()
{
    if (m_protocol == Protocol::Modbus)
        VaComm1RxChar011();
    else
        VaComm1RxChar();
}

QByteArray ExchangeEngine::takeArrived()
{
    // A disconnected engine leaves the port to whoever opened it (the meter scan).
    if (!m_connected || !m_channel->isOpen())
        return {};
    const QByteArray bytes = m_channel->readAll();
    if (bytes.isEmpty())
        return {};
    m_lastReceived.start();
    traceReceived(bytes);
    // Bytes while no response is awaited are a late reply to an exchange that
    // already ended; they must not start the next response.
    if (!m_timerOut.isActive())
        return {};
    m_addressSearch = false;
    return bytes;
}

void ExchangeEngine::VaComm1RxChar()
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
        traceSent(m_current);
        return;
    }

    m_timeoutCount = 0;
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

void ExchangeEngine::VaComm1RxChar011()
{
    const QByteArray bytes = takeArrived();
    if (bytes.isEmpty())
        return;
    m_timeoutCount = 0;
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

void ExchangeEngine::noteBadCrc()
{
    if (!std::exchange(m_badCrcCounted, true))
        m_statistics.badCrcReply();
}

bool ExchangeEngine::answersCurrentRequest(const QByteArray &modbusFrame) const
{
    return m_current.size() > 1 && (static_cast<quint8>(modbusFrame[1]) & 0x7F) == static_cast<quint8>(m_current[1]);
}

void ExchangeEngine::countResponse(const QByteArray &response)
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

void ExchangeEngine::handOver(const QByteArray &response)
{
    countResponse(response);
    if (m_responseHandler) {
        m_responseHandler(response);
        return;
    }
    meterAnswered();
    RemoveCommand();
}

void ExchangeEngine::meterAnswered()
{
    m_timerOut.stop();
    // Every accepted reply brings the setting actions back, except while a
    // write batch is pending: they return when it ends.
    emit settingActionsEnabled(!writeBatchPending());
    emit findAddressEnabled(false);
}

// --- Timers ------------------------------------------------------------------

void ExchangeEngine::TimerOutTimer()
{
    m_timerOut.stop();
    m_addressSent = false;
    m_statistics.timeout();
    if (m_addressSearch) {
        setAddress(m_address >= 255 ? 0 : m_address + 1);
        emit addressChanged(m_address);
        if (!m_queue.isEmpty())
            AbortQueue();
        return;
    }
    AddToProtocol(timeoutLine(QTime::currentTime()));
    ++m_timeoutCount;
    const bool exceeded = m_timeoutCount > 5;
    // The new address goes first, so the poll request that replaces the aborted
    // queue is already addressed to it.
    if (exceeded && m_productionMode && m_address != 0) {
        setAddress(0);
        emit addressChanged(0);
    }
    if (!m_queue.isEmpty())
        AbortQueue();
    emit findAddressEnabled(true);
    if (exceeded) {
        emit settingActionsEnabled(false);
        emit EnableControls(false);
        emit ResetMeterInfo();
        emit timeoutsExceeded();
    }
}

void ExchangeEngine::TimerStartTimer()
{
    m_timerStart.stop();
    if (!m_connected)
        return;
    m_pollIndex = 0;
    // Start afresh with the software version; what was queued before the
    // first request is dropped without running the poll cycle for it.
    m_queue.clear();
    ++m_headSerial;
    AddCommand(request(fn::ReadVersion));
}

void ExchangeEngine::onDeviceLost()
{
    if (!m_connected || m_portLost)
        return;
    // The operator did not disconnect: the link stays up and the same port
    // is opened again every second; what was in flight has failed.
    m_portLost = true;
    m_timerOut.stop();
    m_timerCommand.stop();
    m_sendTimer.stop();
    m_timerStart.stop();
    m_addressSent = false;
    m_buffer.clear();
    m_channel->close();
    const QString text = portLostText(m_portName);
    AddToProtocol(QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz ")) + text);
    emit portLostChanged(true, text);
    AbortQueue();
    emit EnableControls(false);
    emit settingActionsEnabled(false);
    m_timerReopen.start();
}

void ExchangeEngine::TimerReopenTimer()
{
    if (!m_connected || !m_portLost) {
        m_timerReopen.stop();
        return;
    }
    if (!openChannel())
        return;
    m_timerReopen.stop();
    m_portLost = false;
    emit portLostChanged(false, {});
    // A write started while the port was away never reached the meter.
    if (writeBatchPending())
        AbortQueue();
    // Polling restarts from the beginning, as after connecting: it may be
    // another meter now.
    emit ResetMeterInfo();
    m_timerStart.start();
}

void ExchangeEngine::TimerShapeTimer()
{
    m_timerShape.stop();
    emit indicatorChanged(Indicator::Hidden);
    emit ResetMeterInfo();
}

// --- Actions -----------------------------------------------------------------

bool ExchangeEngine::openChannel()
{
    m_channel->setPortName(m_portName);
    m_channel->setBaudRate(baudRate(m_baudIndex));
    m_channel->setParity(Parity::None);
    m_channel->setStopBits(1);
    return m_channel->open();
}

bool ExchangeEngine::ActionConnectExecute()
{
    if (m_connected)
        return true;
    emit statusCleared();
    if (m_portName.isEmpty()) {
        emit portError(NoSerialPortText);
        return false;
    }
    if (!openChannel()) {
        QString message = QStringLiteral("Ошибка открытия порта ") + m_portName;
        if (const QString advice = m_channel->openAdvice(); !advice.isEmpty())
            message += QLatin1Char('\n') + advice;
        emit portError(message);
        return false;
    }
    m_connected = true;
    m_addressSent = false;
    m_buffer.clear();
    m_statistics.reset();
    emit connectionChanged(true);
    emit ResetMeterInfo();
    m_settingsWriteActive = false;
    m_scheduleWriteActive = false;
    m_calibrationWriteActive = false;
    m_timerStart.start();
    return true;
}

bool ExchangeEngine::ActionDisconnectExecute()
{
    emit statusCleared();
    m_timerOut.stop();
    m_timerCommand.stop();
    m_sendTimer.stop();
    m_timerStart.stop();
    m_timerReopen.stop();
    if (std::exchange(m_portLost, false))
        emit portLostChanged(false, {});
    const bool closed = m_channel->close();
    // The link counts as down before the queue is emptied, so emptying it
    // neither completes a pending write nor starts the poll cycle.
    m_connected = false;
    m_addressSent = false;
    m_buffer.clear();
    emit connectionChanged(false);
    clearQueue();
    m_current.clear();
    // A batch cut off by the disconnect is neither completed nor failed.
    m_settingsWriteActive = m_scheduleWriteActive = m_calibrationWriteActive = false;
    emit EnableControls(false);
    emit settingActionsEnabled(false);
    emit findAddressEnabled(false);
    if (!closed)
        emit portError(QStringLiteral("Ошибка закрытия порта ") + m_portName);
    return closed;
}

void ExchangeEngine::ActionFindAddressExecute()
{
    m_addressSearch = true;
    if (m_address != 0) {
        setAddress(0);
        emit addressChanged(0);
    }
    if (!m_connected)
        return;
    // The request in flight went to the old address: drop it, so that address
    // 0 gets a whole time-out of its own and a late answer from the old
    // address does not end the search.
    m_timerOut.stop();
    m_addressSent = false;
    m_buffer.clear();
    if (!m_queue.isEmpty())
        AbortQueue();
}

void ExchangeEngine::switchLinkParameters(int address, int baudIndex, Protocol protocol, int parityIndex)
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
    emit linkParametersChanged(m_address, m_baudIndex, m_protocol, m_parityIndex);
}

// --- Protocol view -----------------------------------------------------------

void ExchangeEngine::AddToProtocol(const QString &text)
{
    emit protocolLine(text);
}

// The byte trace is formatted only when it is shown.
void ExchangeEngine::traceReceived(const QByteArray &bytes)
{
    if (m_masterMode)
        AddToProtocol(receivedLine(QTime::currentTime(), bytes));
}

void ExchangeEngine::traceSent(const QByteArray &frame)
{
    if (m_masterMode)
        AddToProtocol(sendLine(QTime::currentTime(), frame, m_tracePasswords ? -1 : passwordBytesAt(frame, m_protocol)));
}

void ExchangeEngine::traceAddress()
{
    if (m_masterMode)
        AddToProtocol(addressLine(QTime::currentTime(), static_cast<quint8>(m_address)));
}

QString ExchangeEngine::sendLine(const QTime &time, const QByteArray &bytes, qsizetype hiddenFrom)
{
    return traceTime(time) + QStringLiteral(" Send ") + hexBytes(bytes, hiddenFrom);
}

QString ExchangeEngine::addressLine(const QTime &time, quint8 address)
{
    return traceTime(time) + QStringLiteral(" Send ")
           + QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

QString ExchangeEngine::receivedLine(const QTime &time, const QByteArray &bytes)
{
    return traceTime(time) + QStringLiteral(" Received: ") + hexBytes(bytes);
}

QString ExchangeEngine::timeoutLine(const QTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss:zzz")) + TimeoutText;
}

QString ExchangeEngine::portLostText(const QString &portName)
{
    return QStringLiteral("Порт %1 недоступен, повторное открытие каждую секунду").arg(portName);
}

QString ExchangeEngine::triesExhaustedLine(int function)
{
    return QStringLiteral("Запрос не выполнен после %1 попыток (%2)").arg(MaxTries).arg(CommandName(function));
}

// --- Ports -------------------------------------------------------------------

QStringList ExchangeEngine::EnumerateSerialPorts()
{
    QStringList listed;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        listed << info.portName();
    return EnumerateSerialPorts(listed, &QSerialPortChannel::probe);
}

QStringList ExchangeEngine::EnumerateSerialPorts(const QStringList &listed,
                                                 const std::function<bool(const QString &)> &probe)
{
    if (!listed.isEmpty())
        return listed;
    QStringList found;
    for (int n = 1; n <= 8; ++n) {
        const QString name = QStringLiteral("Com%1").arg(n);
        if (probe && probe(name))
            found << name;
    }
    return found;
}

} // namespace kelvar::link
