#include "link/ExchangeEngine.h"

#include "link/Catalogue.h"
#include "link/SerialChannel.h"

#include <QTime>
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
    , m_transport(channel)
{
    qRegisterMetaType<kelvar::link::WriteBatch>();

    m_timerResult.setInterval(ResultInterval);
    m_timerResult.setSingleShot(true);
    m_timerResult.setTimerType(Qt::PreciseTimer);
    connect(&m_timerResult, &QTimer::timeout, this, &ExchangeEngine::ResetMeterInfo);

    connect(&m_transport, &Transport::responseArrived, this, &ExchangeEngine::onResponse);
    connect(&m_transport, &Transport::bytesReceived, this, [this](bool responseBytes) {
        m_addressSearch = false;
        if (responseBytes)
            m_timeoutCount = 0;
    });
    connect(&m_transport, &Transport::timedOut, this, &ExchangeEngine::onTimedOut);
    connect(&m_transport, &Transport::queueRanEmpty, this, &ExchangeEngine::onQueueRanEmpty);
    connect(&m_transport, &Transport::linkReady, this, &ExchangeEngine::onLinkReady);
    connect(&m_transport, &Transport::portLostChanged, this, &ExchangeEngine::onPortLostChanged);
    connect(&m_transport, &Transport::commandSent, this, &ExchangeEngine::commandSent);
    connect(&m_transport, &Transport::traced, this, &ExchangeEngine::onTraced);
}

ExchangeEngine::~ExchangeEngine() = default;

// --- Link settings ---------------------------------------------------------

void ExchangeEngine::setMasterMode(bool on)
{
    m_transport.setTracing(on);
}

void ExchangeEngine::switchLinkParameters(int address, int baudIndex, Protocol protocol, int parityIndex)
{
    m_transport.switchLinkParameters(address, baudIndex, protocol, parityIndex);
    emit linkParametersChanged(m_transport.address(), m_transport.baudIndex(), m_transport.protocol(),
                               m_transport.parityIndex());
}

// --- Batches -----------------------------------------------------------------

void ExchangeEngine::AbortQueue()
{
    m_transport.stopExchange();
    // The flags are cleared and the queue emptied before anything is reported,
    // so nothing of the failed batch can be sent while the window shows its
    // message, and the emptied queue does not count as a completed write.
    QList<WriteBatch> failed;
    for (WriteBatch batch : {WriteBatch::Settings, WriteBatch::Schedule, WriteBatch::Calibration}) {
        if (std::exchange(writeFlag(batch), false))
            failed << batch;
    }
    m_transport.clearQueue();
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
    emit writeBatchStarted(batch);
    return true;
}

void ExchangeEngine::beginReadBatch()
{
    emit EnableControls(false);
}

void ExchangeEngine::endBatch(WriteBatch batch, bool completed)
{
    m_timerResult.start();
    emit writeBatchEnded(batch, completed);
}

