// The simulated meter through a real pseudo-terminal, as the program meets it:
// every command in both protocol types, the address handshake, the switch of
// link parameters, faults with their timing, bad input, reopening the port,
// the executable with a state file, and the scanner.

#include "SimClient.h"
#include "support/ProtocolRows.h"
#include "TestUtil.h"
#include "common/TextFormat.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "metersim/MeterServer.h"
#include "metersim/ScannerServer.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar;
using namespace kelvar::link;
using namespace kelvar::sim;
using kelvar::test::hex;
using kelvar::test::hexText;
using kelvar::test::SimClient;

Q_DECLARE_METATYPE(kelvar::link::Protocol)

namespace {

struct Command {
    const char *name;
    QByteArray request;
    int replyLength;
};

// Every command of the catalogue, writes after the access password.
QList<Command> catalogue()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {
        {"20 password", passwordRequest(DefaultPassword), 2},
        {"0 version", request(fn::ReadVersion), 7},
        {"1 number", request(fn::ReadNumber), 5},
        {"2 write number", writeNumberRequest(4242), 2},
        {"4 time", request(fn::ReadTime), 10},
        {"5 write time", writeTimeRequest(now, false), 2},
        {"6 limit", request(fn::ReadLimit), 3},
        {"7 write limit", writeLimitRequest(4), 2},
        {"8 checksum", request(fn::ReadSchedule), 4},
        {"9 clear schedule", clearScheduleRequest(), 2},
        {"9 write slot", writeScheduleRecordRequest(2, hex("21 07 30 0F 1F FF 0F")), 2},
        {"8 read slot", readScheduleRecordRequest(2), 10},
        {"8 read empty slot", readScheduleRecordRequest(3), 3},
        {"10 calibration", request(fn::ReadCalibration), 8},
        {"11 write calibration", writeCalibrationRequest(-32768, 0, 32767), 2},
        {"12 load", request(fn::ReadLoadPower), 5},
        {"13 display", request(fn::ReadDisplay), 3},
        {"14 write display", writeDisplayRequest(0x3F), 2},
        {"15 readings", request(fn::ReadReadings), 34},
        {"17 counters", request(fn::ReadCounters), 6},
        {"18 yearly", readYearJournalRequest(now.date().month() - 1, now.date().year()), 28},
        {"19 phases", request(fn::ReadPhaseReadings), 14},
        {"28 daily", readDayJournalRequest(1, now.date().month() - 1, now.date().year()), 17},
        {"29 profile", readProfileRequest(now.date().day(), now.date().month() - 1, now.date().year()), 105},
        {"30 integration", request(fn::ReadIntegration), 3},
        {"31 write integration", writeIntegrationRequest(60), 2},
        {"34 billing", request(fn::ReadBilling), 4},
        {"35 write billing", writeBillingRequest(31, 23), 2},
        {"36 reset billing readings", request(fn::ResetBillingReadings), 2},
        {"38 holiday", readHolidayRequest(0), 5},
        {"39 clear holidays", clearHolidaysRequest(), 2},
        {"39 write holiday", writeHolidayRequest(15, hex("31 12")), 2},
        {"40 transfer", readTransferRequest(15), 7},
        {"41 clear transfers", clearTransfersRequest(), 2},
        {"41 write transfer", writeTransferRequest(0, hex("01 05 27 06")), 2},
        {"43 peaks", request(fn::ReadPeaks), 16},
        {"44 calibration date", request(fn::ReadCalibrationDate), 6},
        {"45 temperature", request(fn::ReadTemperature), 3},
        {"48 description", request(fn::ReadDescription), 50},
        {"49 write description", writeDescriptionRequest(QStringLiteral("Тест")), 2},
        {"50 settings entry", readSettingsJournalRequest(0), 9},
        {"51 power entry", readPowerJournalRequest(0), 8},
        {"78 averaging", request(fn::ReadAveraging), 3},
        {"79 write averaging", writeAveragingRequest(60), 2},
        {"3 write link (last)", writeLinkRequest(0, 0), 2},
    };
}

QByteArray frameOf(const QByteArray &request, Protocol protocol, quint8 address)
{
    return protocol == Protocol::Rs485 ? AppendCrc(request) : envelope(request, Protocol::Modbus, address);
}

} // namespace

