// The transport on its own and the session lending its line, over real
// pseudo-terminals against simulated meters: two transports running side by
// side in one thread, each with its own meter, protocol type and pause, and a
// probe of another meter on the bus through the session's lent line.

#include "EngineTest.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/LineProbe.h"
#include "link/QSerialPortChannel.h"
#include "link/Transport.h"
#include "metersim/MeterServer.h"
#include "support/MeterStart.h"

#include <QSignalSpy>
#include <QtTest>

#include <optional>

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

    // The session lends its open line to a probe of another meter on the
    // bus: while lent it neither sends nor reads (the other meter's reply
    // reaches the probe whole) and counts no time-out; when the line comes
    // back the meter information is read afresh and the poll resumes at the
    // link's own address.
    void sessionLendsItsLine_data() { addProtocolRows(); }
    void sessionLendsItsLine()
    {
        QFETCH(Protocol, protocol);
        MeterServer meter;
        QVERIFY(kelvar::test::startBus(meter, {3, 7}, [protocol](MeterState &s, kelvar::sim::Faults &) {
            s.protocol = protocol;
        }));
        QSerialPortChannel channel;
        ExchangeEngine engine(&channel);
        engine.setPortName(meter.devicePath());
        engine.setProtocol(protocol);
        engine.setAddress(3);
        engine.setRequestPause(0);
        QVERIFY(engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(engine.statistics().repliesAccepted() > 0, Patience);

        SerialChannel *line = engine.lendLine();
        QVERIFY(line && line->isOpen());
        QVERIFY(!engine.lendLine());
        const int sent = engine.statistics().requestsSent();
        QSignalSpy reset(&engine, &ExchangeEngine::ResetMeterInfo);
        LineProbe probe(line, engine.lineFormat());
        probe.setWaitUs(150000);
        std::optional<ProbeAnswer> answer;
        connect(&probe, &LineProbe::answered, this, [&answer](const ProbeAnswer &a) { answer = a; });
        probe.send(7, request(fn::ReadVersion));
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), Patience);
        QCOMPARE(answer->outcome, ProbeAnswer::Outcome::Reply);
        QCOMPARE(quint8(answer->response[0]), quint8(fn::ReadVersion));
        QCOMPARE(engine.statistics().requestsSent(), sent);
        QCOMPARE(engine.TimeoutCount(), 0);

        engine.takeLineBack();
        QCOMPARE(reset.size(), 1);
        const int accepted = engine.statistics().repliesAccepted();
        QTRY_VERIFY_WITH_TIMEOUT(engine.statistics().repliesAccepted() > accepted + 2, Patience);
        QCOMPARE(engine.address(), 3);
        QCOMPARE(meter.receivedRequests(1).size(), 1);
        engine.ActionDisconnectExecute();
        meter.stop();
    }
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
