#pragma once
// The exchange engine is the session on top of one transport: it gives the
// requests on the line their meaning for the meter at hand. While the link is
// up the queue is never left empty: when it runs empty the next request of
// the poll cycle is appended (unless polling is paused). Complete responses go
// to the response handler (the dispatcher), which accepts them with
// RemoveCommand or fails them. The session counts time-outs in a row, runs
// the address search and the production fall-back to address 0, starts and
// ends write and read batches, formats the protocol-view lines and lends its
// line to a bus scan (LineLender).
//
// Everything runs on one thread. Besides the transport's timers there is
// one of the session's own: 2 s after a batch result the meter information
// is read afresh.
//
// The engine knows no window: it reports by signals and never opens a
// dialog; the window's presenter (app/EnginePresenter) turns the signals into
// the result indicator and the enabling of actions.

#include "link/LineLender.h"
#include "link/Transport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QTime;

namespace kelvar::link {

// A batch of writes an owner queues as one operation.
enum class WriteBatch { Settings, Schedule, Calibration };

class ExchangeEngine : public QObject, public LineLender
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeout = Transport::DefaultTimeout;
    static constexpr int CommandInterval = Transport::CommandInterval;
    static constexpr int StartInterval = Transport::StartInterval;
    // After a batch result the meter information is read afresh this much later.
    static constexpr int ResultInterval = 2000;
    // A request the meter answers with error 3 (bad checksum) is sent at most
    // this many times in all, then fails like any other error reply.
    static constexpr int MaxTries = Transport::MaxTries;
    static constexpr int ReopenInterval = Transport::ReopenInterval;

    static const QString SettingsWriteFailedText;  // "Во время записи установок ..."
    static const QString ScheduleWriteFailedText;  // "Во время записи тарифного расписания ..."
    static const QString TimeoutText;              // " Timeout."
    static const QString NoSerialPortText;         // connecting without a port name

    // The channel stays owned by the caller and must outlive the engine.
    explicit ExchangeEngine(SerialChannel *channel, QObject *parent = nullptr);
    ~ExchangeEngine() override;

    // The line the session drives.
    Transport &transport() { return m_transport; }
    const Transport &transport() const { return m_transport; }
    SerialChannel *channel() const { return m_transport.channel(); }

    // --- Link settings (the window's SpinAddr, ComboMode, ComboParity,
    // ComboBaud, ComboPort, SpinTimer), kept by the transport. The window
    // sets them; the engine reports its own changes through addressChanged
    // and linkParametersChanged.
    void setAddress(int address) { m_transport.setAddress(address); } // 0..255
    int address() const { return m_transport.address(); }
    void setProtocol(Protocol protocol) { m_transport.setProtocol(protocol); } // fixed while connected
    Protocol protocol() const { return m_transport.protocol(); }
    void setParityIndex(int index) { m_transport.setParityIndex(index); }
    int parityIndex() const { return m_transport.parityIndex(); }
    void setBaudIndex(int index) { m_transport.setBaudIndex(index); }
    int baudIndex() const { return m_transport.baudIndex(); }
    void setPortName(const QString &name) { m_transport.setPortName(name); } // empty: there is none
    QString portName() const { return m_transport.portName(); }
    void setTimeout(int milliseconds) { m_transport.setTimeout(milliseconds); }
    int timeout() const { return m_transport.timeout(); }
    void setRequestPause(int milliseconds) { m_transport.setRequestPause(milliseconds); }
    int requestPause() const { return m_transport.requestPause(); }
    int sendInterval() const { return m_transport.sendInterval(); }

    // Start modes.
    void setMasterMode(bool on);                                // byte trace in the protocol view
    bool MasterMode() const { return m_transport.tracing(); }
    // The trace shows a password request's password (on where the operator
    // asked for the trace; off where production mode turns the trace on).
    void setTracePasswords(bool on) { m_tracePasswords = on; }
    bool TracePasswords() const { return m_tracePasswords; }
    void setProductionMode(bool on) { m_productionMode = on; } // six time-outs set address 0
    bool ProductionMode() const { return m_productionMode; }

    // --- State.
    bool isConnected() const { return m_transport.isConnected(); }
    bool portLost() const { return m_transport.portLost(); }
    const QList<QByteArray> &queue() const { return m_transport.queue(); }
    QByteArray currentRequest() const { return m_transport.currentRequest(); }
    QByteArray currentFrame() const { return m_transport.currentFrame(); }
    QByteArray responseBuffer() const { return m_transport.responseBuffer(); }
    bool awaitingResponse() const { return m_transport.awaitingResponse(); }
    int runningTimeout() const { return m_transport.runningTimeout(); }
    quint64 headSerial() const { return m_transport.headSerial(); }
    const LinkStatistics &statistics() const { return m_transport.statistics(); }
    int PollIndex() const { return m_pollIndex; }
    int TimeoutCount() const { return m_timeoutCount; }
    bool AddressSearch() const { return m_addressSearch; }
    bool SettingsWriteActive() const { return m_settingsWriteActive; }
    bool ScheduleWriteActive() const { return m_scheduleWriteActive; }
    bool CalibrationWriteActive() const { return m_calibrationWriteActive; }
    bool writeBatchPending() const
    {
        return m_settingsWriteActive || m_scheduleWriteActive || m_calibrationWriteActive;
    }

