// The exchange engine and the response dispatcher over an in-memory channel:
// protocol-view lines, the character format of each send, the failure paths
// (aborted batches, unowned codes, late replies), the link switch and the
// address search.

#include "FakeChannel.h"
#include "EngineTest.h"
#include "TestUtil.h"
#include "link/Catalogue.h"
#include "app/EnginePresenter.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/ResponseDispatcher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QtTest>

using namespace kelvar::link;
using kelvar::app::EnginePresenter;
using kelvar::app::Indicator;
using kelvar::meter::ResponseDispatcher;
using kelvar::test::FakeChannel;
using kelvar::test::addProtocolRows;
using kelvar::test::hex;
using kelvar::test::hexText;
using kelvar::test::protocolName;

namespace {

constexpr int Timeout = 100;

// An engine over a fake channel with a dispatcher whose owners record every
// accepted response.
struct Rig {
    FakeChannel channel;
    ExchangeEngine engine{&channel};
    EnginePresenter presenter{engine};
    ResponseDispatcher dispatcher{engine};
    QList<QByteArray> accepted;
    QStringList lines;

    Rig(Protocol protocol, quint8 address, bool meter = true)
    {
        engine.setProtocol(protocol);
        engine.setAddress(address);
        engine.setTimeout(Timeout);
        if (meter)
            channel.responder = kelvar::test::simpleMeter(protocol, address);
        dispatcher.registerOwner(kelvar::test::knownCodes(), [this](const QByteArray &response, const QByteArray &) {
            accepted << response;
        });
        QObject::connect(&engine, &ExchangeEngine::protocolLine, [this](const QString &line) { lines << line; });
    }
    int timeouts() const { return lines.filter(ExchangeEngine::TimeoutText).size(); }
    QList<int> acceptedCodes() const
    {
        QList<int> codes;
        for (const QByteArray &r : accepted)
            codes << quint8(r[0]);
        return codes;
    }
};

} // namespace

