// Fault soak: the exchange engine against the simulated meter over a
// pseudo-terminal, at request pause 0, in both protocol types, with about one
// reply in ten faulted (silence, garbage in front, split, late, bad CRC, an
// error code, another function code). The work is settings-journal reads,
// whose replies carry the index asked for, mixed with the poll cycle and a
// settings write now and then. It checks and prints:
//   - misattributed replies: a reply accepted for a request it does not answer;
//   - stalls: two requests further apart than time-out + send interval + 10 ms,
//     with the protocol view's lines that led to the first few, and how many
//     remain when the time the engine thread's event loop stood still (a
//     machine busy with other work: a 2 ms heartbeat shows it) is taken off
//     the gap, and the thread's wait for a CPU as the scheduler counts it;
//   - the queue recovers: every exchange ends and the next one starts;
//   - every settings write is either confirmed or reported failed.
// Exit code 1 when any check failed.
//
//   bench_soak [--exchanges N] [--timeout MS] [--fault-percent P] [--seed N]

#include "BenchFigures.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/MeterServer.h"
#include "support/ForwardingChannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTime>
#include <QTimer>

using namespace kelvar;
using link::Protocol;

namespace {

// Passes everything to the real channel and notes when each request starts
// on the line: the "Rs-485" address byte, or the whole "MODBUS" frame.
class StampChannel : public test::ForwardingChannel
{
public:
    explicit StampChannel(link::SerialChannel &inner)
        : ForwardingChannel(inner)
    {
        connect(&m_inner, &SerialChannel::bytesArrived, this, &SerialChannel::bytesArrived);
        clock.start();
        // A heartbeat every 2 ms: its longest hole within a stalled gap
        // tells a thread that did not run (a busy machine) from an engine
        // that ran and did not send.
        m_heartbeat.setTimerType(Qt::PreciseTimer);
        connect(&m_heartbeat, &QTimer::timeout, this, [this] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (m_lastBeatUs >= 0)
                m_longestHoleUs = std::max(m_longestHoleUs, now - m_lastBeatUs);
            m_lastBeatUs = now;
        });
        m_heartbeat.start(2);
    }
    bool modbus = false;
    QElapsedTimer clock;
    qint64 lastStartUs = -1;
    qint64 longestGapUs = 0;
    int gapsOver = 0;
    int gapsOverUnexplained = 0; // over the limit even without the time the event loop stood still
    qint64 gapLimitUs = 0;
    // The protocol view's last lines (with the byte trace), and for each
    // stall the lines that led to it.
    QStringList recentLines;
    QStringList stallReports;

    void addLine(const QString &line)
    {
        recentLines << line;
        if (recentLines.size() > 24)
            recentLines.removeFirst();
    }

