// Reads the 256 settings-journal records from the simulated meter over a
// pseudo-terminal with wire-time emulation, at each baud rate, in both
// protocol types and with the request pause at 50 ms (the default send tick)
// and at 0, and prints per run: the total time, the wire-time limit, L (the
// wire-time limit plus one silent interval per request, the least any
// engine can take) and the total as a multiple of L, the share of the wait
// between an accepted response and the next send, and the engine's own time
// per exchange (the CPU time of its receive and send handlers, measured
// around the channel calls, port system calls included; and the same
// handlers by the clock).
//
//   bench_engine [--count N] [--turnaround MS] [--pause MS]... [--repeat N]

#include "BenchFigures.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPacing.h"
#include "link/QSerialPortChannel.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/MeterServer.h"
#include "support/ForwardingChannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>

using namespace kelvar;
using link::Protocol;

namespace {

// CPU time of this thread in nanoseconds: the handlers' own cost, which a
// loaded machine does not inflate the way it does wall-clock time.
qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A channel that passes everything to the real one and clocks the engine's
// handlers: a receive handler runs inside bytesArrived, a send starts with
// the port being emptied outside a receive and ends with the write. It also
// stamps each exchange on the line, so the time over L can be split into
// where it goes: the wait from a reply to the next request, the simulated
// meter's address echo ("Rs-485") and its reply, each beyond its wire time.
class TimingChannel : public test::ForwardingChannel
{
public:
    explicit TimingChannel(link::SerialChannel &inner)
        : ForwardingChannel(inner)
    {
        m_clock.start();
        connect(&m_inner, &SerialChannel::bytesArrived, this, [this] {
            QElapsedTimer t;
            t.start();
            const qint64 cpu = threadCpuNs();
            m_inReceive = true;
            emit bytesArrived();
            m_inReceive = false;
            receiveNs += threadCpuNs() - cpu;
            wallNs += t.nsecsElapsed();
        });
    }
    qint64 receiveNs = 0; // CPU time
    qint64 sendNs = 0;    // CPU time
    qint64 wallNs = 0;    // wall-clock time of both
    qint64 tickWaitNs = 0; // from the accepted response to the next send
    QElapsedTimer sinceAccepted;
    bool stamping = false;
    QList<qint64> gapsUs;  // reply complete -> next request starts on the line
    QList<qint64> echoUs;  // "Rs-485" address byte written -> frame written
    QList<qint64> replyOverUs; // frame written -> reply complete, beyond its wire time

    // The handler accepted a reply that took wireUs on the line from the
    // request's frame on.
    void replyComplete(qint64 wireUs)
    {
        sinceAccepted.start();
        m_replyAtUs = nowUs();
        if (stamping && m_frameAtUs >= 0)
            replyOverUs << m_replyAtUs - m_frameAtUs - wireUs;
    }

