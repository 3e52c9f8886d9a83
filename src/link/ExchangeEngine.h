#pragma once
// The exchange engine: owns the request queue and talks to the meter over a
// serial channel, one request at a time under a time-out. While the link is up
// the queue is never left empty: when it runs empty the next request of the
// poll cycle is appended. Complete responses go to the response handler (the
// dispatcher), which accepts them with RemoveCommand or fails them.
//
// Everything runs on one thread, driven by the channel's bytesArrived signal
// and four timers: TimerCommand (the request pause, 50 ms by default, sends
// the head of the queue; a shorter pause is timed to the microsecond from the
// end of the exchange and the last byte on the line),
// TimerOut (response time-out), TimerStart (100 ms, first request after
// connecting) and TimerShape (2 s, hides the result indicator).
//
// The engine talks to the window only through signals; it never opens a
// dialog.

#include "link/Frame.h"
#include "link/LinkStatistics.h"
#include "link/MicroTimer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace kelvar::link {

class SerialChannel;

// The result indicator Shape1 on the tool bar.
enum class Indicator { Hidden, Green, Red };

// A batch of writes an owner queues as one operation.
enum class WriteBatch { Settings, Schedule, Calibration };

class ExchangeEngine : public QObject
{
    Q_OBJECT
public:
    // Baud rates by index 0..3.
    static constexpr int DefaultTimeout = 500;
    static constexpr int CommandInterval = 50;
    static constexpr int StartInterval = 100;
    static constexpr int ShapeInterval = 2000;
    // A request the meter answers with error 3 (bad checksum) is sent at most
    // this many times in all, then fails like any other error reply.
    static constexpr int MaxTries = 3;
    // While the port is lost, it is opened again this often.
    static constexpr int ReopenInterval = 1000;

    static const QString SettingsWriteFailedText;  // "Во время записи установок ..."
    static const QString ScheduleWriteFailedText;  // "Во время записи тарифного расписания ..."
    static const QString TimeoutText;              // " Timeout."
    static const QString NoSerialPortText;         // connecting without a port name

    // The channel stays owned by the caller and must outlive the engine.
    explicit ExchangeEngine(SerialChannel *channel, QObject *parent = nullptr);
    ~ExchangeEngine() override;

    SerialChannel *channel() const { return m_channel; }

    // --- Link settings (the window's SpinAddr, ComboMode, ComboParity,
    // ComboBaud, ComboPort, SpinTimer). The window sets them; the engine
    // reports its own changes through addressChanged and linkParametersChanged.
    void setAddress(int address);             // 0..255
    int address() const { return m_address; }
    void setProtocol(Protocol protocol);      // the window keeps it fixed while connected
    Protocol protocol() const { return m_protocol; }
    void setParityIndex(int index);           // "MODBUS": 0 none (2 stop bits), 1 even, 2 odd
    int parityIndex() const { return m_parityIndex; }
    void setBaudIndex(int index);             // 0..3; applied to the port at once
    int baudIndex() const { return m_baudIndex; }
    void setPortName(const QString &name);    // "COM3" or a device path; empty: there is none
    QString portName() const { return m_portName; }
    void setTimeout(int milliseconds);        // SpinTimer: from the next exchange on
    int timeout() const;
    // The pause between the end of an exchange and the next request, 0..50 ms
    // (50, the default, is the fixed send tick); never shorter than the line's
    // silent interval at the current baud rate and character format.
    void setRequestPause(int milliseconds);
    int requestPause() const { return m_requestPause; }
    int sendInterval() const { return m_timerCommand.interval(); } // what the pause gives, in ms

    // Start modes.
    void setMasterMode(bool on) { m_masterMode = on; }       // byte trace in the protocol view
    bool MasterMode() const { return m_masterMode; }
    // The trace shows a password request's password (on where the operator
    // asked for the trace; off where production mode turns the trace on).
    void setTracePasswords(bool on) { m_tracePasswords = on; }
    bool TracePasswords() const { return m_tracePasswords; }
    void setProductionMode(bool on) { m_productionMode = on; } // six time-outs set address 0
    bool ProductionMode() const { return m_productionMode; }

