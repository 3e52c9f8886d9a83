// The engine's pacing and its behaviour on a bad line, over a real
// pseudo-terminal against the simulated meter: the request pause and the
// silent interval the engine leaves on the line, the bounded resends after error 3,
// the statistics against the meter's own counts, and a lost adapter.

#include "EngineTest.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/MeterServer.h"
#include "support/ForwardingChannel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvar::link;
using kelvar::meter::ResponseDispatcher;
using kelvar::sim::Faults;
using kelvar::sim::MeterServer;
using kelvar::sim::MeterState;
using kelvar::sim::ReplyTally;
using kelvar::test::addProtocolRows;
using kelvar::test::protocolName;

namespace {

constexpr int Timeout = 300;
constexpr int Patience = 20000;

// The engine's side of the line: the quiet time before each request, from
// the last bytes the engine took in to the first byte of the request (the
// "Rs-485" address byte). Both are noted on the engine's thread in the order
// the engine acted, so the figure is the engine's own however late a busy
// machine runs the simulated meter's thread.
class LineChannel : public kelvar::test::ForwardingChannel
{
public:
    LineChannel(SerialChannel &inner, Protocol protocol)
        : ForwardingChannel(inner)
        , m_addressFirst(protocol == Protocol::Rs485)
    {
        m_clock.start();
        connect(&m_inner, &SerialChannel::bytesArrived, this, [this] {
            m_arriving = true;
            emit bytesArrived();
            m_arriving = false;
        });
    }
    QList<qint64> gapsBeforeRequests; // microseconds

    QByteArray readAll() override
    {
        const QByteArray bytes = m_inner.readAll();
        // Bytes found only when the engine clears the port before sending
        // are discarded by it, not waited on.
        if (!bytes.isEmpty() && m_arriving)
            m_lastInUs = m_clock.nsecsElapsed() / 1000;
        return bytes;
    }
    bool writeByte(quint8 byte) override
    {
        if (m_addressFirst)
            requestStarts();
        return m_inner.writeByte(byte);
    }
    bool write(const QByteArray &bytes) override
    {
        if (!m_addressFirst)
            requestStarts();
        return m_inner.write(bytes);
    }

private:
    void requestStarts()
    {
        if (m_lastInUs >= 0)
            gapsBeforeRequests << m_clock.nsecsElapsed() / 1000 - m_lastInUs;
    }
    bool m_addressFirst;
    bool m_arriving = false;
    qint64 m_lastInUs = -1;
    QElapsedTimer m_clock;
};

struct Rig {
    MeterServer meter;
    QSerialPortChannel port;
    LineChannel channel;
    ExchangeEngine engine{&channel};
    ResponseDispatcher dispatcher{engine};
    QStringList lines;
    int accepted = 0;
    // Run with every accepted response (after it was counted).
    std::function<void(const QByteArray &request)> onAccepted;

    Rig(Protocol protocol, int baudIndex = 0)
        : channel(port, protocol)
    {
        meter.updateState([&](MeterState &s) {
            s.address = 1;
            s.protocol = protocol;
            s.baudIndex = baudIndex;
        });
        QString error;
        if (!meter.start(&error))
            qFatal("simulated meter: %s", qPrintable(error));
        engine.setPortName(meter.devicePath());
        engine.setProtocol(protocol);
        engine.setAddress(1);
        engine.setBaudIndex(baudIndex);
        engine.setTimeout(Timeout);
        dispatcher.registerOwner(kelvar::test::knownCodes(), [this](const QByteArray &, const QByteArray &request) {
            ++accepted;
            if (onAccepted)
                onAccepted(request);
        });
        QObject::connect(&engine, &ExchangeEngine::protocolLine, [this](const QString &line) { lines << line; });
    }
    ~Rig()
    {
        engine.ActionDisconnectExecute();
        meter.stop();
    }
    QList<int> meterCodes() const
    {
        QList<int> codes;
        for (const QByteArray &frame : meter.receivedRequests())
            codes << quint8(frame[0]);
        return codes;
    }
};

} // namespace

