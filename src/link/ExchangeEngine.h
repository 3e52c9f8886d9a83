#pragma once
// The exchange engine: owns the request queue and talks to the meter over a
// serial channel, one request at a time under a time-out. While the link is up
// the queue is never left empty: when it runs empty the next request of the
// poll cycle is appended. Complete responses go to the response handler (the
// dispatcher), which accepts them with RemoveCommand or fails them.
//
// Everything runs on one thread, driven by the channel's bytesArrived signal
// and four timers: TimerCommand (50 ms, sends the head of the queue),
// TimerOut (response time-out), TimerStart (100 ms, first request after
// connecting) and TimerShape (2 s, hides the result indicator).
//
// The engine talks to the window only through signals; it never opens a
// dialog.

#include "link/Frame.h"

#include <QByteArray>
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

class ExchangeEngine : public QObject
{
    Q_OBJECT
public:
    // Baud rates by index 0..3.
    static constexpr int DefaultTimeout = 500;
    static constexpr int CommandInterval = 50;
    static constexpr int StartInterval = 100;
    static constexpr int ShapeInterval = 2000;

    static const QString SettingsWriteFailedText;  // "Во время записи установок ..."
    static const QString ScheduleWriteFailedText;  // "Во время записи тарифного расписания ..."
    static const QString TimeoutText;              // " Timeout."

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
    void setPortName(const QString &name);    // "COM3" or a device path
    QString portName() const { return m_portName; }
    void setTimeout(int milliseconds);        // SpinTimer: from the next exchange on
    int timeout() const;

    // Start modes.
    void setMasterMode(bool on) { m_masterMode = on; }       // byte trace in the protocol view
    bool MasterMode() const { return m_masterMode; }
    void setProductionMode(bool on) { m_productionMode = on; } // six time-outs set address 0
    bool ProductionMode() const { return m_productionMode; }

    // --- State.
    bool isConnected() const { return m_connected; }
    const QList<QByteArray> &queue() const { return m_queue; }
    QByteArray currentRequest() const { return m_current; }   // as sent (address and CRC included)
    QByteArray currentFrame() const;                           // function code, length, data
    QByteArray responseBuffer() const { return m_buffer; }
    int PollIndex() const { return m_pollIndex; }
    int TimeoutCount() const { return m_timeoutCount; }
    bool AddressSearch() const { return m_addressSearch; }
    bool SettingsWriteActive() const { return m_settingsWriteActive; }
    bool ScheduleWriteActive() const { return m_scheduleWriteActive; }
    // Set by a write batch right after it queued its requests.
    void setSettingsWriteActive(bool on) { m_settingsWriteActive = on; }
    void setScheduleWriteActive(bool on) { m_scheduleWriteActive = on; }
    // A response is awaited (a request was sent and TimerOut runs).
    bool awaitingResponse() const { return m_timerOut.isActive(); }
    // Counts removals of the head and emptyings of the queue, so a caller can
    // tell whether the request it was handling is still the head.
    quint64 headSerial() const { return m_headSerial; }

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
    // Sends the head again at the next tick (error code 3).
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

    // The protocol-view lines (time is the workstation time).
    static QString sendLine(const QTime &time, const QByteArray &bytes);
    static QString addressLine(const QTime &time, quint8 address);
    static QString receivedLine(const QTime &time, const QByteArray &bytes);
    static QString timeoutLine(const QTime &time);

public slots:
    void TimerCommandTimer();
    void TimerOutTimer();
    void TimerStartTimer();
    void TimerShapeTimer();
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
    void settingsWriteCompleted();                    // production mode records the operation
    void scheduleWriteCompleted();
    void addressChanged(int address);                 // the engine changed SpinAddr itself
    void linkParametersChanged(int address, int baudIndex, kelvar::link::Protocol protocol, int parityIndex);

private:
    void CommandsChange();
    void onBytesArrived();
    // Reads and traces what arrived; empty when there is nothing to take
    // (the port is closed, or no response is awaited).
    QByteArray takeArrived();
    void clearQueue();                  // empties the queue (runs CommandsChange when it held anything)
    void dropFromQueue(qsizetype count); // the first count requests
    void showResult(Indicator indicator); // Shape1 until TimerShape hides it
    void handOver(const QByteArray &response);
    bool answersCurrentRequest(const QByteArray &modbusFrame) const;
    void rebaseQueue(Protocol oldProtocol);
    void applyModbusCharacterFormat();
    QByteArray envelopeFrame(const QByteArray &frame) const;
    void traceReceived(const QByteArray &bytes);
    void traceSent(const QByteArray &frame);
    void traceAddress();
    void reportFailure(const QString &message);

    SerialChannel *m_channel;
    ResponseHandler m_responseHandler;

    QList<QByteArray> m_queue;
    QByteArray m_current;
    QByteArray m_buffer;
    QTimer m_timerCommand;
    QTimer m_timerOut;
    QTimer m_timerStart;
    QTimer m_timerShape;

    int m_address = 0;
    Protocol m_protocol = Protocol::Rs485;
    int m_parityIndex = 0;
    int m_baudIndex = 0;
    QString m_portName = QStringLiteral("COM1");

    int m_timeout = DefaultTimeout;
    int m_pollIndex = 0;
    int m_timeoutCount = 0;
    quint64 m_headSerial = 0;
    bool m_connected = false;
    bool m_addressSent = false; // "Rs-485": the address byte went out at mark parity, the frame not yet
    bool m_addressSearch = false;
    bool m_settingsWriteActive = false;
    bool m_scheduleWriteActive = false;
    bool m_masterMode = false;
    bool m_productionMode = false;
};

} // namespace kelvar::link

Q_DECLARE_METATYPE(kelvar::link::Indicator)
Q_DECLARE_METATYPE(kelvar::link::Protocol)