    // --- State.
    bool isConnected() const { return m_connected; }
    // Connected, but the port went away and is being reopened every second.
    bool portLost() const { return m_portLost; }
    const QList<QByteArray> &queue() const { return m_queue; }
    QByteArray currentRequest() const { return m_current; }   // as sent (address and CRC included)
    QByteArray currentFrame() const;                           // function code, length, data
    QByteArray responseBuffer() const { return m_buffer; }
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
    // writes; the engine ends it. Completed when the queue runs empty (green
    // indicator, settingsWriteCompleted or scheduleWriteCompleted), failed
    // when the queue is aborted (red indicator; writeFailed with the batch's
    // text for settings and schedule). Either end is reported by
    // writeBatchEnded. Starting disables the read and write controls and the
    // setting actions until the batch ends; it is refused (false, nothing
    // changes) while another batch is pending, so a second write can never
    // queue behind the first.
    bool beginWriteBatch(WriteBatch batch);
    // A batch of reads (schedule, journals) was queued: the read and write
    // controls stay off until the queue runs empty (EnableControls).
    void beginReadBatch();
    // A response is awaited (a request was sent and TimerOut runs).
    bool awaitingResponse() const { return m_timerOut.isActive(); }
    // The length of the running time-out in milliseconds (0 when none runs).
    int runningTimeout() const { return m_timerOut.isActive() ? m_timerOut.interval() : 0; }
    // Counts removals of the head and emptyings of the queue, so a caller can
    // tell whether the request it was handling is still the head.
    quint64 headSerial() const { return m_headSerial; }
    // What happened on the link since the last connect.
    const LinkStatistics &statistics() const { return m_statistics; }

    // --- Queue operations.
    // Appends a request (function code, length byte, data): in "MODBUS" the
    // address goes in front, then the CRC is appended.
    void AddCommand(const QByteArray &frame);
    // Removes the head, if any (a response was accepted).
    void RemoveCommand();
    // Stops the time-out and empties the queue; a pending settings or schedule
    // write is reported as failed (red indicator, writeFailed) after the
    // queue is already empty.
    void AbortQueue();

    // --- Used by the response dispatcher.
    // Complete responses (address removed) are handed to this handler.
    // Without one a complete response is simply accepted.
    using ResponseHandler = std::function<void(const QByteArray &response)>;
    void setResponseHandler(ResponseHandler handler) { m_responseHandler = std::move(handler); }
    // The meter answered (accepted response or error reply): stops TimerOut,
    // enables the setting actions and disables the address search action.
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

    // The serial ports to offer: the listed ones, or when none are listed
    // "Com1".."Com8" that can be opened and written to.
    static QStringList EnumerateSerialPorts();
    static QStringList EnumerateSerialPorts(const QStringList &listed,
                                            const std::function<bool(const QString &)> &probe);