class TestEngineSturdy : public QObject
{
    Q_OBJECT
private slots:
    // Below 50 ms the pause replaces the send tick, but the meter never sees
    // a request sooner than the silent interval after its reply, and the
    // poll cycle keeps its order.
    void requestSpacing_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("minGapUs");
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            // 3.5 characters of 11 bits.
            QTest::addRow("%s 4800 pause 0", name) << protocol << 0 << 0 << 8021;
            QTest::addRow("%s 19200 pause 0", name) << protocol << 2 << 0 << 2006;
            // A fixed 1.75 ms above 19200 baud.
            QTest::addRow("%s 38400 pause 0", name) << protocol << 3 << 0 << 1750;
            QTest::addRow("%s 38400 pause 7", name) << protocol << 3 << 7 << 7000;
        }
    }
    void requestSpacing()
    {
        QFETCH(Protocol, protocol);
        QFETCH(int, baudIndex);
        QFETCH(int, pause);
        QFETCH(int, minGapUs);
        Rig rig(protocol, baudIndex);
        rig.engine.setRequestPause(pause);
        QSignalSpy accepted(&rig.dispatcher, &ResponseDispatcher::responseAccepted);
        QVERIFY(rig.engine.ActionConnectExecute());
        const QList<int> expected{0, 1, 0, 4, 8, 12, 13, 15, 17, 19, 30, 34, 43, 44, 45, 48, 78, 1, 0, 4};
        QVERIFY(kelvar::test::waitForSignals(accepted, expected.size(), Patience));
        rig.engine.ActionDisconnectExecute();
        QCOMPARE(rig.meterCodes().mid(0, expected.size()), expected);
        const QList<qint64> gaps = rig.channel.gapsBeforeRequests;
        QVERIFY(gaps.size() >= expected.size() - 2);
        const qint64 shortest = *std::min_element(gaps.begin(), gaps.end());
        QVERIFY2(shortest >= minGapUs, qPrintable(QStringLiteral("shortest gap %1 us").arg(shortest)));
        QVERIFY(rig.lines.isEmpty()); // no time-out, no error
    }

    // A meter that answers error 3 to every try of a request gets it three
    // times; then the request fails as any error reply does: one line says
    // so, the pending write is reported failed and polling moves on.
    void boundedResends_data() { addProtocolRows(); }
    void boundedResends()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol);
        rig.engine.setRequestPause(0);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted > 2, Patience);
        Faults f;
        f.errorFunction = fn::ReadHoliday;
        f.errorCode = 3;
        rig.meter.setFaults(f);
        QSignalSpy failed(&rig.engine, &ExchangeEngine::writeFailed);
        rig.engine.AddCommand(readHolidayRequest(4));
        rig.engine.AddCommand(readHolidayRequest(5));
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Schedule));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, Patience);
        QCOMPARE(failed.first().first().toString(), ExchangeEngine::ScheduleWriteFailedText);
        const int accepted = rig.accepted;
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted >= accepted + 3, Patience); // polling goes on
        QList<int> holidays;
        for (const QByteArray &frame : rig.meter.receivedRequests())
            if (quint8(frame[0]) == fn::ReadHoliday)
                holidays << quint8(frame[2]);
        QCOMPARE(holidays, (QList<int>{4, 4, 4}));
        QCOMPARE(rig.lines.filter(errorCodeMessage(3)).size(), 3);
        QCOMPARE(rig.lines.count(ExchangeEngine::triesExhaustedLine(fn::ReadHoliday)), 1);
        QCOMPARE(rig.engine.statistics().errorReplies().value(3), 3);
    }

    // After a run with every kind of fault the meter can make, the engine's
    // statistics agree with the meter's own record of what it sent.
    void statisticsMatchMeter_data() { addProtocolRows(); }
    void statisticsMatchMeter()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol);
        rig.engine.setRequestPause(0);
        constexpr int Exchanges = 60;
        // Every accepted reply sets up the fault for the next request.
        rig.onAccepted = [&](const QByteArray &) {
            Faults f;
            f.shots = 1;
            switch (rig.accepted % 6) {
            case 1: f.errorFunction = -1; f.errorCode = 1 + rig.accepted % 5; break; // codes 1..5 in turn
            case 2: f.corruptCrc = true; break;
            case 3: f.silentReply = 1; break;
            case 4: f.replyFunction = fn::ReadHoliday; break; // a code never asked for here
            default: break;
            }
            rig.meter.setFaults(f);
            if (rig.accepted == Exchanges)
                rig.engine.ActionDisconnectExecute();
        };
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.engine.isConnected(), 4 * Patience);
        const ReplyTally tally = rig.meter.tally();
        const LinkStatistics &stats = rig.engine.statistics();
        QCOMPARE(stats.requestsSent(), tally.requests);
        QCOMPARE(stats.repliesAccepted(), tally.answered);
        QCOMPARE(stats.errorReplies(), tally.errors);
        QCOMPARE(stats.badCrcReplies(), tally.corruptCrc);
        QCOMPARE(stats.wrongReplies(), tally.otherFunction);
        // A garbled reply and (in "MODBUS") one for another function end by the time-out.
        const int unanswered = tally.silenced + tally.corruptCrc + (protocol == Protocol::Modbus ? tally.otherFunction : 0);
        QCOMPARE(stats.timeouts(), unanswered);
        QVERIFY(tally.silenced > 0 && tally.corruptCrc > 0 && tally.otherFunction > 0 && tally.errors.size() == 5);
        // Every accepted reply has a response time, per function code.
        int timed = 0;
        for (const LinkStatistics::Times &t : stats.responseTimes()) {
            timed += t.count;
            QVERIFY(t.minUs > 0 && t.minUs <= t.medianUs && t.medianUs <= t.maxUs);
        }
        QCOMPARE(timed, stats.repliesAccepted());
    }

    // The adapter pulled out and plugged in again (the meter's device replaced
    // at the same path): one line and a status message, no port error box, a
    // write in flight reported failed, and polling back from the start of the
    // cycle within two seconds.
    void lostAdapter_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<bool>("writing");
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            QTest::addRow("%s polling", protocolName(protocol)) << protocol << false;
            QTest::addRow("%s settings write", protocolName(protocol)) << protocol << true;
        }
    }
    void lostAdapter()
    {
        QFETCH(Protocol, protocol);
        QFETCH(bool, writing);
        Rig rig(protocol);
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyKelvar");
        QVERIFY(rig.meter.createLink(path));
        rig.engine.setPortName(path);
        rig.engine.setRequestPause(0);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted > 3, Patience);
        QSignalSpy failed(&rig.engine, &ExchangeEngine::writeFailed);
        QSignalSpy portErrors(&rig.engine, &ExchangeEngine::portError);
        QSignalSpy lost(&rig.engine, &ExchangeEngine::portLostChanged);
        if (writing) {
            Faults slow;
            slow.delayMs = 100;
            rig.meter.setFaults(slow);
            rig.engine.AddCommand(passwordRequest(kelvar::sim::DefaultPassword));
            rig.engine.AddCommand(writeDisplayRequest(0x0F));
            QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));
            QTRY_VERIFY_WITH_TIMEOUT(rig.meterCodes().contains(fn::Password), Patience);
        }
        QVERIFY(rig.meter.replaceDevice());
        rig.meter.setFaults({});
        const int seen = rig.meter.receivedRequests().size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.meter.receivedRequests().size() >= seen + 3, 2000);
        QCOMPARE(rig.meterCodes().mid(seen, 3), (QList<int>{fn::ReadVersion, fn::ReadNumber, fn::ReadVersion}));
        QCOMPARE(lost.size(), 2);
        QCOMPARE(lost.at(0).at(0).toBool(), true);
        QCOMPARE(lost.at(1).at(0).toBool(), false);
        QCOMPARE(rig.lines, QStringList{rig.lines.value(0)});
        QVERIFY(rig.lines.value(0).endsWith(ExchangeEngine::portLostText(path)));
        QCOMPARE(portErrors.size(), 0);
        QTRY_COMPARE(failed.size(), writing ? 1 : 0);
        if (writing)
            QCOMPARE(failed.first().first().toString(), ExchangeEngine::SettingsWriteFailedText);
        QVERIFY(!rig.meterCodes().contains(fn::WriteDisplay));
        QVERIFY(rig.engine.isConnected() && !rig.engine.portLost());
    }

    // "Разорвать" while the port is lost stops the reopening.
    void disconnectWhileLost()
    {
        Rig rig(Protocol::Rs485);
        QTemporaryDir dir;
        const QString path = dir.filePath("ttyKelvar");
        QVERIFY(rig.meter.createLink(path));
        rig.engine.setPortName(path);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted > 0, Patience);
        QVERIFY(QFile::remove(path)); // the adapter stays away
        QVERIFY(rig.meter.replaceDevice());
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine.portLost(), Patience);
        QSignalSpy lost(&rig.engine, &ExchangeEngine::portLostChanged);
        QVERIFY(rig.engine.ActionDisconnectExecute());
        QCOMPARE(lost.size(), 1);
        QVERIFY(!rig.engine.portLost() && !rig.engine.isConnected());
        QVERIFY(rig.meter.createLink(path)); // back: nobody opens it
        const int seen = rig.meter.receivedRequests().size();
        QVERIFY(!lost.wait(2 * ExchangeEngine::ReopenInterval)); // no "restored"
        QCOMPARE(rig.meter.receivedRequests().size(), seen);
        QVERIFY(!rig.channel.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestEngineSturdy)
#include "tst_engine_sturdy.moc"