class TestMeterServer : public QObject {
    Q_OBJECT

    std::unique_ptr<MeterServer> m_server;
    std::unique_ptr<SimClient> m_client;

    void serve(Protocol protocol, quint8 address, const Faults &faults = {})
    {
        m_client.reset();
        m_server = std::make_unique<MeterServer>();
        MeterState state;
        state.protocol = protocol;
        state.address = address;
        state.seed = 5;
        m_server->setState(state);
        m_server->setFaults(faults);
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        m_client = std::make_unique<SimClient>(m_server->devicePath());
        QVERIFY(m_client->isOpen());
    }

private slots:
    void cleanup()
    {
        m_client.reset();
        m_server.reset();
    }

    void everyCommand_data() { test::addProtocolRows(); }
    void everyCommand()
    {
        QFETCH(Protocol, protocol);
        serve(protocol, 0);
        QList<QByteArray> sent;
        for (const Command &c : catalogue()) {
            const QByteArray reply = m_client->exchange(c.request, protocol, 0);
            QVERIFY2(reply.size() == c.replyLength + 2, qPrintable(QStringLiteral("%1: %2")
                                                                      .arg(QLatin1String(c.name), hexText(reply))));
            QCOMPARE(byteAt(reply, 0), byteAt(c.request, 0));
            QCOMPARE(int(byteAt(reply, 1)), c.replyLength);
            if (protocol == Protocol::Rs485)
                QVERIFY(IsFrameCrcValid(reply));
            sent << AppendCrc(c.request);
        }
        // Every request was observed at the simulator, in order (in "MODBUS"
        // the CRC the simulator keeps is the one over the address too).
        const QList<QByteArray> seen = m_server->receivedRequests();
        QCOMPARE(seen.size(), sent.size());
        for (qsizetype i = 0; i < seen.size(); ++i)
            QCOMPARE(hexText(seen[i].left(seen[i].size() - 2)), hexText(sent[i].left(sent[i].size() - 2)));
        // The writes landed.
        const MeterState s = m_server->state();
        QCOMPARE(s.serialNumber, 4242u);
        QCOMPARE(s.limitCoefficient, quint8(4));
        QCOMPARE(s.zones[2], hex("21 07 30 0F 1F FF 0F"));
        QCOMPARE(s.calibration, (std::array<qint16, 3>{-32768, 0, 32767}));
        QCOMPARE(s.displayMask, quint8(0x3F));
        QCOMPARE(s.integrationMinutes, 60);
        QCOMPARE(s.billingDay, 31);
        QCOMPARE(s.billingHour, 23);
        QCOMPARE(s.holidays[15], hex("31 12"));
        QCOMPARE(s.transfers[0], hex("01 05 27 06"));
        QCOMPARE(text::fromCp1251(s.description.left(4)), QStringLiteral("Тест"));
        QCOMPARE(s.averagingSeconds, 60);
        // The link write switches a MODBUS meter to "Rs-485" once its reply has
        // left, which may be just after the reply reached this side.
        QTRY_COMPARE(m_server->state().protocol, Protocol::Rs485);
    }