    // --- Write batches. An owner starts its batch here before it queues the
    // writes; the engine ends it. Completed when the queue runs empty
    // (settingsWriteCompleted or scheduleWriteCompleted), failed when the
    // queue is aborted (writeFailed with the batch's text for settings and
    // schedule). Either end is reported by writeBatchEnded. Starting
    // (writeBatchStarted) disables the read and write controls until the
    // batch ends; it is refused (false, nothing changes) while another batch
    // is pending, so a second write can never queue behind the first.
    bool beginWriteBatch(WriteBatch batch);
    // A batch of reads (schedule, journals) was queued: the read and write
    // controls stay off until the queue runs empty (EnableControls).
    void beginReadBatch();

    // --- Queue operations.
    // Appends a request (function code, length byte, data): in "MODBUS" the
    // address goes in front, then the CRC is appended.
    void AddCommand(const QByteArray &frame) { m_transport.AddCommand(frame); }
    // Removes the head, if any (a response was accepted).
    void RemoveCommand() { m_transport.RemoveCommand(); }
    // Stops the time-out and empties the queue; a pending settings or schedule
    // write is reported as failed (writeBatchEnded, writeFailed) after the
    // queue is already empty.
    void AbortQueue();

    // --- Lending the line (the meter scan). While lent the session neither
    // polls nor sends, the exchange on the line and the queue are dropped and
    // the read and write controls are off; the borrower has the open channel
    // (a disconnected session opens its port for the loan). Refused (nullptr)
    // while a write batch is pending, while lent already or while the port is
    // lost. When the line comes back the poll starts afresh at the link's own
    // address and the meter information is read afresh (ResetMeterInfo): the
    // operator may pick another meter of the line.
    SerialChannel *lendLine() override;
    void takeLineBack() override;
    LineFormat lineFormat() const override;
    bool lineLent() const { return m_transport.isLent(); }

    // --- Used by the response dispatcher.
    // Complete responses (address removed) are handed to this handler.
    // Without one a complete response is simply accepted.
    using ResponseHandler = std::function<void(const QByteArray &response)>;
    void setResponseHandler(ResponseHandler handler) { m_responseHandler = std::move(handler); }
    // The meter answered (accepted response or error reply): stops TimerOut
    // and reports answered.
    void meterAnswered();
    // Sends the head again at the next tick (error code 3); after MaxTries
    // sends of the same request it fails instead: one protocol line, then the
    // queue is aborted as for any other error reply.
    void repeatRequest();
    // One line in the protocol view.
    void AddToProtocol(const QString &text);

    // A confirmed write of new link parameters: the address, baud rate,
    // protocol type and parity switch with the link staying up; requests still
    // in the queue are re-addressed and the next request uses the new values.
    void switchLinkParameters(int address, int baudIndex, Protocol protocol, int parityIndex);

    // --- Actions the window calls.
    bool ActionConnectExecute();    // false when the port could not be opened
    bool ActionDisconnectExecute(); // false when closing failed (the link is down anyway)
    void ActionFindAddressExecute();

    // The protocol-view lines (time is the workstation time). A sent line
    // shows the bytes from hiddenFrom on as "**".
    static QString sendLine(const QTime &time, const QByteArray &bytes, qsizetype hiddenFrom = -1);
    static QString addressLine(const QTime &time, quint8 address);
    static QString receivedLine(const QTime &time, const QByteArray &bytes);
    static QString timeoutLine(const QTime &time);
    static QString triesExhaustedLine(int function); // the request failed after MaxTries error 3 replies
    static QString portLostText(const QString &portName);

signals:
    void protocolLine(const QString &line);           // AddToProtocol
    void commandSent(const QString &commandName);     // status panel 1
    void statusCleared();                             // status panels 0 and 1 emptied
    void EnableControls(bool enabled);                // the read and write controls
    void answered();                                  // meterAnswered
    void meterSilent();                               // a time-out outside the address search
    void connectionChanged(bool connected);           // ActionConnect/ActionDisconnect and the link controls
    // A pending write failed; the window shows the text in a message box
    // titled "Ошибка". Delivered from the event loop, after the engine's
    // handler has finished.
    void writeFailed(const QString &message);
    void ResetMeterInfo();
    void timeoutsExceeded();                          // the sixth time-out in a row
    void portError(const QString &message);           // "Ошибка открытия порта COM3", ...
    // The port went away while connected (status bar); portRestored when it
    // opened again and polling restarts.
    void portLostChanged(bool lost, const QString &message);
    void settingsWriteCompleted();                    // production mode records the operation
    void scheduleWriteCompleted();
    void addressChanged(int address);                 // the engine changed SpinAddr itself
    void linkParametersChanged(int address, int baudIndex, kelvar::link::Protocol protocol, int parityIndex);
    void writeBatchStarted(kelvar::link::WriteBatch batch);
    void writeBatchEnded(kelvar::link::WriteBatch batch, bool completed);

private:
    void onQueueRanEmpty();
    void onResponse(const QByteArray &response);
    void onTimedOut();
    void onLinkReady();
    void onPortLostChanged(bool lost);
    void onTraced(TraceKind kind, const QByteArray &bytes);
    void endBatch(WriteBatch batch, bool completed);
    void reportFailure(WriteBatch batch);
    bool &writeFlag(WriteBatch batch);

    Transport m_transport;
    ResponseHandler m_responseHandler;
    QTimer m_timerResult;               // ResultInterval after a batch result

    int m_pollIndex = 0;
    int m_timeoutCount = 0;
    bool m_addressSearch = false;
    bool m_settingsWriteActive = false;
    bool m_scheduleWriteActive = false;
    bool m_calibrationWriteActive = false;
    bool m_tracePasswords = true;
    bool m_productionMode = false;
};

} // namespace kelvar::link

Q_DECLARE_METATYPE(kelvar::link::WriteBatch)