    bool writeByte(quint8 byte) override
    {
        requestStarts();
        return m_inner.writeByte(byte);
    }
    bool write(const QByteArray &bytes) override
    {
        if (modbus)
            requestStarts();
        return m_inner.write(bytes);
    }

private:
    void requestStarts()
    {
        const qint64 now = clock.nsecsElapsed() / 1000;
        if (lastStartUs >= 0) {
            const qint64 gap = now - lastStartUs;
            longestGapUs = std::max(longestGapUs, gap);
            if (gap > gapLimitUs) {
                ++gapsOver;
                const qint64 waitedUs = runQueueWaitUs() - m_waitedAtStartUs;
                // While the event loop stood still no timer of the engine
                // could fire either: that time is the machine's, not the engine's.
                if (gap - m_longestHoleUs > gapLimitUs)
                    ++gapsOverUnexplained;
                if (stallReports.size() < 5)
                    stallReports << QStringLiteral("gap %1 ms before the request sent at %2; in it the thread's "
                                                   "event loop stood still for up to %3 ms and the thread waited "
                                                   "%4 ms for a CPU; after:\n    %5")
                                        .arg(gap / 1000.0)
                                        .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")))
                                        .arg(m_longestHoleUs / 1000.0)
                                        .arg(waitedUs / 1000.0)
                                        .arg(recentLines.join(QStringLiteral("\n    ")));
            }
        }
        lastStartUs = now;
        m_longestHoleUs = 0;
        m_waitedAtStartUs = runQueueWaitUs();
    }
    // How long this thread has been ready to run without a CPU to run on, in
    // all (Linux's scheduler statistics; 0 where there are none).
    static qint64 runQueueWaitUs()
    {
        QFile file(QStringLiteral("/proc/thread-self/schedstat"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return file.readAll().split(' ').value(1).toLongLong() / 1000;
    }
    QTimer m_heartbeat;
    qint64 m_lastBeatUs = -1;
    qint64 m_longestHoleUs = 0;
    qint64 m_waitedAtStartUs = 0;
};

enum class Fault { Silence, Garbage, Split, Late, BadCrc, ErrorCode, OtherFunction, Count };
const char *const FaultNames[] = {"silence", "garbage", "split", "late", "bad CRC", "error code", "other function"};

struct Result {
    int exchanges = 0;
    int misattributed = 0;
    int stalls = 0;        // gaps over the limit
    int unexplainedStalls = 0; // ... even without the time the engine thread's event loop stood still
    qint64 longestGapUs = 0;
    qint64 gapLimitUs = 0;
    bool finished = false; // the run reached its count (the queue never stuck)
    int faults[int(Fault::Count)] = {};
    int writesStarted = 0;
    int writesConfirmed = 0;
    int writesFailed = 0;
    QStringList statistics;
    QStringList stallReports;
    sim::ReplyTally tally;
};

Result soak(Protocol protocol, int exchanges, int timeoutMs, int faultPercent, quint32 seed)
{
    QRandomGenerator random(seed);
    sim::MeterServer meter;
    meter.updateState([&](sim::MeterState &s) {
        s.address = 1;
        s.protocol = protocol;
        s.baudIndex = 3;
        s.accessTimeoutSec = 0; // the writes need the password once
    });
    QString error;
    if (!meter.start(&error))
        qFatal("simulated meter: %s", qPrintable(error));

    link::QSerialPortChannel port;
    StampChannel channel(port);
    channel.modbus = protocol == Protocol::Modbus;
    link::ExchangeEngine engine(&channel);
    meter::ResponseDispatcher dispatcher(engine);
    engine.setPortName(meter.devicePath());
    engine.setProtocol(protocol);
    engine.setAddress(1);
    engine.setBaudIndex(3);
    engine.setTimeout(timeoutMs);
    engine.setRequestPause(0);
    channel.gapLimitUs = (timeoutMs + engine.sendInterval() + 10) * 1000LL;

    Result r;
    r.gapLimitUs = channel.gapLimitUs;
    int journalIndex = 0;
    bool stopping = false;
    QElapsedTimer sinceExchange;
    sinceExchange.start();

    const auto finish = [&] {
        if (engine.SettingsWriteActive())
            return; // let the write end first
        r.finished = true;
        engine.ActionDisconnectExecute();
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    };
    // Every exchange's end: choose the next reply's fault and keep work queued.
    const auto exchangeEnded = [&] {
        sinceExchange.start();
        if (!engine.isConnected())
            return;
        if (++r.exchanges >= exchanges)
            stopping = true;
        if (stopping) {
            finish();
            return;
        }
        sim::Faults f;
        if (int(random.bounded(100)) < faultPercent) {
            const auto fault = Fault(random.bounded(int(Fault::Count)));
            ++r.faults[int(fault)];
            f.shots = 1;
            switch (fault) {
            case Fault::Silence: f.silentReply = 1; break;
            case Fault::Garbage:
                for (int i = 0, n = 1 + int(random.bounded(4)); i < n; ++i)
                    f.garbage.append(char(random.bounded(256)));
                break;
            case Fault::Split: f.pieces = 2 + int(random.bounded(3)); f.pieceGapMs = 3; break;
            case Fault::Late: f.delayMs = timeoutMs + 30; break;
            case Fault::BadCrc: f.corruptCrc = true; break;
            case Fault::ErrorCode: f.errorFunction = -1; f.errorCode = 1 + int(random.bounded(6)); break;
            case Fault::OtherFunction: f.replyFunction = link::fn::ReadHoliday; break;
            case Fault::Count: break;
            }
        }
        meter.setFaults(f);
        // A settings write now and then; journal reads otherwise. Nothing is
        // queued behind a pending write: it completes when the queue runs empty.
        if (engine.queue().size() < 3 && !engine.SettingsWriteActive()) {
            if (!engine.SettingsWriteActive() && random.bounded(100) == 0) {
                engine.AddCommand(link::passwordRequest(sim::DefaultPassword));
                engine.AddCommand(link::writeDisplayRequest(quint8(0x0D | random.bounded(2) << 1)));
                engine.beginWriteBatch(link::WriteBatch::Settings);
                ++r.writesStarted;
            } else {
                engine.AddCommand(link::readSettingsJournalRequest(quint8(journalIndex++ % 256)));
            }
        }
    };

    QList<int> codes;
    for (int code = 0; code < 128; ++code)
        if (link::isKnownCommand(code))
            codes << code;
    dispatcher.registerOwner(codes, [&](const QByteArray &response, const QByteArray &request) {
        // The reply must answer this very request: the same function code,
        // and for a journal read the same index.
        const bool journal = quint8(request[0]) == link::fn::ReadSettingsJournal;
        if (response[0] != request[0] || (journal && (response.size() < 3 || response[2] != request[2])))
            ++r.misattributed;
    });
    QObject::connect(&dispatcher, &meter::ResponseDispatcher::responseAccepted, [&] {
        QTimer::singleShot(0, qApp, exchangeEnded);
    });
    QObject::connect(&dispatcher, &meter::ResponseDispatcher::responseFailed, [&] {
        QTimer::singleShot(0, qApp, exchangeEnded);
    });
    engine.setMasterMode(true); // the byte trace, for the report of a stall
    QObject::connect(&engine, &link::ExchangeEngine::protocolLine, [&](const QString &line) {
        channel.addLine(line);
        if (line.endsWith(link::ExchangeEngine::TimeoutText))
            QTimer::singleShot(0, qApp, exchangeEnded);
    });
    QObject::connect(&engine, &link::ExchangeEngine::settingsWriteCompleted, [&] { ++r.writesConfirmed; });
    QObject::connect(&engine, &link::ExchangeEngine::writeFailed, [&] { ++r.writesFailed; });

    // The queue must keep moving: an exchange ends within its time-out.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (sinceExchange.elapsed() > 5 * timeoutMs + 1000) {
            engine.ActionDisconnectExecute();
            QCoreApplication::quit();
        } else if (stopping) {
            finish();
        }
    });
    watchdog.start(timeoutMs);

    if (!engine.ActionConnectExecute())
        qFatal("cannot open %s", qPrintable(meter.devicePath()));
    QCoreApplication::exec();
    // The failure message of a write is delivered from the event loop.
    QCoreApplication::processEvents();
    r.stalls = channel.gapsOver;
    r.unexplainedStalls = channel.gapsOverUnexplained;
    r.longestGapUs = channel.longestGapUs;
    r.stallReports = channel.stallReports;
    r.statistics = engine.statistics().report();
    r.tally = meter.tally();
    meter.stop();
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"exchanges", "Exchanges per protocol type.", "N", "10000"});
    parser.addOption({"timeout", "Response time-out, ms.", "MS", "200"});
    parser.addOption({"fault-percent", "Share of faulted replies, percent.", "P", "10"});
    parser.addOption({"seed", "Seed of the fault choice.", "N", "517"});
    parser.process(app);
    const int exchanges = qMax(1, parser.value("exchanges").toInt());
    const int timeout = qBound(50, parser.value("timeout").toInt(), 30000);
    const int percent = qBound(0, parser.value("fault-percent").toInt(), 100);
    const quint32 seed = parser.value("seed").toUInt();

    QTextStream out(stdout);
    out << bench::startedLine() << ", seed " << seed << "\n";
    bool sound = true;
    for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
        QElapsedTimer clock;
        clock.start();
        const Result r = soak(protocol, exchanges, timeout, percent, seed);
        const bool writesAccounted = r.writesStarted == r.writesConfirmed + r.writesFailed;
        const bool ok = r.finished && r.misattributed == 0 && r.stalls == 0 && writesAccounted;
        sound = sound && ok;
        out << (protocol == Protocol::Rs485 ? "Rs-485" : "MODBUS") << ": " << r.exchanges << " exchanges in "
            << clock.elapsed() / 1000.0 << " s, time-out " << timeout << " ms, pause 0\n";
        int faulted = 0;
        QStringList faults;
        for (int k = 0; k < int(Fault::Count); ++k) {
            faulted += r.faults[k];
            faults << QStringLiteral("%1 %2").arg(FaultNames[k]).arg(r.faults[k]);
        }
        out << "  faulted replies: " << faulted << " (" << faults.join(", ") << ")\n";
        out << "  meter: " << r.tally.requests << " requests, " << r.tally.answered << " answered intact, "
            << r.tally.silenced << " silenced, " << r.tally.corruptCrc << " bad CRC, " << r.tally.otherFunction
            << " other function\n";
        for (const QString &line : r.statistics)
            if (!line.startsWith(QLatin1String("  ")) && !line.endsWith(QLatin1Char(':')))
                out << "  engine: " << line << '\n';
        out << "  misattributed replies: " << r.misattributed << '\n';
        out << "  stalls (gap over " << r.gapLimitUs / 1000.0 << " ms): " << r.stalls << ", longest gap "
            << r.longestGapUs / 1000.0 << " ms; " << r.unexplainedStalls
            << " of the stalls remain when the time the thread's event loop stood still is taken off the gap\n";
        for (const QString &report : r.stallReports)
            out << "  stall: " << report << '\n';
        out << "  queue recovered every time: " << (r.finished ? "yes" : "NO (the exchanges stopped)") << '\n';
        out << "  settings writes: " << r.writesStarted << " started, " << r.writesConfirmed << " confirmed, "
            << r.writesFailed << " reported failed" << (writesAccounted ? "" : "  VIOLATION") << '\n';
        out << "  " << (ok ? "OK" : "VIOLATIONS") << ", load average " << bench::loadAverage() << '\n';
        out.flush();
    }
    return sound ? 0 : 1;
}
