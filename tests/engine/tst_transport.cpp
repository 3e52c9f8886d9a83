// The transport on its own and the session's probes, over real
// pseudo-terminals against simulated meters: two transports running side by
// side in one thread, each with its own meter, protocol type and pause, and a
// bus scan by probes that leaves the operator's address and the time-out
// count alone.

#include "EngineTest.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "link/Transport.h"
#include "metersim/MeterServer.h"
#include "support/MeterStart.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvar::link;
using kelvar::sim::MeterServer;
using kelvar::sim::MeterState;
using kelvar::test::addProtocolRows;

namespace {

constexpr int Patience = 20000;

// A transport against a meter of its own; it takes every response it gets
// and keeps the requests coming until it has sent `count`.
struct Line {
    MeterServer meter;
    QSerialPortChannel channel;
    Transport transport{&channel};
    QList<QByteArray> responses;

    Line(Protocol protocol, quint8 address, int pause, int count)
    {
        if (!kelvar::test::startMeter(meter, [&](MeterState &s) {
                s.address = address;
                s.protocol = protocol;
            }))
            qFatal("the simulated meter did not start");
        transport.setPortName(meter.devicePath());
        transport.setProtocol(protocol);
        transport.setAddress(address);
        transport.setRequestPause(pause);
        QObject::connect(&transport, &Transport::linkReady, [this] { transport.AddCommand(PollRequest(0)); });
        QObject::connect(&transport, &Transport::responseArrived, [this](const QByteArray &response) {
            responses << response;
            transport.stopExchange();
            transport.RemoveCommand();
        });
        QObject::connect(&transport, &Transport::queueRanEmpty, [this, count] {
            if (responses.size() < count)
                transport.AddCommand(PollRequest(int(responses.size())));
        });
    }
    ~Line()
    {
        transport.close();
        meter.stop();
    }
};

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT
private slots:
    // Each transport talks only to its own meter, in its own protocol type,
    // with its own statistics, while the other runs.
    void twoTransportsSideBySide()
    {
        constexpr int Count = 40;
        Line rs485(Protocol::Rs485, 5, 0, Count);
        Line modbus(Protocol::Modbus, 9, 50, Count);
        QVERIFY(rs485.transport.open());
        QVERIFY(modbus.transport.open());
        QTRY_VERIFY_WITH_TIMEOUT(rs485.responses.size() == Count && modbus.responses.size() == Count, Patience);
        for (Line *line : {&rs485, &modbus}) {
            const QList<QByteArray> received = line->meter.receivedRequests();
            QCOMPARE(received.size(), Count);
            for (int i = 0; i < Count; ++i) {
                QCOMPARE(quint8(received[i][0]), quint8(PollRequest(i)[0]));
                QCOMPARE(line->responses[i][0], received[i][0]);
            }
            QCOMPARE(line->transport.statistics().requestsSent(), Count);
            QCOMPARE(line->transport.statistics().repliesAccepted(), Count);
            QCOMPARE(line->transport.statistics().timeouts(), 0);
        }
    }

    // Polling paused, probes to addresses 1..8 find the two meters on the
    // bus; the silent addresses time out without a protocol line, without
    // counting towards the six in a row and without touching the operator's
    // address and time-out. Resuming brings the poll back.
    void probesScanTheBus_data() { addProtocolRows(); }
    void probesScanTheBus()
    {
        QFETCH(Protocol, protocol);
        MeterServer meter;
        for (quint8 address : {3, 7}) {
            MeterState state = meter.state();
            state.address = address;
            state.protocol = protocol;
            if (address == 3)
                meter.setState(state);
            else
                meter.addMeter(state);
        }
        QVERIFY(kelvar::test::startMeter(meter));
        QSerialPortChannel channel;
        ExchangeEngine engine(&channel);
        engine.setPortName(meter.devicePath());
        engine.setProtocol(protocol);
        engine.setAddress(3);
        engine.setTimeout(400);
        engine.setRequestPause(0);
        QStringList lines;
        connect(&engine, &ExchangeEngine::protocolLine, this, [&](const QString &line) { lines << line; });
        QVERIFY(engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(engine.statistics().repliesAccepted() > 0, Patience);

        engine.setPollPaused(true);
        QMap<int, QByteArray> found;
        QSignalSpy finished(&engine, &ExchangeEngine::probeFinished);
        for (int address = 1; address <= 8; ++address)
            engine.probe(address, request(fn::ReadVersion), 150);
        QVERIFY(kelvar::test::waitForSignals(finished, 8, Patience));
        for (const QList<QVariant> &args : std::as_const(finished))
            found[args[0].toInt()] = args[1].toByteArray();
        QCOMPARE(found.keys(), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
        for (int address = 1; address <= 8; ++address) {
            const bool there = address == 3 || address == 7;
            QCOMPARE(!found[address].isEmpty(), there);
            if (there)
                QCOMPARE(quint8(found[address][0]), quint8(fn::ReadVersion));
        }
        QCOMPARE(lines.filter(ExchangeEngine::TimeoutText).size(), 0);
        QCOMPARE(engine.TimeoutCount(), 0);
        QCOMPARE(engine.address(), 3);
        QCOMPARE(engine.timeout(), 400);
        QVERIFY(engine.queue().isEmpty());

        const int accepted = engine.statistics().repliesAccepted();
        engine.setPollPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(engine.statistics().repliesAccepted() > accepted + 2, Patience);
        engine.ActionDisconnectExecute();
        meter.stop();
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
