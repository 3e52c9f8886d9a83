#pragma once
// One request to any address on a line the link has lent out, under a wait
// sized to the line's speed: what the meter scan sends for every address it
// tries. Unlike the link's own exchanges there is no queue, no poll cycle and
// no fixed send tick: a request goes out as soon as the line has been quiet
// for its silent interval, and an address that stays silent costs only the
// wire time of the request, one character and the allowance.
//
// An answer that comes after its wait is not lost and never taken for the
// answer of the address tried next: a late "Rs-485" echo (a byte alone, the
// address it answers) and a whole "MODBUS" frame for another address are
// noted as late addresses, for the caller to try again with more patience.

#include "link/Frame.h"
#include "link/LineLender.h"
#include "link/MicroTimer.h"
#include "link/SerialChannel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>

namespace kelvar::link {

struct ProbeAnswer {
    enum class Outcome {
        Reply,      // a whole frame with a valid CRC answering the request (an error reply too)
        Silence,    // not a byte
        Unreadable, // something came (an "Rs-485" echo, bytes) but no valid answer
    };
    Outcome outcome = Outcome::Silence;
    QByteArray response; // Reply: function code .. CRC, without an address
};

class LineProbe : public QObject
{
    Q_OBJECT
public:
    // The channel must be open and lent to this probe while it is used.
    LineProbe(SerialChannel *channel, const LineFormat &format, QObject *parent = nullptr);
    ~LineProbe() override;

    // How long after a request has left the meter may take to begin its
    // answer; never below one character's wire time, the least any answer
    // needs. In "Rs-485" the wait applies to the echo and again to the reply.
    void setWaitUs(qint64 us);
    qint64 waitUs() const { return m_waitUs; }

    // Sends the request (function code, length byte, data) to the address
    // once the line is quiet; answered() follows.
    void send(quint8 address, const QByteArray &request);
    // Listens without sending for us microseconds, noting late answers;
    // answered() with Silence follows.
    void listen(qint64 us);
    // Drops the request under way; no answered() for it.
    void cancel();
    bool busy() const { return m_stage != Stage::Idle; }

    // Addresses whose answers came after their wait was over, since the last call.
    QList<quint8> takeLateAddresses();

signals:
    void answered(const kelvar::link::ProbeAnswer &answer);

private:
    enum class Stage { Idle, Pacing, Echo, Reply, Listen };
    void transmit();
    void onBytes();
    void onDeadline();
    void evaluate();
    void noteLate(const QByteArray &bytes);
    void written(qsizetype characters);
    void armDeadline(qint64 us);
    qint64 quietLeftUs() const;
    void finish(ProbeAnswer::Outcome outcome, const QByteArray &response = {});

    SerialChannel *m_channel;
    LineFormat m_format;
    qint64 m_waitUs;
    MicroTimer m_pace;
    MicroTimer m_deadline;
    Stage m_stage = Stage::Idle;
    quint8 m_address = 0;
    QByteArray m_request;
    QByteArray m_buffer;
    bool m_sawBytes = false;
    QElapsedTimer m_lastReceived;
    QElapsedTimer m_lastWritten;
    qint64 m_writtenWireUs = 0;
    QSet<quint8> m_late;
};

} // namespace kelvar::link

Q_DECLARE_METATYPE(kelvar::link::ProbeAnswer)
