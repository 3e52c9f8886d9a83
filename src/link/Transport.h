#pragma once
// The transport: one serial line to one or more meters, one request at a
// time. It owns the channel's settings, the request queue, the request on the
// line, the response buffer, the time-out and pause timers, bounded resends,
// reopening a lost port and the link statistics. It knows no window, no meter
// policy and no batch: what a response, a time-out or an empty queue means is
// up to whoever drives it (the session, ExchangeEngine). Every transport keeps
// its state to itself, so several can run side by side, one per port.
//
// Everything runs on one thread, driven by the channel's bytesArrived signal
// and its timers: TimerCommand (the request pause, 50 ms by default, sends
// the head of the queue; a shorter pause is timed to the microsecond from the
// end of the exchange and the last byte on the line), TimerOut (response
// time-out), TimerStart (100 ms, first request after opening) and the reopen
// timer while the port is lost.

#include "link/Frame.h"
#include "link/LinkStatistics.h"
#include "link/MicroTimer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace kelvar::link {

class SerialChannel;

// What the byte trace reports: a frame written, the "Rs-485" address byte
// written, or bytes read.
enum class TraceKind { Sent, AddressSent, Received };

class Transport : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeout = 500;
    static constexpr int CommandInterval = 50;
    static constexpr int StartInterval = 100;
    // A request is sent at most this many times in all (see resend()).
    static constexpr int MaxTries = 3;
    // While the port is lost, it is opened again this often.
    static constexpr int ReopenInterval = 1000;

    // The channel stays owned by the caller and must outlive the transport.
    explicit Transport(SerialChannel *channel, QObject *parent = nullptr);
    ~Transport() override;

    SerialChannel *channel() const { return m_channel; }

    // --- Line settings.
    void setAddress(int address);             // 0..255; queued requests are re-addressed
    int address() const { return m_address; }
    void setProtocol(Protocol protocol);
    Protocol protocol() const { return m_protocol; }
    void setParityIndex(int index);           // "MODBUS": 0 none (2 stop bits), 1 even, 2 odd
    int parityIndex() const { return m_parityIndex; }
    void setBaudIndex(int index);             // 0..3; applied to the port at once
    int baudIndex() const { return m_baudIndex; }
    void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }
    void setTimeout(int milliseconds);        // from the next exchange on
    int timeout() const { return m_timeout; }
    // The pause between the end of an exchange and the next request, 0..50 ms
    // (50, the default, is the fixed send tick); never shorter than the line's
    // silent interval at the current baud rate and character format.
    void setRequestPause(int milliseconds);
    int requestPause() const { return m_requestPause; }
    int sendInterval() const { return m_timerCommand.interval(); } // what the pause gives, in ms
    // All four line settings at once, the port staying open; queued requests
    // are re-addressed and the next one uses the new values.
    void switchLinkParameters(int address, int baudIndex, Protocol protocol, int parityIndex);
    // With tracing on, every byte written and read is reported by traced().
    void setTracing(bool on) { m_tracing = on; }
    bool tracing() const { return m_tracing; }

    // --- State.
    bool isConnected() const { return m_connected; }
    // Connected, but the port went away and is being reopened every second.
    bool portLost() const { return m_portLost; }
    const QList<QByteArray> &queue() const { return m_queue; }
    QByteArray currentRequest() const { return m_current; }   // as sent (address and CRC included)
    QByteArray currentFrame() const;                           // function code, length, data
    QByteArray responseBuffer() const { return m_buffer; }
    // A response is awaited (a request was sent and TimerOut runs).
    bool awaitingResponse() const { return m_timerOut.isActive(); }
    // The length of the running time-out in milliseconds (0 when none runs).
    int runningTimeout() const { return m_timerOut.isActive() ? m_timerOut.interval() : 0; }
    // Counts removals of the head and emptyings of the queue, so a caller can
    // tell whether the request it was handling is still the head.
    quint64 headSerial() const { return m_headSerial; }
    // What happened on the link since the last open.
    const LinkStatistics &statistics() const { return m_statistics; }

    // --- Opening and closing.
    // Opens the port; the first request is due StartInterval later
    // (linkReady). False, and nothing changes, when the port cannot be opened.
    bool open();
    // Stops every timer, closes the port and empties the queue. False when
    // closing failed (the link is down anyway).
    bool close();

    // --- Queue.
    // Appends a request (function code, length byte, data): in "MODBUS" the
    // address goes in front, then the CRC is appended.
    void AddCommand(const QByteArray &frame);
    // Removes the head, if any.
    void RemoveCommand();
    void clearQueue();
    // Ends the exchange on the line: no response is awaited any more;
    // with dropResponse what arrived of it is dropped too.
    void stopExchange(bool dropResponse = false);
    // Sends the head again at the next tick. Counts the sends of the same
    // head: false, and nothing is sent, once it went out MaxTries times.
    bool resend();

    // --- Lending the line (a bus scan). While lent the transport neither
    // sends nor reads and drops what is queued: the borrower has the open
    // channel to itself. An open transport drops the exchange on the line and
    // starts afresh when the line comes back (linkReady, as after opening);
    // a closed one opens its port for the loan and closes it again after.
    // nullptr, and nothing changes, when lent already, while the port is
    // lost, or when the port cannot be opened.
    SerialChannel *lend();
    void takeBack();
    bool isLent() const { return m_lent; }

signals:
    // A whole response to the request on the line, CRC checked, address
    // removed; the time-out still runs until the driver stops the exchange.
    void responseArrived(const QByteArray &response);
    // Bytes came while a response is awaited; responseBytes is false for the
    // echo of the "Rs-485" address byte.
    void bytesReceived(bool responseBytes);
    void timedOut();                               // TimerOut: no whole response in time
    void queueRanEmpty();                          // while open and the port is there
    void linkReady();                              // TimerStart: the queue was emptied for the first request
    void portLostChanged(bool lost);               // the device went away / opened again
    void commandSent(const QString &commandName);
    void traced(kelvar::link::TraceKind kind, const QByteArray &bytes);

private:
    void TimerCommandTimer();
    void TimerOutTimer();
    void TimerStartTimer();
    void TimerReopenTimer();
    void VaComm1RxChar();    // receive handler of "Rs-485"
    void VaComm1RxChar011(); // receive handler of "MODBUS"
    void CommandsChange();
    void onBytesArrived();
    void onDeviceLost();
    bool openChannel();
    void stopTimers();
    // Reads and traces what arrived; empty when there is nothing to take
    // (the port is closed, or no response is awaited).
    QByteArray takeArrived();
    void dropFromQueue(qsizetype count); // the first count requests
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
    void trace(TraceKind kind, const QByteArray &bytes);

    SerialChannel *m_channel;

    QList<QByteArray> m_queue;
    QByteArray m_current;
    QByteArray m_buffer;
    QTimer m_timerCommand;              // the fixed tick: the request pause at 50 ms
    MicroTimer m_sendTimer;             // a shorter pause
    QTimer m_timerOut;
    QTimer m_timerStart;
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
    quint64 m_resendSerial = 0;         // head whose sends m_resends counts
    int m_resends = 0;
    quint64 m_headSerial = 0;
    bool m_connected = false;
    bool m_portLost = false;
    bool m_addressSent = false; // "Rs-485": the address byte went out at mark parity, the frame not yet
    bool m_lent = false;
    bool m_lostWhileLent = false; // the device went away while lent: reported when it comes back
    bool m_tracing = false;
};

} // namespace kelvar::link

Q_DECLARE_METATYPE(kelvar::link::Protocol)
Q_DECLARE_METATYPE(kelvar::link::TraceKind)
