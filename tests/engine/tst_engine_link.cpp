// The exchange engine over a real pseudo-terminal against the simulated meter,
// in both protocol types: the poll cycle on the line, batches, write results,
// error replies, time-outs, the address search, the link-parameter switch and
// faults on the line.

#include "EngineTest.h"
#include "TestUtil.h"
#include "link/Catalogue.h"
#include "app/EnginePresenter.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/ResponseDispatcher.h"
#include "metersim/MeterServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kelvar::link;
using kelvar::app::EnginePresenter;
using kelvar::app::Indicator;
using kelvar::meter::ResponseDispatcher;
using kelvar::sim::Faults;
using kelvar::sim::MeterServer;
using kelvar::sim::MeterState;
using kelvar::test::addProtocolRows;
using kelvar::test::hexText;
using kelvar::test::protocolName;

namespace {

constexpr int Timeout = 300;
constexpr int Patience = 15000; // ms for a QTRY over several exchanges

// The engine on the slave side of a simulated meter's pseudo-terminal, with a
// dispatcher whose owners record every accepted response and its request.
struct Rig {
    MeterServer meter;
    QSerialPortChannel channel;
    ExchangeEngine engine{&channel};
    EnginePresenter presenter{engine};
    ResponseDispatcher dispatcher{engine};
    QList<QByteArray> accepted;
    int mismatched = 0; // accepted responses whose code differs from their request's
    QStringList lines;
    // Owner of the link-parameter write: switches the engine as the settings
    // write does on its confirmation.
    bool switchOnLinkWrite = true;
    // Run once with the next accepted response, while the meter is idle.
    std::function<void()> onNextAccepted;

    Rig(Protocol protocol, quint8 meterAddress, int engineAddress = -1)
    {
        meter.updateState([&](MeterState &s) {
            s.address = meterAddress;
            s.protocol = protocol;
        });
        QString error;
        if (!meter.start(&error))
            qFatal("simulated meter: %s", qPrintable(error));
        engine.setPortName(meter.devicePath());
        engine.setProtocol(protocol);
        engine.setAddress(engineAddress < 0 ? meterAddress : engineAddress);
        engine.setTimeout(Timeout);
        dispatcher.registerOwner(kelvar::test::knownCodes(), [this](const QByteArray &response, const QByteArray &request) {
            accepted << response;
            if (onNextAccepted)
                std::exchange(onNextAccepted, {})();
            if (request.isEmpty() || response[0] != request[0])
                ++mismatched;
            if (switchOnLinkWrite && quint8(request[0]) == fn::WriteLink)
                switchLink(request);
        });
        QObject::connect(&engine, &ExchangeEngine::protocolLine, [this](const QString &line) { lines << line; });
    }
    ~Rig()
    {
        engine.ActionDisconnectExecute();
        meter.stop();
    }
    void switchLink(const QByteArray &request)
    {
        const quint8 link = quint8(request[3]);
        const bool modbus = link & 0x40;
        const int parity = !modbus ? 0 : (link & 0x20) ? 2 : (link & 0x10) ? 1 : 0;
        engine.switchLinkParameters(quint8(request[2]), link & 0x03, modbus ? Protocol::Modbus : Protocol::Rs485,
                                    parity);
    }
    QList<int> meterCodes() const
    {
        QList<int> codes;
        for (const QByteArray &frame : meter.receivedRequests())
            codes << quint8(frame[0]);
        return codes;
    }
    int count(const QString &text) const { return lines.filter(text).size(); }
    int timeouts() const { return count(ExchangeEngine::TimeoutText); }
    void setFaults(const std::function<void(Faults &)> &change)
    {
        Faults f;
        change(f);
        meter.setFaults(f);
    }
    // Connected and past the first accepted response.
    bool connectAndSettle()
    {
        if (!engine.ActionConnectExecute())
            return false;
        return QTest::qWaitFor([this] { return !accepted.isEmpty(); }, Patience);
    }
};

QList<QByteArray> settingsRequests()
{
    return {passwordRequest(kelvar::sim::DefaultPassword), writeDisplayRequest(0x0F), writeAveragingRequest(10),
            writeIntegrationRequest(30)};
}

void queue(ExchangeEngine &engine, const QList<QByteArray> &batch)
{
    for (const QByteArray &frame : batch)
        engine.AddCommand(frame);
}

} // namespace

class TestEngineLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<Indicator>();
    }

    // After connecting: the software version, then the poll cycle from its start.
    void pollCycleOnTheLine_data() { addProtocolRows(); }
    void pollCycleOnTheLine()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 17);
        QVERIFY(rig.engine.ActionConnectExecute());
        const QList<int> expected{0, 1, 0, 4, 8, 12, 13, 15, 17, 19, 30, 34, 43, 44, 45, 48, 78, 1, 0};
        QTRY_VERIFY_WITH_TIMEOUT(rig.meterCodes().size() >= expected.size(), Patience);
        QCOMPARE(rig.meterCodes().mid(0, expected.size()), expected);
        QCOMPARE(rig.timeouts(), 0);
        QCOMPARE(rig.mismatched, 0);
    }

    // A batch appended while a poll request is in flight goes out after it,
    // in order, and the poll cycle resumes where it was.
    void batchRunsAfterPollInFlight_data() { addProtocolRows(); }
    void batchRunsAfterPollInFlight()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 1);
        QVERIFY(rig.connectAndSettle());
        QTRY_VERIFY(rig.engine.awaitingResponse() && rig.engine.PollIndex() > 2);
        const int inFlight = quint8(rig.engine.currentFrame()[0]);
        const int nextPoll = pollCode(rig.engine.PollIndex());
        for (quint8 index = 0; index < 3; ++index)
            rig.engine.AddCommand(readHolidayRequest(index));
        const auto first = [&] { return rig.meterCodes().indexOf(fn::ReadHoliday); };
        QTRY_VERIFY_WITH_TIMEOUT(first() > 0 && rig.meterCodes().size() >= first() + 4, Patience);
        QCOMPARE(rig.meterCodes().mid(first() - 1, 5),
                 (QList<int>{inFlight, fn::ReadHoliday, fn::ReadHoliday, fn::ReadHoliday, nextPoll}));
        const QList<QByteArray> frames = rig.meter.receivedRequests().mid(first(), 3);
        for (int index = 0; index < 3; ++index)
            QCOMPARE(quint8(frames[index][2]), quint8(index));
        QCOMPARE(rig.mismatched, 0);
    }

    // A settings batch that completes turns the indicator green and reports
    // completion; a silence in the middle turns it red with the settings
    // message, the rest of the batch never reaches the meter and polling goes on.
    void settingsBatch_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<bool>("silence");
        QTest::newRow("Rs-485 completes") << Protocol::Rs485 << false;
        QTest::newRow("Rs-485 silence") << Protocol::Rs485 << true;
        QTest::newRow("MODBUS completes") << Protocol::Modbus << false;
        QTest::newRow("MODBUS silence") << Protocol::Modbus << true;
    }
    void settingsBatch()
    {
        QFETCH(Protocol, protocol);
        QFETCH(bool, silence);
        Rig rig(protocol, 2);
        QVERIFY(rig.connectAndSettle());
        if (silence)
            rig.setFaults([](Faults &f) { f.silentFunction = fn::WriteAveraging; });
        QSignalSpy indicator(&rig.presenter, &EnginePresenter::indicatorChanged);
        QSignalSpy completed(&rig.engine, &ExchangeEngine::settingsWriteCompleted);
        QSignalSpy failed(&rig.engine, &ExchangeEngine::writeFailed);
        queue(rig.engine, settingsRequests());
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));

        QTRY_VERIFY_WITH_TIMEOUT(!indicator.isEmpty(), Patience);
        QCOMPARE(indicator.first().first().value<Indicator>(), silence ? Indicator::Red : Indicator::Green);
        QVERIFY(!rig.engine.SettingsWriteActive());
        if (silence) {
            QTRY_COMPARE(failed.size(), 1);
            QCOMPARE(failed.first().first().toString(), ExchangeEngine::SettingsWriteFailedText);
            QCOMPARE(completed.size(), 0);
            QCOMPARE(rig.timeouts(), 1);
            const int accepted = rig.accepted.size();
            QTRY_VERIFY_WITH_TIMEOUT(rig.accepted.size() >= accepted + 3, Patience); // polling goes on
            QVERIFY(rig.meterCodes().contains(fn::WriteAveraging));
            QVERIFY(!rig.meterCodes().contains(fn::WriteIntegration));
        } else {
            QCOMPARE(completed.size(), 1);
            QCOMPARE(failed.size(), 0);
            QCOMPARE(rig.meter.state().averagingSeconds, 10);
            QCOMPARE(rig.meter.state().displayMask, quint8(0x0F));
        }
        // The indicator goes out after two seconds and the meter information is reset.
        QSignalSpy reset(&rig.engine, &ExchangeEngine::ResetMeterInfo);
        QTRY_COMPARE_WITH_TIMEOUT(indicator.size(), 2, 4000);
        QCOMPARE(indicator.last().first().value<Indicator>(), Indicator::Hidden);
        QCOMPARE(reset.size(), 1);
    }

    // Error code 3 sends the same request again at once; any other code ends
    // the batch. In "Rs-485" an answer with another function code is a wrong
    // response; in "MODBUS" it is not taken for the answer (the exchange ends
    // by time-out), and an answer nobody decodes is a wrong response.
    void failedResponses_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<int>("replyFunction");
        QTest::addColumn<bool>("unowned");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("holidaysSeen"); // indexes of the batch the meter received
        const QString crc = "Ошибка: Неверная контрольная сумма (чтение праздников)";
        const QString locked = "Ошибка: Память защищена (чтение праздников)";
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            QTest::addRow("%s error 3", name) << protocol << 3 << -1 << false << crc << QList<int>{0, 0, 1, 2};
            QTest::addRow("%s error 5", name) << protocol << 5 << -1 << false << locked << QList<int>{0};
            QTest::addRow("%s unowned function", name)
                << protocol << 0 << -1 << true << WrongResponseText << QList<int>{0};
        }
        QTest::newRow("Rs-485 other function") << Protocol::Rs485 << 0 << int(fn::ReadTime) << false
                                               << WrongResponseText << QList<int>{0};
        QTest::newRow("MODBUS other function") << Protocol::Modbus << 0 << int(fn::ReadTime) << false
                                               << ExchangeEngine::TimeoutText << QList<int>{0};
    }
    void failedResponses()
    {
        QFETCH(Protocol, protocol);
        QFETCH(int, errorCode);
        QFETCH(int, replyFunction);
        QFETCH(bool, unowned);
        QFETCH(QString, text);
        QFETCH(QList<int>, holidaysSeen);
        Rig rig(protocol, 3);
        if (unowned)
            rig.dispatcher.unregisterOwner({fn::ReadHoliday});
        QVERIFY(rig.connectAndSettle());
        // The fault goes in when the request in flight has been answered, so
        // it hits the first request of the batch queued behind it.
        QTRY_VERIFY(rig.engine.awaitingResponse());
        rig.onNextAccepted = [&] {
            rig.setFaults([&](Faults &f) {
                f.errorFunction = errorCode > 0 ? fn::ReadHoliday : -1;
                f.errorCode = errorCode;
                f.replyFunction = replyFunction;
                f.shots = 1;
            });
        };
        int arrivals = 0;
        QObject watcher; // ends the connection before arrivals and the rig end
        connect(&rig.meter, &MeterServer::requestReceived, &watcher, [&](const QByteArray &frame) {
            if (quint8(frame[0]) == fn::ReadHoliday && quint8(frame[2]) == 0)
                ++arrivals;
        });
        const int seen = rig.meter.receivedRequests().size();
        for (quint8 index = 0; index < 3; ++index)
            rig.engine.AddCommand(readHolidayRequest(index));
        QTRY_VERIFY_WITH_TIMEOUT(rig.count(text) == 1, Patience);
        // Let the batch (or what is left of it) run out.
        const int accepted = rig.accepted.size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted.size() >= accepted + 4, Patience);
        QList<int> holidays;
        for (const QByteArray &frame : rig.meter.receivedRequests().mid(seen))
            if (quint8(frame[0]) == fn::ReadHoliday)
                holidays << quint8(frame[2]);
        QCOMPARE(holidays, holidaysSeen);
        QCOMPARE(rig.timeouts(), text == ExchangeEngine::TimeoutText ? 1 : 0);
        QCOMPARE(rig.mismatched, 0);
        // Error 3: the request went out again without waiting for a time-out
        // (none was logged above).
        if (errorCode == 3)
            QCOMPARE(arrivals, 2);
    }

    // Five time-outs in a row leave the controls enabled, the sixth disables
    // them, and a meter answering again brings them back.
    void sixTimeouts_data() { addProtocolRows(); }
    void sixTimeouts()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 4);
        QVERIFY(rig.connectAndSettle());
        bool controls = true;
        bool setting = true;
        QList<bool> afterTimeout; // controls, setting actions after each time-out
        // The connections end with the watcher, before the variables they
        // write (the rig's end still signals).
        QObject watcher;
        connect(&rig.engine, &ExchangeEngine::EnableControls, &watcher, [&](bool on) { controls = on; });
        connect(&rig.presenter, &EnginePresenter::settingActionsEnabled, &watcher, [&](bool on) { setting = on; });
        connect(&rig.engine, &ExchangeEngine::protocolLine, &watcher, [&](const QString &line) {
            if (line.endsWith(ExchangeEngine::TimeoutText))
                QTimer::singleShot(0, &watcher, [&] { afterTimeout << controls << setting; });
        });
        QSignalSpy exceeded(&rig.engine, &ExchangeEngine::timeoutsExceeded);
        rig.setFaults([](Faults &f) { f.silent = true; });
        QTRY_VERIFY_WITH_TIMEOUT(afterTimeout.size() >= 12, Patience);
        rig.setFaults([](Faults &) {});
        QCOMPARE(afterTimeout.mid(0, 10), QList<bool>(10, true));
        QCOMPARE(afterTimeout.mid(10, 2), (QList<bool>{false, false}));
        QVERIFY(exceeded.size() >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(controls && setting, Patience);
        QCOMPARE(rig.engine.TimeoutCount(), 0);
    }

    // The address search steps one address per time-out, wraps from 255 to
    // 0, and stops at the first address that answers.
    void addressSearch_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<int>("meterAddress");
        QTest::addColumn<int>("startAt");
        QTest::addColumn<QList<int>>("tried"); // addresses the engine stepped to
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            QTest::addRow("%s from 0", name) << protocol << 7 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
            QTest::addRow("%s from 254", name) << protocol << 1 << 254 << QList<int>{0, 255, 0, 1};
        }
    }
    void addressSearch()
    {
        QFETCH(Protocol, protocol);
        QFETCH(int, meterAddress);
        QFETCH(int, startAt);
        QFETCH(QList<int>, tried);
        Rig rig(protocol, quint8(meterAddress), 100);
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_COMPARE_WITH_TIMEOUT(rig.timeouts(), 1, Patience);
        QSignalSpy address(&rig.engine, &ExchangeEngine::addressChanged);
        rig.engine.ActionFindAddressExecute();
        rig.engine.setAddress(startAt); // the operator may edit the address
        QTRY_VERIFY_WITH_TIMEOUT(!rig.engine.AddressSearch(), Patience);
        QCOMPARE(rig.engine.address(), meterAddress);
        QList<int> steps;
        for (const auto &args : address)
            steps << args.first().toInt();
        QCOMPARE(steps, tried);
        const int accepted = rig.accepted.size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted.size() >= accepted + 2, Patience);
        QCOMPARE(rig.engine.address(), meterAddress);
        QCOMPARE(rig.timeouts(), 1);
    }

    // A confirmed link-parameter write switches address, baud rate, parity and
    // protocol type on both sides, and the next request uses them.
    void linkParameterWrite_data()
    {
        QTest::addColumn<Protocol>("from");
        QTest::addColumn<Protocol>("to");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("parityIndex");
        QTest::newRow("Rs-485 to MODBUS even") << Protocol::Rs485 << Protocol::Modbus << 9 << 1 << 1;
        QTest::newRow("MODBUS to Rs-485") << Protocol::Modbus << Protocol::Rs485 << 3 << 3 << 0;
        QTest::newRow("MODBUS to MODBUS odd") << Protocol::Modbus << Protocol::Modbus << 200 << 2 << 2;
    }
    void linkParameterWrite()
    {
        QFETCH(Protocol, from);
        QFETCH(Protocol, to);
        QFETCH(int, address);
        QFETCH(int, baudIndex);
        QFETCH(int, parityIndex);
        Rig rig(from, 5);
        QVERIFY(rig.connectAndSettle());
        QSignalSpy changed(&rig.engine, &ExchangeEngine::linkParametersChanged);
        QSignalSpy completed(&rig.engine, &ExchangeEngine::settingsWriteCompleted);
        rig.engine.AddCommand(passwordRequest(kelvar::sim::DefaultPassword));
        rig.engine.AddCommand(
            writeLinkRequest(quint8(address), linkByte(baudIndex, to == Protocol::Modbus, parityIndex)));
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));
        QTRY_COMPARE_WITH_TIMEOUT(completed.size(), 1, Patience);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(rig.engine.address(), address);
        QCOMPARE(rig.engine.protocol(), to);
        QCOMPARE(rig.engine.baudIndex(), baudIndex);
        QCOMPARE(rig.channel.baudRate(), baudRate(baudIndex));
        QCOMPARE(rig.engine.parityIndex(), to == Protocol::Modbus ? parityIndex : rig.engine.parityIndex());
        const MeterState state = rig.meter.state();
        QCOMPARE(int(state.address), address);
        QCOMPARE(state.protocol, to);
        QCOMPARE(state.baudIndex, baudIndex);
        const int accepted = rig.accepted.size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted.size() >= accepted + 3, Patience);
        QCOMPARE(rig.timeouts(), 0);
        QCOMPARE(rig.mismatched, 0);
    }

    // Disconnecting while a write is pending neither reports it completed nor
    // starts polling.
    void disconnectDuringPendingWrite_data() { addProtocolRows(); }
    void disconnectDuringPendingWrite()
    {
        QFETCH(Protocol, protocol);
        Rig rig(protocol, 6);
        QVERIFY(rig.connectAndSettle());
        rig.setFaults([](Faults &f) { f.delayMs = 100; });
        QSignalSpy completed(&rig.engine, &ExchangeEngine::settingsWriteCompleted);
        QSignalSpy indicator(&rig.presenter, &EnginePresenter::indicatorChanged);
        queue(rig.engine, settingsRequests());
        QVERIFY(rig.engine.beginWriteBatch(WriteBatch::Settings));
        QTRY_VERIFY_WITH_TIMEOUT(rig.meterCodes().contains(fn::Password), Patience);
        QVERIFY(rig.engine.ActionDisconnectExecute());
        const int seen = rig.meter.receivedRequests().size();
        QTest::qWait(3 * Timeout);
        QCOMPARE(rig.meter.receivedRequests().size(), seen);
        QCOMPARE(completed.size(), 0);
        QCOMPARE(indicator.size(), 0);
        QVERIFY(rig.engine.queue().isEmpty());
    }

    // Faults on the line: each ends its own exchange as the rules say (split
    // replies are whole, the others end by a time-out or a wrong response);
    // the link never stalls and no reply is taken for another request's.
    void lineFaults_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("timeouts");
        for (Protocol protocol : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = protocolName(protocol);
            QTest::addRow("%s split", name) << protocol << "split" << 0;
            QTest::addRow("%s garbage", name) << protocol << "garbage" << -1;
            QTest::addRow("%s other address", name) << protocol << "other address" << -1;
            QTest::addRow("%s late", name) << protocol << "late" << 1;
            // A reply with a bad CRC never completes, in either protocol type.
            QTest::addRow("%s bad crc", name) << protocol << "bad crc" << 1;
        }
    }
    void lineFaults()
    {
        QFETCH(Protocol, protocol);
        QFETCH(QString, fault);
        QFETCH(int, timeouts);
        Rig rig(protocol, 8);
        QVERIFY(rig.connectAndSettle());
        rig.setFaults([&](Faults &f) {
            f.shots = fault == "split" ? 3 : 1;
            if (fault == "split") {
                f.pieces = 3;
                f.pieceGapMs = 30;
            } else if (fault == "garbage") {
                f.garbage = kelvar::test::hex("FF 13 00 37 02");
            } else if (fault == "other address") {
                // A whole reply from the meter at address 9 comes first.
                const QByteArray other = QByteArray() + char(fn::ReadVersion) + char(2);
                f.garbage = protocol == Protocol::Modbus ? envelope(other, protocol, 9) : QByteArray(1, char(9));
            } else if (fault == "late") {
                f.delayMs = Timeout + 120;
            } else {
                f.corruptCrc = true;
            }
        });
        const int accepted = rig.accepted.size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.accepted.size() >= accepted + 8, Patience);
        QCOMPARE(rig.mismatched, 0);
        if (timeouts >= 0)
            QCOMPARE(rig.timeouts(), timeouts);
        else
            QVERIFY(rig.timeouts() + rig.count(WrongResponseText) >= 1);
        if (fault == "split" || fault == "late")
            QCOMPARE(rig.count(WrongResponseText), 0);
    }

    // Stick parity must not survive a return to none, even or odd parity;
    // refused settings (RTS on a pseudo-terminal) leave the channel working.
    void stickParityCleared_data()
    {
        QTest::addColumn<int>("stick");
        QTest::addColumn<int>("back");
        QTest::newRow("mark to even") << int(Parity::Mark) << int(Parity::Even);
        QTest::newRow("space to odd") << int(Parity::Space) << int(Parity::Odd);
        QTest::newRow("mark to none") << int(Parity::Mark) << int(Parity::None);
    }
    void stickParityCleared()
    {
        QFETCH(int, stick);
        QFETCH(int, back);
        MeterServer meter;
        QVERIFY(meter.start());
        QSerialPortChannel channel;
        channel.setPortName(meter.devicePath());
        QVERIFY2(channel.open(), qPrintable(channel.errorString()));
        const int fd = ::open(meter.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio {};
        channel.setParity(Parity(stick));
        QCOMPARE(::tcgetattr(fd, &tio), 0);
        if (!(tio.c_cflag & CMSPAR)) {
            ::close(fd);
            QSKIP("this pseudo-terminal does not keep the stick-parity flag");
        }
        channel.setParity(Parity(back));
        QCOMPARE(::tcgetattr(fd, &tio), 0);
        ::close(fd);
        QCOMPARE(bool(tio.c_cflag & CMSPAR), false);
        // A pseudo-terminal keeps no PARENB; the odd/even choice it does keep.
        if (Parity(back) != Parity::None)
            QCOMPARE(bool(tio.c_cflag & PARODD), Parity(back) == Parity::Odd);
        channel.setRts(true);
        QVERIFY(channel.isOpen());
        QVERIFY(channel.write(envelope(request(fn::ReadVersion), Protocol::Modbus, 0)));
    }
};

QTEST_GUILESS_MAIN(TestEngineLink)
#include "tst_engine_link.moc"