void ExchangeEngine::reportFailure(WriteBatch batch)
{
    endBatch(batch, false);
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

void ExchangeEngine::onQueueRanEmpty()
{
    for (WriteBatch batch : {WriteBatch::Settings, WriteBatch::Schedule, WriteBatch::Calibration}) {
        if (!std::exchange(writeFlag(batch), false))
            continue;
        // The result is shown before production mode records the write.
        endBatch(batch, true);
        if (batch == WriteBatch::Settings)
            emit settingsWriteCompleted();
        else if (batch == WriteBatch::Schedule)
            emit scheduleWriteCompleted();
    }
    emit EnableControls(true);
    // A slot of the signals above may have disconnected or queued requests.
    if (!isConnected() || !queue().isEmpty())
        return;
    const QByteArray poll = PollRequest(m_pollIndex);
    m_pollIndex = (m_pollIndex + 1) % PollCycleLength;
    AddCommand(poll);
}

// --- Lending the line --------------------------------------------------------

SerialChannel *ExchangeEngine::lendLine()
{
    if (writeBatchPending())
        return nullptr;
    const bool connected = isConnected();
    SerialChannel *line = m_transport.lend();
    if (line && connected)
        emit EnableControls(false);
    return line;
}

void ExchangeEngine::takeLineBack()
{
    if (!lineLent())
        return;
    m_transport.takeBack();
    // The poll starts afresh (linkReady), and so does the meter information.
    if (isConnected())
        emit ResetMeterInfo();
}

LineFormat ExchangeEngine::lineFormat() const
{
    return {protocol(), baudRate(baudIndex()), parityIndex()};
}

// --- Responses and time-outs -------------------------------------------------

void ExchangeEngine::onResponse(const QByteArray &response)
{
    if (m_responseHandler) {
        m_responseHandler(response);
        return;
    }
    meterAnswered();
    RemoveCommand();
}

void ExchangeEngine::meterAnswered()
{
    m_transport.stopExchange();
    emit answered();
}

void ExchangeEngine::repeatRequest()
{
    // A meter that finds every try of a request garbled must not hold the
    // queue for ever: after MaxTries the request fails like any error reply.
    if (m_transport.resend())
        return;
    const QByteArray frame = currentFrame();
    AddToProtocol(triesExhaustedLine(frame.isEmpty() ? 0 : static_cast<quint8>(frame[0])));
    if (!queue().isEmpty())
        AbortQueue();
}

void ExchangeEngine::onTimedOut()
{
    if (m_addressSearch) {
        const int current = address();
        setAddress(current >= 255 ? 0 : current + 1);
        emit addressChanged(address());
        if (!queue().isEmpty())
            AbortQueue();
        return;
    }
    AddToProtocol(timeoutLine(QTime::currentTime()));
    ++m_timeoutCount;
    const bool exceeded = m_timeoutCount > 5;
    // The new address goes first, so the poll request that replaces the aborted
    // queue is already addressed to it.
    if (exceeded && m_productionMode && address() != 0) {
        setAddress(0);
        emit addressChanged(0);
    }
    if (!queue().isEmpty())
        AbortQueue();
    emit meterSilent();
    if (exceeded) {
        emit EnableControls(false);
        emit ResetMeterInfo();
        emit timeoutsExceeded();
    }
}

void ExchangeEngine::onLinkReady()
{
    // Start afresh with the software version.
    m_pollIndex = 0;
    AddCommand(request(fn::ReadVersion));
}

void ExchangeEngine::onPortLostChanged(bool lost)
{
    if (lost) {
        const QString text = portLostText(portName());
        AddToProtocol(QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz ")) + text);
        emit portLostChanged(true, text);
        AbortQueue();
        emit EnableControls(false);
        return;
    }
    emit portLostChanged(false, {});
    // A write started while the port was away never reached the meter.
    if (writeBatchPending())
        AbortQueue();
    // Polling restarts from the beginning, as after connecting: it may be
    // another meter now.
    emit ResetMeterInfo();
}

// --- Actions -----------------------------------------------------------------

bool ExchangeEngine::ActionConnectExecute()
{
    if (isConnected())
        return true;
    emit statusCleared();
    if (portName().isEmpty()) {
        emit portError(NoSerialPortText);
        return false;
    }
    if (!m_transport.open()) {
        QString message = QStringLiteral("Ошибка открытия порта ") + portName();
        if (const QString advice = channel()->openAdvice(); !advice.isEmpty())
            message += QLatin1Char('\n') + advice;
        emit portError(message);
        return false;
    }
    emit connectionChanged(true);
    emit ResetMeterInfo();
    m_settingsWriteActive = false;
    m_scheduleWriteActive = false;
    m_calibrationWriteActive = false;
    return true;
}

bool ExchangeEngine::ActionDisconnectExecute()
{
    emit statusCleared();
    const bool wasLost = portLost();
    const bool closed = m_transport.close();
    if (wasLost)
        emit portLostChanged(false, {});
    emit connectionChanged(false);
    // A batch cut off by the disconnect is neither completed nor failed.
    m_settingsWriteActive = m_scheduleWriteActive = m_calibrationWriteActive = false;
    emit EnableControls(false);
    if (!closed)
        emit portError(QStringLiteral("Ошибка закрытия порта ") + portName());
    return closed;
}

void ExchangeEngine::ActionFindAddressExecute()
{
    m_addressSearch = true;
    if (address() != 0) {
        setAddress(0);
        emit addressChanged(0);
    }
    if (!isConnected())
        return;
    // The request in flight went to the old address: drop it, so that address
    // 0 gets a whole time-out of its own and a late answer from the old
    // address does not end the search.
    m_transport.stopExchange(true);
    if (!queue().isEmpty())
        AbortQueue();
}

// --- Protocol view -----------------------------------------------------------

void ExchangeEngine::AddToProtocol(const QString &text)
{
    emit protocolLine(text);
}

// The transport reports the byte trace only while it is shown.
void ExchangeEngine::onTraced(TraceKind kind, const QByteArray &bytes)
{
    const QTime now = QTime::currentTime();
    switch (kind) {
    case TraceKind::Sent:
        AddToProtocol(sendLine(now, bytes, m_tracePasswords ? -1 : passwordBytesAt(bytes, protocol())));
        break;
    case TraceKind::AddressSent:
        AddToProtocol(addressLine(now, static_cast<quint8>(bytes.at(0))));
        break;
    case TraceKind::Received:
        AddToProtocol(receivedLine(now, bytes));
        break;
    }
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

} // namespace kelvar::link