class TestEngineLogic : public QObject
{
    Q_OBJECT
private slots:
    void protocolLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        const QTime t(9, 5, 7, 42);
        QTest::newRow("address") << ExchangeEngine::addressLine(t, 0x0A) << "09:05:07.042 Send 0A";
        QTest::newRow("frame") << ExchangeEngine::sendLine(t, hex("05 00 02 e0 00"))
                               << "09:05:07.042 Send 05 00 02 E0 00 ";
        // Where production mode turns the trace on, a password request shows
        // neither its password nor the CRC that would give it back.
        const auto hidden = [&](const char *frame, Protocol protocol) {
            return ExchangeEngine::sendLine(t, hex(frame), passwordBytesAt(hex(frame), protocol));
        };
        QTest::newRow("password hidden") << hidden("14 04 67 12 a1 b2", Protocol::Rs485)
                                         << "09:05:07.042 Send 14 04 ** ** ** ** ";
        QTest::newRow("MODBUS password hidden") << hidden("03 14 04 67 12 a1 b2", Protocol::Modbus)
                                                << "09:05:07.042 Send 03 14 04 ** ** ** ** ";
        QTest::newRow("address 20 shown") << hidden("14 05 0a 00 00 00 00 00 00 00 00 c1 c2", Protocol::Modbus)
                                          << "09:05:07.042 Send 14 05 0A 00 00 00 00 00 00 00 00 C1 C2 ";
        QTest::newRow("received") << ExchangeEngine::receivedLine(t, hex("ff 0a"))
                                  << "09:05:07.042 Received: FF 0A ";
        QTest::newRow("time-out") << ExchangeEngine::timeoutLine(t) << "09:05:07:042 Timeout.";
    }
    void protocolLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(line, expected);
    }

    void enumeratePorts_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("openable");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("listed ports win") << QStringList{"COM3", "ttyUSB0"} << QStringList{"Com1"}
                                          << QStringList{"COM3", "ttyUSB0"};
        QTest::newRow("probe when none listed") << QStringList{} << QStringList{"Com2", "Com5", "Com9"}
                                                << QStringList{"Com2", "Com5"};
        QTest::newRow("nothing openable") << QStringList{} << QStringList{} << QStringList{};
    }
    void enumeratePorts()
    {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, openable);
        QFETCH(QStringList, expected);
        QStringList probed;
        const auto probe = [&](const QString &name) {
            probed << name;
            return openable.contains(name);
        };
        QCOMPARE(EnumerateSerialPorts(listed, probe), expected);
        if (listed.isEmpty())
            QCOMPARE(probed.size(), 8);
    }

    // The character format of each write: "Rs-485" sends the address at mark
    // parity and the frame at space parity, 1 stop bit; "MODBUS" uses the
    // chosen parity, with 2 stop bits only without parity.
    void characterFormat_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<int>("parityIndex");
        QTest::addColumn<QList<int>>("expected"); // parity, stop bits of each write
        QTest::newRow("Rs-485") << Protocol::Rs485 << 0
                                << QList<int>{int(Parity::Mark), 1, int(Parity::Space), 1};
        QTest::newRow("MODBUS none") << Protocol::Modbus << 0 << QList<int>{int(Parity::None), 2};
        QTest::newRow("MODBUS even") << Protocol::Modbus << 1 << QList<int>{int(Parity::Even), 1};
        QTest::newRow("MODBUS odd") << Protocol::Modbus << 2 << QList<int>{int(Parity::Odd), 1};
    }
    void characterFormat()
    {
        QFETCH(Protocol, protocol);
        QFETCH(int, parityIndex);
        QFETCH(QList<int>, expected);
        Rig rig(protocol, 7);
        rig.engine.setParityIndex(parityIndex);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(!rig.accepted.isEmpty());
        QList<int> format;
        for (int i = 0; i < expected.size() / 2; ++i)
            format << int(rig.channel.writes[i].parity) << rig.channel.writes[i].stopBits;
        QCOMPARE(format, expected);
        QCOMPARE(hexText(rig.channel.writes.first().bytes),
                 protocol == Protocol::Rs485 ? QString("07") : QString("07 00 02 41 C0"));
    }

    // A failed write batch is reported only when the queue holds nothing of it
    // any more: a message box opened from the report (a nested event loop) may
    // let the engine poll, but never send the rest of the batch.
    void abortQueueEmptiesBeforeReport_data() { addProtocolRows(); }
    void abortQueueEmptiesBeforeReport()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 3);
        const auto meter = kelvar::test::simpleMeter(protocol, 3);
        // Silent to the display write in the middle of the batch.
        rig.channel.responder = [&](const QByteArray &written, Parity parity) -> QByteArray {
            const int skip = protocol == Protocol::Modbus ? 1 : 0;
            if (written.size() > skip + 2 && quint8(written[skip]) == fn::WriteDisplay)
                return {};
            return meter(written, parity);
        };
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(!rig.accepted.isEmpty());

        QList<QByteArray> queueAtReport;
        bool flagAtReport = true;
        int writesAtReport = -1;
        QList<int> sentDuringReport;
        QSignalSpy red(&rig.presenter, &EnginePresenter::indicatorChanged);
        connect(&rig.engine, &ExchangeEngine::writeFailed, this, [&](const QString &message) {
            QCOMPARE(message, ExchangeEngine::SettingsWriteFailedText);
            queueAtReport = rig.engine.queue();
            flagAtReport = rig.engine.SettingsWriteActive();
            writesAtReport = rig.channel.writes.size();
            QEventLoop modal; // what a message box does
            QTimer::singleShot(400, &modal, &QEventLoop::quit);
            modal.exec();
            for (int i = writesAtReport; i < rig.channel.writes.size(); ++i) {
                const QByteArray &b = rig.channel.writes[i].bytes;
                const int skip = protocol == Protocol::Modbus ? 1 : 0;
                if (b.size() > skip + 2)
                    sentDuringReport << quint8(b[skip]);
            }
        });
        rig.engine.AddCommand(passwordRequest(1));
        rig.engine.AddCommand(writeDisplayRequest(0x0F));
        rig.engine.AddCommand(writeAveragingRequest(10));
        rig.engine.AddCommand(writeIntegrationRequest(30));
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));

        QTRY_VERIFY(writesAtReport >= 0);
        QVERIFY(!flagAtReport);
        for (const QByteArray &entry : queueAtReport) {
            const int code = quint8(entry[protocol == Protocol::Modbus ? 1 : 0]);
            QVERIFY2(code != fn::WriteAveraging && code != fn::WriteIntegration, qPrintable(hexText(entry)));
        }
        QVERIFY(!sentDuringReport.contains(fn::WriteAveraging));
        QVERIFY(!sentDuringReport.contains(fn::WriteIntegration));
        QVERIFY(!sentDuringReport.isEmpty()); // polling went on meanwhile
        QVERIFY(!rig.channel.sentCodes(protocol).contains(fn::WriteAveraging));
        QVERIFY(!red.isEmpty());
        QCOMPARE(red.first().first().value<Indicator>(), Indicator::Red);
    }

    // A response whose function code nobody decodes fails like a wrong
    // response in both protocol types: the queue is aborted and polling goes on.
    void unownedCodeIsWrongResponse_data() { addProtocolRows(); }
    void unownedCodeIsWrongResponse()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 1);
        rig.dispatcher.unregisterOwner({fn::ReadTime});
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(rig.acceptedCodes().contains(fn::ReadSchedule));
        QVERIFY(rig.lines.contains(WrongResponseText));
        QCOMPARE(rig.acceptedCodes().mid(0, 4), (QList<int>{0, 1, 0, 8}));
        QCOMPARE(rig.timeouts(), 0);
    }

    // A reply that arrives after its time-out is never taken for the answer
    // to the next request: whether it arrives before the next send, sits
    // unread in the port when the next request goes out, or arrives in one
    // piece with the next exchange's address echo ("Rs-485") or answer ("MODBUS").
    void lateReplyIsDropped_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("arrival");
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            for (const char *arrival : {"between", "unread", "in front"})
                QTest::addRow("%s, %s", name, arrival) << protocol << QString(arrival);
        }
    }
    void lateReplyIsDropped()
    {
        QFETCH(Protocol, protocol);
        QFETCH(QString, arrival);
        Rig rig(protocol, 2, false);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_COMPARE(rig.timeouts(), 1); // the version request went unanswered
        // A late reply that arrives with the next exchange must differ from
        // its answer in code (else nothing could tell them apart); one that
        // arrives before the next send may even carry the next request's code,
        // as in a batch of reads of one kind. Its data byte marks it.
        QByteArray late = QByteArray() + char(arrival == "in front" ? fn::ReadVersion : fn::ReadNumber) + char(3)
                          + char(0xEE);
        late = protocol == Protocol::Modbus ? AppendCrc(char(2) + late) : AppendCrc(late);
        const auto meter = kelvar::test::simpleMeter(protocol, 2);
        rig.channel.responder = meter;
        bool first = true; // lives as long as the responder that reads it
        if (arrival == "between") {
            rig.channel.deliver(late);
        } else if (arrival == "unread") {
            rig.channel.preload(late);
        } else {
            rig.channel.responder = [&](const QByteArray &written, Parity parity) {
                QByteArray reply = meter(written, parity);
                if (first && !reply.isEmpty()) {
                    first = false;
                    reply.prepend(late);
                }
                return reply;
            };
        }
        QTRY_VERIFY(rig.accepted.size() >= 3);
        // After the time-out the poll cycle goes on with code 1 and every
        // accepted response answers its own request.
        QCOMPARE(rig.acceptedCodes().mid(0, 3), (QList<int>{1, 0, 4}));
        for (const QByteArray &response : std::as_const(rig.accepted))
            QVERIFY2(!response.contains(char(0xEE)), qPrintable(hexText(response)));
        QVERIFY(!rig.lines.contains(WrongResponseText));
        QCOMPARE(rig.timeouts(), 1);
    }

    // Below the fixed tick a request starts no sooner than the pause after
    // the reply and the silent interval after the last byte that came in,
    // even a stray one arriving during the wait.
    void pacingFromLastByte_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<int>("pause");
        QTest::addColumn<bool>("stray");
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            QTest::addRow("%s pause 0", name) << protocol << 0 << false;
            QTest::addRow("%s pause 0, stray byte", name) << protocol << 0 << true;
            QTest::addRow("%s pause 12, stray byte", name) << protocol << 12 << true;
        }
    }
    void pacingFromLastByte()
    {
        QFETCH(Protocol, protocol);
        QFETCH(int, pause);
        QFETCH(bool, stray);
        const qint64 silentUs = 8021; // 3.5 characters of 11 bits at 4800 baud
        Rig rig(protocol, 2);
        rig.engine.setBaudIndex(0);
        rig.engine.setRequestPause(pause);
        // A reply cannot start before the request has left: a MODBUS
        // request of 8 characters takes 18.3 ms.
        rig.channel.replyDelayMs = 20;
        if (stray) {
            const auto meter = kelvar::test::simpleMeter(protocol, 2);
            rig.channel.responder = [&, meter](const QByteArray &written, Parity parity) {
                const QByteArray reply = meter(written, parity);
                if (reply.size() > 1) // not the address echo
                    QTimer::singleShot(rig.channel.replyDelayMs + 4, &rig.channel,
                                       [&] { rig.channel.deliver(QByteArray(1, char(0xEE))); });
                return reply;
            };
        }
        QSignalSpy accepted(&rig.dispatcher, &ResponseDispatcher::responseAccepted);
        QVERIFY(rig.engine.ActionConnectExecute());
        QVERIFY(kelvar::test::waitForSignals(accepted, 6, 5000));
        rig.engine.ActionDisconnectExecute();
        int checked = 0;
        for (const FakeChannel::Write &w : std::as_const(rig.channel.writes)) {
            const bool starts = protocol == Protocol::Modbus || w.bytes.size() == 1;
            qint64 lastByteUs = -1;
            qint64 replyUs = -1; // replies are longer than an echo or the stray byte
            for (const FakeChannel::Delivery &d : std::as_const(rig.channel.deliveries)) {
                if (d.atUs > w.atUs)
                    break;
                lastByteUs = d.atUs;
                if (d.bytes.size() > 1)
                    replyUs = d.atUs;
            }
            if (!starts || replyUs < 0)
                continue;
            ++checked;
            QVERIFY2(w.atUs - lastByteUs >= silentUs, qPrintable(QString::number(w.atUs - lastByteUs)));
            QVERIFY2(w.atUs - replyUs >= pause * 1000, qPrintable(QString::number(w.atUs - replyUs)));
        }
        QVERIFY(checked >= 5);
        QCOMPARE(rig.acceptedCodes().mid(0, 4), (QList<int>{0, 1, 0, 4})); // the version, then the poll cycle
    }

    // Disconnecting while a write batch is pending neither completes it nor
    // starts polling.
    void disconnectDuringPendingWrite_data() { addProtocolRows(); }
    void disconnectDuringPendingWrite()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 4);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(!rig.accepted.isEmpty());
        rig.channel.replyDelayMs = 30;
        QSignalSpy completed(&rig.engine, &ExchangeEngine::settingsWriteCompleted);
        QSignalSpy indicator(&rig.presenter, &EnginePresenter::indicatorChanged);
        QSignalSpy controls(&rig.engine, &ExchangeEngine::EnableControls);
        rig.engine.AddCommand(passwordRequest(1));
        rig.engine.AddCommand(writeDisplayRequest(1));
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));
        QTRY_VERIFY(rig.channel.sentCodes(protocol).contains(fn::Password));
        QVERIFY(rig.engine.ActionDisconnectExecute());
        const int writes = rig.channel.writes.size();
        QTest::qWait(300);
        QCOMPARE(rig.channel.writes.size(), writes);
        QVERIFY(rig.engine.queue().isEmpty());
        QCOMPARE(completed.size(), 0);
        QCOMPARE(indicator.size(), 0);
        QCOMPARE(controls.last().first().toBool(), false);
    }

    // Only one write batch at a time, whatever its kind: while one is pending
    // a second start is refused and the accepted replies of the batch leave
    // the setting actions off; both come back when the batch ends either way.
    void oneWriteBatchAtATime_data()
    {
        QTest::addColumn<WriteBatch>("first");
        QTest::addColumn<WriteBatch>("second");
        QTest::addColumn<bool>("fails");
        const WriteBatch kinds[] = {WriteBatch::Settings, WriteBatch::Schedule, WriteBatch::Calibration};
        const char *names[] = {"settings", "schedule", "calibration"};
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) {
                QTest::addRow("%s, then %s", names[a], names[b]) << kinds[a] << kinds[b] << (a == b);
            }
        }
    }
    void oneWriteBatchAtATime()
    {
        QFETCH(WriteBatch, first);
        QFETCH(WriteBatch, second);
        QFETCH(bool, fails);
        Rig rig(Protocol::Rs485, 4);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(!rig.accepted.isEmpty());
        if (fails)   // the meter refuses the display write: the batch ends red
            rig.channel.responder = kelvar::test::simpleMeter(Protocol::Rs485, 4, fn::WriteDisplay);
        QSignalSpy actions(&rig.presenter, &EnginePresenter::settingActionsEnabled);
        QSignalSpy ended(&rig.engine, &ExchangeEngine::writeBatchEnded);
        QVERIFY(rig.engine.beginWriteBatch(first));
        rig.engine.AddCommand(passwordRequest(1));
        rig.engine.AddCommand(writeDisplayRequest(1));
        rig.engine.AddCommand(writeIntegrationRequest(30));
        QVERIFY(rig.engine.writeBatchPending());
        QVERIFY(!rig.engine.beginWriteBatch(second));
        QCOMPARE(rig.engine.queue().size(), 4); // the poll request in flight and the batch

        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended.first(), (QVariantList{QVariant::fromValue(first), !fails}));
        QVERIFY(!rig.engine.writeBatchPending());
        QVERIFY(!actions.isEmpty());
        for (int i = 0; i + 1 < actions.size(); ++i)
            QCOMPARE(actions.at(i).first().toBool(), false);
        QVERIFY(rig.engine.beginWriteBatch(second));
    }

    // A confirmed link-parameter write re-addresses what is still queued, so
    // the next request goes out with the new envelope.
    void linkSwitchReaddressesQueue_data()
    {
        QTest::addColumn<Protocol>("from");
        QTest::addColumn<Protocol>("to");
        QTest::newRow("MODBUS to MODBUS") << Protocol::Modbus << Protocol::Modbus;
        QTest::newRow("Rs-485 to MODBUS") << Protocol::Rs485 << Protocol::Modbus;
        QTest::newRow("MODBUS to Rs-485") << Protocol::Modbus << Protocol::Rs485;
    }
    void linkSwitchReaddressesQueue()
    {
        QFETCH(Protocol, from);
        QFETCH(Protocol, to);
        Rig rig(from, 5, false);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(rig.engine.awaitingResponse());
        rig.engine.AddCommand(readHolidayRequest(3));
        rig.engine.AddCommand(request(fn::ReadTime));
        QSignalSpy changed(&rig.engine, &ExchangeEngine::linkParametersChanged);
        rig.engine.switchLinkParameters(9, 2, to, 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(rig.channel.baudRate(), 19200);
        QCOMPARE(rig.engine.address(), 9);
        const QList<QByteArray> queue = rig.engine.queue();
        QCOMPARE(queue.size(), 3);
        QCOMPARE(queue[1], envelope(readHolidayRequest(3), to, 9));
        QCOMPARE(queue[2], envelope(request(fn::ReadTime), to, 9));
    }

    // After the sixth time-out in a row production mode sets address 0, and
    // the poll request that follows already goes to address 0.
    void productionModeFallsBackToAddressZero()
    {
        Rig rig(Protocol::Modbus, 12, false);
        rig.engine.setProductionMode(true);
        QSignalSpy address(&rig.engine, &ExchangeEngine::addressChanged);
        QSignalSpy exceeded(&rig.engine, &ExchangeEngine::timeoutsExceeded);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_COMPARE_WITH_TIMEOUT(exceeded.size(), 1, 5000);
        QCOMPARE(rig.timeouts(), 6);
        QCOMPARE(address.size(), 1);
        QCOMPARE(address.first().first().toInt(), 0);
        QTRY_VERIFY(quint8(rig.channel.writes.last().bytes[0]) == 0);
        rig.channel.responder = kelvar::test::simpleMeter(Protocol::Modbus, 0);
        QTRY_VERIFY(!rig.accepted.isEmpty());
    }

    // The search starts at address 0 at once: the request in flight to the old
    // address is dropped, so address 0 gets its own time-out and the search
    // goes 0, 1, 2, ... up to the meter.
    void addressSearchStartsAtZero_data() { addProtocolRows(); }
    void addressSearchStartsAtZero()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 200, false);
        rig.channel.responder = kelvar::test::simpleMeter(protocol, 3);
        QSignalSpy address(&rig.engine, &ExchangeEngine::addressChanged);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_COMPARE(rig.timeouts(), 1);
        QTRY_VERIFY(rig.engine.awaitingResponse());
        rig.engine.ActionFindAddressExecute();
        QVERIFY(rig.engine.AddressSearch());
        QTRY_VERIFY(!rig.engine.AddressSearch());
        QCOMPARE(rig.engine.address(), 3);
        QList<int> tried;
        for (const auto &args : address)
            tried << args.first().toInt();
        QCOMPARE(tried, (QList<int>{0, 1, 2, 3}));
        QTRY_VERIFY(!rig.accepted.isEmpty());
        QCOMPARE(rig.timeouts(), 1); // the search logs none
    }

    // A new time-out applies from the next exchange on: the running one keeps its length.
    void timeoutChangeAppliesToNextExchange()
    {
        Rig rig(Protocol::Modbus, 1, false);
        rig.engine.setTimeout(400);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY(rig.engine.awaitingResponse());
        QCOMPARE(rig.engine.runningTimeout(), 400);
        rig.engine.setTimeout(100);
        QCOMPARE(rig.engine.runningTimeout(), 400);
        QTRY_COMPARE_WITH_TIMEOUT(rig.timeouts(), 1, 5000);
        QTRY_VERIFY(rig.engine.awaitingResponse());
        QCOMPARE(rig.engine.runningTimeout(), 100);
    }

    void portFailures_data()
    {
        QTest::addColumn<bool>("failOpen");
        QTest::addColumn<QString>("message");
        QTest::newRow("open") << true << "Ошибка открытия порта COM7";
        QTest::newRow("close") << false << "Ошибка закрытия порта COM7";
    }
    void portFailures()
    {
        QFETCH(bool, failOpen);
        QFETCH(QString, message);
        Rig rig(Protocol::Rs485, 1);
        rig.engine.setPortName("COM7");
        rig.channel.failOpen = failOpen;
        rig.channel.failClose = !failOpen;
        QSignalSpy error(&rig.engine, &ExchangeEngine::portError);
        QSignalSpy connection(&rig.engine, &ExchangeEngine::connectionChanged);
        QCOMPARE(rig.engine.ActionConnectExecute(), !failOpen);
        if (!failOpen)
            QCOMPARE(rig.engine.ActionDisconnectExecute(), false);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.first().first().toString(), message);
        QVERIFY(!rig.engine.isConnected());
        QCOMPARE(connection.size(), failOpen ? 0 : 2);
    }
};

QTEST_GUILESS_MAIN(TestEngineLogic)
#include "tst_engine_logic.moc"