    // The protocol-view lines (time is the workstation time). A sent line
    // shows the bytes from hiddenFrom on as "**".
    static QString sendLine(const QTime &time, const QByteArray &bytes, qsizetype hiddenFrom = -1);
    static QString addressLine(const QTime &time, quint8 address);
    static QString receivedLine(const QTime &time, const QByteArray &bytes);
    static QString timeoutLine(const QTime &time);
    static QString triesExhaustedLine(int function); // the request failed after MaxTries error 3 replies
    static QString portLostText(const QString &portName);

public slots:
    void TimerCommandTimer();
    void TimerOutTimer();
    void TimerStartTimer();
    void TimerShapeTimer();
    void TimerReopenTimer(); // while the port is lost: try to open it again
    void VaComm1RxChar();    // receive handler of "Rs-485"
    void VaComm1RxChar011(); // receive handler of "MODBUS"

signals:
    void protocolLine(const QString &line);           // AddToProtocol
    void commandSent(const QString &commandName);     // status panel 1
    void statusCleared();                             // status panels 0 and 1 emptied
    void indicatorChanged(kelvar::link::Indicator indicator);
    void EnableControls(bool enabled);
    void settingActionsEnabled(bool enabled);         // ActionSetting, ActionFixDb
    void findAddressEnabled(bool enabled);            // ActionFindAddress
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
    void writeBatchEnded(kelvar::link::WriteBatch batch, bool completed);

private:
    void CommandsChange();
    void onBytesArrived();
    void onDeviceLost();
    bool openChannel();
    // Reads and traces what arrived; empty when there is nothing to take
    // (the port is closed, or no response is awaited).
    QByteArray takeArrived();
    void clearQueue();                  // empties the queue (runs CommandsChange when it held anything)
    void dropFromQueue(qsizetype count); // the first count requests
    void showResult(Indicator indicator); // Shape1 until TimerShape hides it
    void handOver(const QByteArray &response);
    void countResponse(const QByteArray &response);
    void noteBadCrc();                  // a whole reply with a bad CRC, counted once per exchange
    void frameWritten();                // the request's last byte went to the port
    void updateSendInterval();
    void scheduleSend();                // the head goes out once the pause and the silent interval passed
    qint64 sendDelayUs() const;         // what is left of them now
    void lineWritten(qsizetype bytes);  // bytes went to the port
    bool answersCurrentRequest(const QByteArray &modbusFrame) const;
    void rebaseQueue(Protocol oldProtocol);
    void applyModbusCharacterFormat();
    QByteArray envelopeFrame(const QByteArray &frame) const;
    void traceReceived(const QByteArray &bytes);
    void traceSent(const QByteArray &frame);
    void traceAddress();
    void reportFailure(WriteBatch batch);
    bool &writeFlag(WriteBatch batch);

    SerialChannel *m_channel;
    ResponseHandler m_responseHandler;

    QList<QByteArray> m_queue;
    QByteArray m_current;
    QByteArray m_buffer;
    QTimer m_timerCommand;              // the fixed tick: the request pause at 50 ms
    MicroTimer m_sendTimer;             // a shorter pause
    QTimer m_timerOut;
    QTimer m_timerStart;
    QTimer m_timerShape;
    QTimer m_timerReopen;

    int m_address = 0;
    Protocol m_protocol = Protocol::Rs485;
    int m_parityIndex = 0;
    int m_baudIndex = 0;
    QString m_portName = QStringLiteral("COM1");

    int m_timeout = DefaultTimeout;
    int m_requestPause = CommandInterval; // the default pause is the fixed tick
    LinkStatistics m_statistics;
    QElapsedTimer m_sentAt;             // since the request's frame was written
    QElapsedTimer m_exchangeEnded;      // since the send was scheduled
    QElapsedTimer m_lastReceived;       // since bytes last arrived
    QElapsedTimer m_lastWritten;        // since bytes last went to the port
    qint64 m_writtenWireUs = 0;         // how long those take on the line
    qint64 m_silentUs = 0;              // the silent interval at the current settings
    bool m_badCrcCounted = false;
    quint64 m_resendSerial = 0;         // head whose error 3 replies m_resends counts
    int m_resends = 0;
    int m_pollIndex = 0;
    int m_timeoutCount = 0;
    quint64 m_headSerial = 0;
    bool m_connected = false;
    bool m_portLost = false;
    bool m_addressSent = false; // "Rs-485": the address byte went out at mark parity, the frame not yet
    bool m_addressSearch = false;
    bool m_settingsWriteActive = false;
    bool m_scheduleWriteActive = false;
    bool m_calibrationWriteActive = false;
    bool m_masterMode = false;
    bool m_tracePasswords = true;
    bool m_productionMode = false;
};

} // namespace kelvar::link

Q_DECLARE_METATYPE(kelvar::link::Indicator)
Q_DECLARE_METATYPE(kelvar::link::Protocol)
Q_DECLARE_METATYPE(kelvar::link::WriteBatch)