    bool writeByte(quint8 byte) override
    {
        requestStarts();
        m_addressAtUs = nowUs();
        return sent(m_inner.writeByte(byte));
    }
    bool write(const QByteArray &bytes) override
    {
        if (m_addressAtUs < 0)
            requestStarts();
        m_frameAtUs = nowUs();
        if (stamping && m_addressAtUs >= 0)
            echoUs << m_frameAtUs - m_addressAtUs;
        m_addressAtUs = -1;
        return sent(m_inner.write(bytes));
    }
    QByteArray readAll() override
    {
        if (!m_inReceive) {
            m_send.start();
            m_sendCpu = threadCpuNs();
            if (sinceAccepted.isValid())
                tickWaitNs += sinceAccepted.nsecsElapsed();
            sinceAccepted.invalidate();
        }
        return m_inner.readAll();
    }

private:
    qint64 nowUs() const { return m_clock.nsecsElapsed() / 1000; }
    void requestStarts()
    {
        if (stamping && m_replyAtUs >= 0)
            gapsUs << nowUs() - m_replyAtUs;
        m_replyAtUs = -1;
    }
    bool sent(bool ok)
    {
        if (!m_inReceive && m_send.isValid()) {
            sendNs += threadCpuNs() - m_sendCpu;
            wallNs += m_send.nsecsElapsed();
            m_send.invalidate();
        }
        return ok;
    }
    QElapsedTimer m_clock;
    QElapsedTimer m_send;
    qint64 m_sendCpu = 0;
    bool m_inReceive = false;
    qint64 m_replyAtUs = -1;
    qint64 m_addressAtUs = -1;
    qint64 m_frameAtUs = -1;
};

QString protocolName(Protocol protocol)
{
    return protocol == Protocol::Rs485 ? QStringLiteral("Rs-485") : QStringLiteral("MODBUS");
}

qint64 median(const QList<qint64> &values)
{
    return qint64(bench::median(std::vector<double>(values.begin(), values.end())));
}

struct Figures {
    qint64 totalMs = 0;
    qint64 wireUs = 0;
    qint64 limitUs = 0; // L: wire time plus one silent interval per exchange
    qint64 tickWaitMs = 0;
    double receiveUs = 0; // per exchange
    double sendUs = 0;
    double wallUs = 0;
    int exchanges = 0;
    int timeouts = 0;
    // Medians per exchange, microseconds: the wait from a reply to the next
    // request (at least the silent interval), and the address echo and the
    // reply each beyond their wire time.
    qint64 gapUs = 0;
    qint64 echoOverUs = 0;
    qint64 replyOverUs = 0;
    double simLateUs = 0; // the simulated meter's output beyond its own timing, mean
};

Figures run(Protocol protocol, int baudIndex, int pause, int count, int turnaroundMs)
{
    sim::MeterServer meter;
    meter.updateState([&](sim::MeterState &s) {
        s.address = 1;
        s.protocol = protocol;
        s.baudIndex = baudIndex;
    });
    sim::Faults faults;
    faults.wireBaud = -1; // at the meter's own baud rate
    faults.turnaroundMs = turnaroundMs;
    meter.setFaults(faults);
    QString error;
    if (!meter.start(&error))
        qFatal("simulated meter: %s", qPrintable(error));

    link::QSerialPortChannel port;
    TimingChannel channel(port);
    link::ExchangeEngine engine(&channel);
    meter::ResponseDispatcher dispatcher(engine);
    engine.setPortName(meter.devicePath());
    engine.setProtocol(protocol);
    engine.setAddress(1);
    engine.setBaudIndex(baudIndex);
    engine.setRequestPause(pause);

    Figures f;
    QElapsedTimer total;
    bool batchQueued = false;
    int journal = 0;
    qint64 lineBytes = 0;
    QList<int> codes;
    for (int code = 0; code < 128; ++code)
        if (link::isKnownCommand(code))
            codes << code;
    dispatcher.registerOwner(codes, [&](const QByteArray &response, const QByteArray &request) {
        // Request with its CRC and the response, plus two address bytes: in
        // front of both frames ("MODBUS"), or sent and echoed ("Rs-485").
        const qsizetype exchangeBytes = request.size() + 2 + response.size() + 2;
        channel.replyComplete(
            sim::wireTimeUs(exchangeBytes - (protocol == Protocol::Rs485 ? 2 : 0), link::baudRate(baudIndex)));
        if (!batchQueued) {
            // The first poll answer: the batch goes in behind the next request.
            batchQueued = true;
            for (int index = 0; index < count; ++index)
                engine.AddCommand(link::readSettingsJournalRequest(quint8(index)));
            return;
        }
        if (quint8(request[0]) != link::fn::ReadSettingsJournal)
            return;
        if (journal == 0) {
            total.start();
            channel.receiveNs = channel.sendNs = channel.wallNs = channel.tickWaitNs = 0;
            channel.stamping = true;
        }
        ++journal;
        lineBytes += exchangeBytes;
        if (journal == count) {
            f.totalMs = total.elapsed();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    });
    QObject::connect(&engine, &link::ExchangeEngine::protocolLine, [&](const QString &line) {
        if (line.endsWith(link::ExchangeEngine::TimeoutText))
            ++f.timeouts;
    });
    if (!engine.ActionConnectExecute())
        qFatal("cannot open %s", qPrintable(meter.devicePath()));
    QTimer::singleShot(600000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    // The first exchange of the batch started before the clock did: count the
    // ones measured from its end.
    f.exchanges = qMax(1, journal - 1);
    f.wireUs = sim::wireTimeUs(lineBytes, link::baudRate(baudIndex)) * f.exchanges / qMax(1, journal);
    f.limitUs = f.wireUs + f.exchanges * link::silentIntervalUs(link::baudRate(baudIndex), sim::BitsPerCharacter);
    f.tickWaitMs = channel.tickWaitNs / 1000000;
    const int baud = link::baudRate(baudIndex);
    const qint64 echoWireUs = protocol == Protocol::Rs485 ? sim::wireTimeUs(2, baud) : 0;
    f.gapUs = median(channel.gapsUs);
    f.echoOverUs = protocol == Protocol::Rs485 ? median(channel.echoUs) - echoWireUs : 0;
    f.replyOverUs = median(channel.replyOverUs);
    f.receiveUs = channel.receiveNs / 1000.0 / f.exchanges;
    f.sendUs = channel.sendNs / 1000.0 / f.exchanges;
    f.wallUs = channel.wallNs / 1000.0 / f.exchanges;
    const auto late = meter.outputLateness();
    f.simLateUs = late.writes > 0 ? double(late.totalUs) / late.writes : 0;
    engine.ActionDisconnectExecute();
    meter.stop();
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"count", "Requests per run (1..256).", "N", "256"});
    parser.addOption({"turnaround", "The meter's pause before each reply, ms.", "MS", "0"});
    bench::addPauseOption(parser);
    bench::addRepeatOption(parser);
    parser.process(app);
    const int count = qBound(2, parser.value("count").toInt(), 256);
    const int turnaround = qMax(0, parser.value("turnaround").toInt());
    const QList<int> pauses = bench::requestPauses(parser);

    const int repeat = bench::repeatCount(parser);

    QTextStream out(stdout);
    out << "Settings journal, " << count << " requests, meter turnaround " << turnaround << " ms, "
        << sim::BitsPerCharacter << " bits per character, " << repeat << " run(s) each\n";
    out << bench::startedLine() << "\n";
    out << "Engine: CPU time of its receive and send handlers per exchange; wall: the same handlers by the clock\n";
    out << "L: the wire-time limit plus one silent interval (3.5 characters, 1.75 ms above 19200 baud) per request\n";
    out << "Medians per exchange in us: silent (the interval), gap (reply complete to the next request on the line),\n"
           "echo+ and reply+ (the simulated meter's address echo and reply beyond their wire time);\n"
           "sim late: the mean of how late the simulated meter's output left against its own timing\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12 %13 %14 %15 %16 %17 %18 %19\n")
               .arg("protocol", -8).arg("baud", 6).arg("pause", 5).arg("total ms", 9).arg("wire ms", 8)
               .arg("L ms", 8).arg("x L", 6).arg("wait share", 11).arg("engine us", 10).arg("(receive", 9)
               .arg("send)", 8).arg("wall us", 8).arg("time-outs", 10).arg("silent", 7).arg("gap", 6)
               .arg("echo+", 6).arg("reply+", 6).arg("sim late", 8).arg("load", 5);
    struct Row {
        int pause;
        Protocol protocol;
        int baudIndex;
        QList<double> ratios;
    };
    QList<Row> rows;
    for (int pause : std::as_const(pauses))
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus})
            for (int baudIndex = 0; baudIndex < 4; ++baudIndex)
                rows.append({pause, protocol, baudIndex, {}});
    for (int round = 0; round < repeat; ++round) {
        for (Row &row : rows) {
            const Figures f = run(row.protocol, row.baudIndex, row.pause, count, turnaround);
            const double waitShare = f.totalMs > 0 ? 100.0 * f.tickWaitMs / f.totalMs : 0;
            const double ratio = f.limitUs > 0 ? f.totalMs * 1000.0 / f.limitUs : 0;
            row.ratios << ratio;
            const int baud = link::baudRate(row.baudIndex);
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8% %9 %10 %11 %12 %13 %14 %15 %16 %17 %18 %19\n")
                       .arg(protocolName(row.protocol), -8)
                       .arg(baud, 6)
                       .arg(row.pause, 5)
                       .arg(f.totalMs, 9)
                       .arg(f.wireUs / 1000.0, 8, 'f', 1)
                       .arg(f.limitUs / 1000.0, 8, 'f', 1)
                       .arg(ratio, 6, 'f', 2)
                       .arg(waitShare, 10, 'f', 1)
                       .arg(f.receiveUs + f.sendUs, 10, 'f', 1)
                       .arg(f.receiveUs, 9, 'f', 1)
                       .arg(f.sendUs, 8, 'f', 1)
                       .arg(f.wallUs, 8, 'f', 1)
                       .arg(f.timeouts, 10)
                       .arg(link::silentIntervalUs(baud, sim::BitsPerCharacter), 7)
                       .arg(f.gapUs, 6)
                       .arg(f.echoOverUs, 6)
                       .arg(f.replyOverUs, 6)
                       .arg(f.simLateUs, 8, 'f', 0)
                       .arg(bench::loadNow(), 5);
            out.flush();
        }
    }
    out << bench::ratiosLine(repeat) << "\n";
    for (const Row &row : std::as_const(rows)) {
        out << QStringLiteral("%1 %2 pause %3: %4\n")
                   .arg(protocolName(row.protocol), -8)
                   .arg(link::baudRate(row.baudIndex), 6)
                   .arg(row.pause, 2)
                   .arg(bench::bestAndMedian(row.ratios));
    }
    return 0;
}