    void addressHandshake_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("echo");
        QTest::newRow("own address") << hex("2A") << hex("2A");
        QTest::newRow("other address") << hex("2B") << QByteArray();
        QTest::newRow("address with more bytes") << hex("2A 00 02") << QByteArray();
        QTest::newRow("zero") << hex("00") << QByteArray();
    }
    void addressHandshake()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, echo);
        serve(Protocol::Rs485, 42);
        m_client->write(sent);
        QCOMPARE(hexText(m_client->readFor(200)), hexText(echo));
        // A different address gets no echo (the program times out); the meter
        // stays ready for an address, and its own one still works.
        QCOMPARE(hexText(m_client->exchange(request(fn::ReadLimit), Protocol::Rs485, 42)),
                 hexText(AppendCrc(hex("06 03 01"))));
    }

    void foreignModbusFramesIgnored()
    {
        serve(Protocol::Modbus, 17);
        m_client->write(frameOf(request(fn::ReadLimit), Protocol::Modbus, 18));
        QCOMPARE(m_client->readFor(200), QByteArray());
        QByteArray spoilt = frameOf(request(fn::ReadLimit), Protocol::Modbus, 17);
        spoilt[2] = static_cast<char>(spoilt[2] ^ 1);
        m_client->write(spoilt);
        QCOMPARE(m_client->readFor(200), QByteArray());
        QVERIFY(m_server->receivedRequests().isEmpty());
        QCOMPARE(hexText(m_client->exchange(request(fn::ReadLimit), Protocol::Modbus, 17)), hexText(hex("06 03 01") + AppendCrc(hex("11 06 03 01")).right(2)));
    }

    void linkParametersSwitchAfterTheReply_data()
    {
        QTest::addColumn<Protocol>("from");
        QTest::addColumn<Protocol>("to");
        QTest::addColumn<int>("parity");
        QTest::newRow("Rs-485 to MODBUS even 9600") << Protocol::Rs485 << Protocol::Modbus << 1;
        QTest::newRow("MODBUS to Rs-485") << Protocol::Modbus << Protocol::Rs485 << 0;
        QTest::newRow("MODBUS to MODBUS odd") << Protocol::Modbus << Protocol::Modbus << 2;
    }
    void linkParametersSwitchAfterTheReply()
    {
        QFETCH(Protocol, from);
        QFETCH(Protocol, to);
        QFETCH(int, parity);
        serve(from, 1);
        QCOMPARE(hexText(m_client->exchange(passwordRequest(DefaultPassword), from, 1).left(2)), QStringLiteral("14 02"));
        const QByteArray ack = m_client->exchange(writeLinkRequest(99, linkByte(1, to == Protocol::Modbus, parity)), from, 1);
        QCOMPARE(hexText(ack.left(2)), QStringLiteral("03 02")); // answered in the old parameters
        // The meter switches once the reply has left.
        QTRY_COMPARE(m_server->state().address, quint8(99));
        const MeterState s = m_server->state();
        QCOMPARE(s.protocol, to);
        QCOMPARE(s.baudIndex, 1);
        QCOMPARE(s.parity, parity);
        // Old parameters get nothing, new ones an answer.
        // (the 200 ms of silence also end whatever frame the meter began to read)
        QVERIFY(m_client->exchange(request(fn::ReadLimit), from, 1, 200).isEmpty());
        QCOMPARE(hexText(m_client->exchange(request(fn::ReadLimit), to, 99).left(3)), QStringLiteral("06 03 01"));
    }

    void faultsOnTheLine_data()
    {
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<int>("minMs");     // the reply completes no sooner
        QTest::addColumn<int>("minChunks"); // in at least this many reads
        QTest::addColumn<QString>("reply"); // hex of what arrives after the echo ("" = nothing)
        const QString ok = QString::fromLatin1(AppendCrc(hex("06 03 01")).toHex());
        Faults f;
        f.delayMs = 250;
        QTest::newRow("delay") << f << 250 << 1 << ok;
        f = {};
        f.pieces = 3;
        f.pieceGapMs = 60;
        QTest::newRow("three pieces") << f << 120 << 3 << ok;
        f = {};
        f.wireBaud = 1200; // (4 + 5) bytes x 11 bits / 1200 baud = 82.5 ms
        QTest::newRow("wire time") << f << 80 << 2 << ok;
        f.wireBaud = 9600;
        f.turnaroundMs = 100;
        QTest::newRow("turnaround") << f << 100 << 1 << ok;
        f = {};
        f.garbage = hex("55 AA");
        QTest::newRow("garbage") << f << 0 << 1 << "55aa" + ok;
        f = {};
        f.errorFunction = 6;
        f.errorCode = 3;
        QTest::newRow("error code") << f << 0 << 1 << QString::fromLatin1(AppendCrc(hex("86 03 03")).toHex());
        f = {};
        f.silentFunction = 6;
        QTest::newRow("silent function") << f << 0 << 0 << QString();
        f = {};
        f.replyFunction = 4;
        QTest::newRow("another code") << f << 0 << 1 << QString::fromLatin1(AppendCrc(hex("04 03 01")).toHex());
        f = {};
        f.corruptCrc = true;
        QByteArray bad = AppendCrc(hex("06 03 01"));
        bad[4] = static_cast<char>(bad[4] ^ 0xFF);
        QTest::newRow("corrupt CRC") << f << 0 << 1 << QString::fromLatin1(bad.toHex());
    }
    void faultsOnTheLine()
    {
        QFETCH(Faults, faults);
        QFETCH(int, minMs);
        QFETCH(int, minChunks);
        QFETCH(QString, reply);
        serve(Protocol::Rs485, 3, faults);
        m_client->write(hex("03"));
        QCOMPARE(hexText(m_client->readFor(100)), QStringLiteral("03"));
        QElapsedTimer clock;
        clock.start();
        m_client->write(AppendCrc(request(fn::ReadLimit)));
        const int expected = reply.size() / 2;
        const QByteArray got =
            m_client->readUntil([&](const QByteArray &b) { return expected > 0 && b.size() >= expected; }, 600);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(QString::fromLatin1(got.toHex()), reply);
        QVERIFY2(elapsed >= minMs, qPrintable(QString::number(elapsed)));
        QVERIFY2(m_client->chunks.size() >= minChunks, qPrintable(QString::number(m_client->chunks.size())));
        QCOMPARE(m_server->receivedRequests().size(), 1);
    }

    // Four meters on one line, wire time on: each answers its own address
    // with its own number, other addresses get nothing, and a fault naming
    // one meter leaves the others alone. The executable serves the same line.
    void busOfMeters_data() { test::addProtocolRows(); }
    void busOfMeters()
    {
        QFETCH(Protocol, protocol);
        const QString exe = qEnvironmentVariable("METERSIM_EXE");
        QProcess p;
        p.start(exe, {"--meter", "0", "--meter", "17", "--meter", "200", "--meter", "255", "--protocol",
                      protocol == Protocol::Rs485 ? "rs485" : "modbus", "--baud", "38400", "--wire-baud", "meter",
                      "--corrupt-crc@200"});
        QVERIFY(p.waitForReadyRead(5000));
        SimClient client(QString::fromLocal8Bit(p.readLine()).trimmed());
        QVERIFY(client.isOpen());
        for (const int address : {0, 17, 255, 16, 1}) {
            const QByteArray reply = client.exchange(request(fn::ReadNumber), protocol, quint8(address), 200);
            if (address == 16 || address == 1)
                QVERIFY2(reply.isEmpty(), qPrintable(hexText(reply)));
            else
                QCOMPARE(readSerialNumber(reply, 2), 100000u + quint32(address));
        }
        QByteArray spoilt = frameOf(hex("01 05 68 87 01"), protocol, 200);
        spoilt[spoilt.size() - 1] = static_cast<char>(spoilt[spoilt.size() - 1] ^ 0xFF);
        if (protocol == Protocol::Rs485) {
            client.write(hex("C8"));
            QCOMPARE(hexText(client.readFor(100)), QStringLiteral("C8"));
            client.write(AppendCrc(request(fn::ReadNumber)));
        } else {
            client.write(frameOf(request(fn::ReadNumber), protocol, 200));
        }
        QCOMPARE(hexText(client.readUntil([&](const QByteArray &b) { return b.size() >= spoilt.size(); }, 500)),
                 hexText(spoilt));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }

    void silentMeterGivesNoEcho()
    {
        Faults f;
        f.silent = true;
        serve(Protocol::Rs485, 3, f);
        m_client->write(hex("03"));
        QCOMPARE(m_client->readFor(200), QByteArray());
        // Addressed again, the meter that kept silent answers.
        m_server->setFaults({});
        QCOMPARE(hexText(m_client->exchange(request(fn::ReadLimit), Protocol::Rs485, 3).left(3)),
                 QStringLiteral("06 03 01"));
    }

    void oneShotSilenceInABatch()
    {
        Faults f;
        f.silentReply = 2;
        serve(Protocol::Modbus, 8, f);
        QVERIFY(!m_client->exchange(request(fn::ReadVersion), Protocol::Modbus, 8).isEmpty());
        QVERIFY(m_client->exchange(request(fn::ReadNumber), Protocol::Modbus, 8, 300).isEmpty());
        QVERIFY(!m_client->exchange(request(fn::ReadTime), Protocol::Modbus, 8).isEmpty());
        QList<int> codes;
        for (const QByteArray &r : m_server->receivedRequests())
            codes << byteAt(r, 0);
        QCOMPARE(codes, (QList<int>{0, 1, 4}));
    }

    void badInputNeverHangs_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QByteArray>("junk");
        QRandomGenerator random(517);
        for (Protocol p : {Protocol::Rs485, Protocol::Modbus}) {
            const char *name = p == Protocol::Rs485 ? "Rs-485" : "MODBUS";
            QByteArray noise(300, Qt::Uninitialized);
            for (char &c : noise)
                c = static_cast<char>(random.bounded(256));
            // In "Rs-485" the junk follows the address echo, so the meter takes it as a frame.
            const QByteArray lead = p == Protocol::Rs485 ? QByteArray() : hex("07");
            QTest::addRow("%s random bytes", name) << p << noise;
            QTest::addRow("%s truncated frame", name) << p << lead + AppendCrc(request(fn::ReadVersion)).left(3);
            QTest::addRow("%s length byte 0", name) << p << lead + hex("00 00 12 34");
            QTest::addRow("%s length byte 1", name) << p << lead + hex("00 01 12 34");
            QTest::addRow("%s length byte 255", name) << p << lead + hex("00 FF 12 34 56");
            QTest::addRow("%s length byte 255 full", name) << p << lead + AppendCrc(request(0x40, QByteArray(253, 'x')));
        }
    }
    void badInputNeverHangs()
    {
        QFETCH(Protocol, protocol);
        QFETCH(QByteArray, junk);
        serve(protocol, 7);
        if (protocol == Protocol::Rs485) {
            m_client->write(hex("07"));
            QCOMPARE(hexText(m_client->readFor(100)), QStringLiteral("07"));
        }
        m_client->write(junk);
        m_client->readFor(250); // whatever it says, and a pause
        const QByteArray reply = m_client->exchange(request(fn::ReadLimit), protocol, 7);
        QCOMPARE(hexText(reply.left(3)), QStringLiteral("06 03 01"));
    }

    void portReopened()
    {
        serve(Protocol::Rs485, 0);
        for (int i = 0; i < 3; ++i) {
            m_client = std::make_unique<SimClient>(m_server->devicePath());
            QCOMPARE(hexText(m_client->exchange(request(fn::ReadLimit), Protocol::Rs485, 0).left(3)),
                     QStringLiteral("06 03 01"));
            m_client.reset(); // the program closes the port
        }
    }

    void requestsSignalled()
    {
        serve(Protocol::Modbus, 2);
        QSignalSpy spy(m_server.get(), &MeterServer::requestReceived);
        for (int i = 0; i < PollCycleLength; ++i)
            m_client->exchange(PollRequest(i), Protocol::Modbus, 2);
        QTRY_COMPARE(spy.size(), PollCycleLength);
        for (int i = 0; i < PollCycleLength; ++i)
            QCOMPARE(byteAt(spy[i][0].toByteArray(), 0), pollCode(i));
        m_server->clearReceived();
        QVERIFY(m_server->receivedRequests().isEmpty());
    }

    void stateSurvivesRestart()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("meter.json"));
        const QString link = dir.filePath(QStringLiteral("ttyKelvar"));
        const QString exe = qEnvironmentVariable("METERSIM_EXE");
        QVERIFY(QFileInfo::exists(exe));
        auto run = [&](QProcess &p, const QStringList &extra) {
            p.start(exe, QStringList{"--state", file, "--link", link, "--verbose"} + extra);
            QVERIFY(p.waitForStarted());
            QVERIFY(p.waitForReadyRead(5000));
            const QString path = QString::fromLocal8Bit(p.readLine()).trimmed();
            QVERIFY(path.startsWith(QLatin1String("/dev/")));
            QCOMPARE(QFileInfo(link).symLinkTarget(), path);
        };
        {
            QProcess p;
            run(p, {"--address", "12", "--protocol", "modbus", "--seed", "77", "--number", "515"});
            SimClient client(link);
            QVERIFY(!client.exchange(passwordRequest(DefaultPassword), Protocol::Modbus, 12).isEmpty());
            QVERIFY(!client.exchange(writeDescriptionRequest(QStringLiteral("Ввод 2")), Protocol::Modbus, 12).isEmpty());
            QVERIFY(!client.exchange(passwordRequest(2024), Protocol::Modbus, 12).isEmpty());
            p.terminate();
            QVERIFY(p.waitForFinished(5000));
            QCOMPARE(p.exitCode(), 0);
            const QString trace = QString::fromLocal8Bit(p.readAllStandardError());
            QVERIFY2(trace.contains(QRegularExpression(R"(\d\d:\d\d:\d\d\.\d\d\d <- 0C 14 04)")), qPrintable(trace));
            QVERIFY(!QFileInfo::exists(link)); // the link goes with the meter
        }
        QProcess p;
        run(p, {});
        SimClient client(link);
        const QByteArray description = client.exchange(request(fn::ReadDescription), Protocol::Modbus, 12);
        QCOMPARE(text::fromCp1251(description.mid(2, 6)), QStringLiteral("Ввод 2"));
        QCOMPARE(readSerialNumber(client.exchange(request(fn::ReadNumber), Protocol::Modbus, 12), 2), 515u);
        QCOMPARE(int(byteAt(client.exchange(passwordRequest(DefaultPassword), Protocol::Modbus, 12), 2)), 6);
        QVERIFY(!client.exchange(passwordRequest(2024), Protocol::Modbus, 12).isEmpty());
        // The restart is a switch-off and a switch-on in the power-on journal.
        QCOMPARE(int(byteAt(client.exchange(readPowerJournalRequest(0), Protocol::Modbus, 12), 7)), 1);
        QCOMPARE(int(byteAt(client.exchange(readPowerJournalRequest(1), Protocol::Modbus, 12), 7)), 0);
        // The settings journal holds the writes: new password, then description.
        QCOMPARE(int(byteAt(client.exchange(readSettingsJournalRequest(0), Protocol::Modbus, 12), 7)), 3);
        QCOMPARE(int(byteAt(client.exchange(readSettingsJournalRequest(1), Protocol::Modbus, 12), 7)), 8);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        MeterState saved;
        QVERIFY(MeterState::load(file, &saved));
        QCOMPARE(saved.seed, 77u);
        QCOMPARE(saved.password, quint16(2024));
    }

    void executableRejectsBadOptions()
    {
        QProcess p;
        p.start(qEnvironmentVariable("METERSIM_EXE"), {"--address", "300"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void executableScanner()
    {
        QProcess p;
        p.start(qEnvironmentVariable("METERSIM_EXE"), {"--scanner", "--scan", "4711", "--scan-crlf"});
        QVERIFY(p.waitForStarted());
        QByteArray out; // the meter's device, then the scanner's
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).count('\n') >= 2, 5000);
        SimClient scanner(QString::fromLocal8Bit(out.split('\n').at(1)));
        QVERIFY(scanner.isOpen());
        QCOMPARE(scanner.readUntil([](const QByteArray &b) { return b.endsWith('\n'); }, 3000), QByteArray("4711\r\n"));
        p.write("815\n"); // a line typed on the standard input is scanned too
        QVERIFY(p.waitForBytesWritten(3000));
        QCOMPARE(scanner.readUntil([](const QByteArray &b) { return b.endsWith('\n'); }, 3000), QByteArray("815\r\n"));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }

    void scannerSendsCodes_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR") << 1 << int(ScannerServer::LineEnding::Cr) << QByteArray("12345\r");
        QTest::newRow("CR LF in pieces") << 4 << int(ScannerServer::LineEnding::CrLf) << QByteArray("012345\r\n");
        QTest::newRow("no ending") << 1 << int(ScannerServer::LineEnding::None) << QByteArray("77");
    }
    void scannerSendsCodes()
    {
        QFETCH(int, pieces);
        QFETCH(int, ending);
        QFETCH(QByteArray, bytes);
        ScannerServer scanner;
        QVERIFY(scanner.start());
        SimClient client(scanner.devicePath());
        client.write(hex("00")); // the program's greeting is ignored
        scanner.sendCode(QString::fromLatin1(bytes).remove('\r').remove('\n'), pieces,
                         static_cast<ScannerServer::LineEnding>(ending), 40);
        QCOMPARE(client.readUntil([&](const QByteArray &b) { return b.size() >= bytes.size(); }, 1000), bytes);
        QVERIFY(client.chunks.size() >= pieces);
        if (pieces > 1)
            QVERIFY(client.chunks.last().first - client.chunks.first().first >= 40 * (pieces - 1) - 5);
    }
};

QTEST_GUILESS_MAIN(TestMeterServer)
#include "tst_meterserver.moc"
