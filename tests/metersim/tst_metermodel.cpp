// The simulated meter's protocol core without a pseudo-terminal: reply
// layouts, checks and error codes, access control, framing of both protocol
// types, faults, the clock, readings and the generated journals.

#include "TestUtil.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/Frame.h"
#include "metersim/History.h"
#include "metersim/MeterBus.h"
#include "metersim/MeterModel.h"
#include "metersim/Options.h"
#include "metersim/Tariff.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar;
using namespace kelvar::link;
using namespace kelvar::sim;
using kelvar::test::hex;
using kelvar::test::hexText;

Q_DECLARE_METATYPE(kelvar::sim::Faults)

namespace {

qint64 hostMs(const QDateTime &t)
{
    return QDateTime(t.date(), t.time(), Qt::UTC).toMSecsSinceEpoch() -
           QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

// Monday, 15 June 2026, noon: day tariff 1 under the factory schedule.
const qint64 Noon = hostMs(QDateTime(QDate(2026, 6, 15), QTime(12, 0)));

struct Rig {
    MeterModel model;
    qint64 now = Noon;
    explicit Rig(const MeterState &state = MeterState()) : model(state) { model.powerOn(now); }
    QByteArray ask(const QByteArray &request) { return model.process(AppendCrc(request), now); }
    static QByteArray data(const QByteArray &reply) { return reply.mid(2, byteAt(reply, 1) - 2); }
    void unlock() { QCOMPARE(hexText(ask(passwordRequest(DefaultPassword)).left(2)), QStringLiteral("14 02")); }
    // Feeds "ms:hex" steps (ms after Noon) and returns what the meter sent.
    QByteArray script(const QStringList &steps, int *requests = nullptr)
    {
        QByteArray sent;
        for (const QString &step : steps) {
            const QStringList parts = step.split(':');
            const FeedResult r = model.feed(hex(parts[1].toLatin1().constData()), Noon + parts[0].toLongLong());
            for (const Transmission &t : r.sends)
                sent += t.bytes;
            if (requests)
                *requests += static_cast<int>(r.requests.size());
            if (r.linkChangeAfterSends)
                model.applyLinkChange();
        }
        return sent;
    }
};

QByteArray rs485(const QByteArray &frame) { return AppendCrc(frame); }
QByteArray modbus(const QByteArray &frame, quint8 address) { return envelope(frame, Protocol::Modbus, address); }
QString hexOf(const QByteArray &b) { return QString::fromLatin1(b.toHex()); }

QByteArray zone(int tariff, int exceed, int hour, int minute, int limit, int days, int months)
{
    QByteArray r;
    r.append(static_cast<char>((tariff - 1) | ((exceed - 1) << 4)));
    r.append(static_cast<char>(bcdEncode(hour)));
    r.append(static_cast<char>(bcdEncode(minute)));
    r.append(static_cast<char>(limit));
    r.append(static_cast<char>(days));
    appendLE(r, static_cast<quint32>(months), 2);
    return r;
}

} // namespace

class TestMeterModel : public QObject {
    Q_OBJECT
private slots:
    void replyLayouts_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("length");
        QTest::newRow("0 version") << request(fn::ReadVersion) << 7;
        QTest::newRow("1 number") << request(fn::ReadNumber) << 5;
        QTest::newRow("4 time") << request(fn::ReadTime) << 10;
        QTest::newRow("6 limit") << request(fn::ReadLimit) << 3;
        QTest::newRow("8 checksum") << request(fn::ReadSchedule) << 4;
        QTest::newRow("8 used slot") << readScheduleRecordRequest(3) << 10;
        QTest::newRow("8 empty slot") << readScheduleRecordRequest(200) << 3;
        QTest::newRow("10 calibration") << request(fn::ReadCalibration) << 8;
        QTest::newRow("12 load") << request(fn::ReadLoadPower) << 5;
        QTest::newRow("13 display") << request(fn::ReadDisplay) << 3;
        QTest::newRow("15 readings") << request(fn::ReadReadings) << 34;
        QTest::newRow("17 counters") << request(fn::ReadCounters) << 6;
        QTest::newRow("18 yearly") << readYearJournalRequest(0, 2026) << 28;
        QTest::newRow("18 yearly, future") << readYearJournalRequest(0, 2030) << 28;
        QTest::newRow("19 phases") << request(fn::ReadPhaseReadings) << 14;
        QTest::newRow("28 daily") << readDayJournalRequest(1, 5, 2026) << 17;
        QTest::newRow("29 profile") << readProfileRequest(14, 5, 2026) << 105;
        QTest::newRow("30 integration") << request(fn::ReadIntegration) << 3;
        QTest::newRow("34 billing") << request(fn::ReadBilling) << 4;
        QTest::newRow("38 holiday") << readHolidayRequest(15) << 5;
        QTest::newRow("40 transfer") << readTransferRequest(0) << 7;
        QTest::newRow("43 peaks") << request(fn::ReadPeaks) << 16;
        QTest::newRow("44 calibration date") << request(fn::ReadCalibrationDate) << 6;
        QTest::newRow("45 temperature") << request(fn::ReadTemperature) << 3;
        QTest::newRow("48 description") << request(fn::ReadDescription) << 50;
        QTest::newRow("50 settings entry") << readSettingsJournalRequest(0) << 9;
        QTest::newRow("50 empty settings entry") << readSettingsJournalRequest(255) << 3;
        QTest::newRow("51 power entry") << readPowerJournalRequest(0) << 8;
        QTest::newRow("78 averaging") << request(fn::ReadAveraging) << 3;
        QTest::newRow("20 password") << passwordRequest(DefaultPassword) << 2;
    }
    void replyLayouts()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, length);
        Rig rig;
        const QByteArray reply = rig.ask(request);
        QCOMPARE(byteAt(reply, 0), byteAt(request, 0));
        QCOMPARE(int(byteAt(reply, 1)), length);
        QCOMPARE(reply.size(), length + 2);
        QVERIFY(IsFrameCrcValid(reply));
    }

    void writesReadBack_data()
    {
        QTest::addColumn<QByteArray>("write");
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("display") << writeDisplayRequest(0x2A) << request(fn::ReadDisplay) << hex("2A");
        QTest::newRow("integration 60 min") << writeIntegrationRequest(60) << request(fn::ReadIntegration) << hex("3B");
        QTest::newRow("billing 25th 13h") << writeBillingRequest(25, 13) << request(fn::ReadBilling) << hex("13 25");
        QTest::newRow("averaging") << writeAveragingRequest(45) << request(fn::ReadAveraging) << hex("2D");
        QTest::newRow("limit") << writeLimitRequest(7) << request(fn::ReadLimit) << hex("07");
        QTest::newRow("calibration") << writeCalibrationRequest(-1, 0, 32767) << request(fn::ReadCalibration)
                                     << hex("FF FF 00 00 FF 7F");
        QTest::newRow("calibration extremes") << writeCalibrationRequest(-32768, 1, -2) << request(fn::ReadCalibration)
                                              << hex("00 80 01 00 FE FF");
        QTest::newRow("number") << writeNumberRequest(77881) << request(fn::ReadNumber) << hex("39 30 01");
        QTest::newRow("zone slot") << writeScheduleRecordRequest(5, hex("21 07 30 0F 1F FF 0F"))
                                   << readScheduleRecordRequest(5) << hex("05 21 07 30 0F 1F FF 0F");
        QTest::newRow("schedule cleared") << clearScheduleRequest() << readScheduleRecordRequest(3) << hex("03");
        QTest::newRow("holiday") << writeHolidayRequest(3, hex("08 03")) << readHolidayRequest(3) << hex("03 08 03");
        QTest::newRow("holidays cleared") << clearHolidaysRequest() << readHolidayRequest(0) << hex("00 00 00");
        QTest::newRow("transfer") << writeTransferRequest(2, hex("01 05 27 06")) << readTransferRequest(2)
                                  << hex("02 01 05 27 06");
        QTest::newRow("transfer cleared") << writeTransferRequest(2, hex("00 00 00 00")) << readTransferRequest(2)
                                          << hex("02 00 00 00 00");
        QTest::newRow("description") << writeDescriptionRequest(QStringLiteral("Щит 3, ввод Б"))
                                     << request(fn::ReadDescription)
                                     << writeDescriptionRequest(QStringLiteral("Щит 3, ввод Б")).mid(2);
    }
    void writesReadBack()
    {
        QFETCH(QByteArray, write);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, data);
        Rig rig;
        rig.unlock();
        const QByteArray ack = rig.ask(write);
        QCOMPARE(hexText(ack.left(2)), hexText(write.left(1) + hex("02")));
        QCOMPARE(hexText(Rig::data(rig.ask(read))), hexText(data));
    }

    void errorCodes_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("unlocked");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown 16") << request(16) << true << 1;
        QTest::newRow("unknown 33") << request(33) << true << 1;
        QTest::newRow("unknown 127") << request(127) << true << 1;
        QTest::newRow("function with bit 7") << request(0x84) << true << 1;
        QTest::newRow("read with data") << request(fn::ReadVersion, hex("00")) << true << 2;
        QTest::newRow("slot read with 2 bytes") << request(fn::ReadSchedule, hex("00 00")) << true << 2;
        QTest::newRow("short description") << request(fn::WriteDescription, QByteArray(10, 'a')) << true << 2;
        QTest::newRow("password without data") << request(fn::Password) << true << 2;
        QTest::newRow("holiday slot 16") << readHolidayRequest(16) << false << 4;
        QTest::newRow("transfer slot 255") << readTransferRequest(255) << false << 4;
        QTest::newRow("yearly month 12") << readYearJournalRequest(12, 2026) << false << 4;
        QTest::newRow("daily day 0") << readDayJournalRequest(0, 0, 2026) << false << 4;
        QTest::newRow("daily day 32") << readDayJournalRequest(32, 0, 2026) << false << 4;
        QTest::newRow("profile month 12") << readProfileRequest(1, 12, 2026) << false << 4;
        QTest::newRow("zone tariff 4") << writeScheduleRecordRequest(2, zone(4, 4, 7, 0, 0, 255, 0xFFF)) << true << 4;
        QTest::newRow("zone hour 24") << writeScheduleRecordRequest(2, zone(1, 1, 24, 0, 0, 255, 0xFFF)) << true << 4;
        QTest::newRow("zone minute 0x5A") << writeScheduleRecordRequest(2, hex("00 07 5A 00 FF FF 0F")) << true << 4;
        QTest::newRow("zone month 13") << writeScheduleRecordRequest(2, zone(1, 1, 7, 0, 0, 255, 0x1FFF)) << true << 4;
        QTest::newRow("clock second 0x1A") << request(fn::WriteTime, hex("1A 00 00 01 01 01 26 00")) << true << 4;
        QTest::newRow("clock 31 February") << request(fn::WriteTime, hex("00 00 00 01 31 02 26 00")) << true << 4;
        QTest::newRow("clock hour 24") << request(fn::WriteTime, hex("00 00 24 01 01 01 26 00")) << true << 4;
        QTest::newRow("billing hour 24") << writeBillingRequest(1, 24) << true << 4;
        QTest::newRow("billing day 0") << writeBillingRequest(0, 0) << true << 4;
        QTest::newRow("billing day not BCD") << request(fn::WriteBilling, hex("00 1F")) << true << 4;
        QTest::newRow("display bit 6") << writeDisplayRequest(0x40) << true << 4;
        QTest::newRow("integration 61 min") << request(fn::WriteIntegration, hex("3C")) << true << 4;
        QTest::newRow("averaging 4 s") << writeAveragingRequest(4) << true << 4;
        QTest::newRow("averaging 61 s") << writeAveragingRequest(61) << true << 4;
        QTest::newRow("limit 0") << writeLimitRequest(0) << true << 4;
        QTest::newRow("link parity 0x20") << writeLinkRequest(1, 0x60) << true << 4;
        QTest::newRow("link Rs-485 with parity") << writeLinkRequest(1, 0x10) << true << 4;
        QTest::newRow("link bit 2") << writeLinkRequest(1, 0x04) << true << 4;
        QTest::newRow("number 0") << writeNumberRequest(0) << true << 4;
        QTest::newRow("number 131072") << writeNumberRequest(131072) << true << 4;
        QTest::newRow("holiday 32nd") << writeHolidayRequest(0, hex("32 01")) << true << 4;
        QTest::newRow("holiday slot 16") << writeHolidayRequest(16, hex("01 01")) << true << 4;
        QTest::newRow("transfer 30 February") << writeTransferRequest(0, hex("30 02 27 01")) << true << 4;
        QTest::newRow("transfer day type 9") << writeTransferRequest(0, hex("01 05 27 09")) << true << 4;
        QTest::newRow("wrong password") << passwordRequest(4321) << false << 6;
        for (const QByteArray &write :
             {writeNumberRequest(5), writeLinkRequest(1, 0), writeTimeRequest(QDateTime::currentDateTime(), false),
              writeLimitRequest(2), clearScheduleRequest(), writeCalibrationRequest(1, 2, 3),
              writeDisplayRequest(1), writeIntegrationRequest(5), writeBillingRequest(1, 1), request(36),
              clearHolidaysRequest(), clearTransfersRequest(), writeDescriptionRequest("x"), writeAveragingRequest(9)})
            QTest::addRow("write %d locked", int(byteAt(write, 0))) << write << false << 6;
    }
    void errorCodes()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, unlocked);
        QFETCH(int, code);
        Rig rig;
        if (unlocked)
            rig.unlock();
        const MeterState before = rig.model.state(rig.now);
        const QByteArray reply = rig.ask(request);
        QVERIFY2(isErrorReply(reply, Protocol::Rs485), qPrintable(hexText(reply)));
        QCOMPARE(int(byteAt(reply, 0)), byteAt(request, 0) | 0x80);
        QCOMPARE(int(byteAt(reply, 2)), code);
        // A refused request changes nothing but the passing time.
        MeterState after = rig.model.state(rig.now);
        QCOMPARE(after.settingsJournal, before.settingsJournal);
        QCOMPARE(after.zones, before.zones);
        QCOMPARE(after.password, before.password);
    }

    void errorBadCrcAndProtected()
    {
        Rig rig;
        QByteArray frame = AppendCrc(request(fn::ReadNumber));
        frame[3] = static_cast<char>(frame[3] ^ 1);
        QCOMPARE(hexText(rig.model.process(frame, rig.now)), hexText(AppendCrc(hex("81 03 03"))));
        MeterState numbered;
        numbered.serialNumber = 42;
        Rig rig2(numbered);
        rig2.unlock();
        QCOMPARE(hexText(rig2.ask(writeNumberRequest(43))), hexText(AppendCrc(hex("82 03 05"))));
    }

    void passwordAndAccess()
    {
        MeterState s;
        s.password = 777;
        Rig rig(s);
        QCOMPARE(int(byteAt(rig.ask(writeDisplayRequest(1)), 2)), 6);
        QCOMPARE(int(byteAt(rig.ask(passwordRequest(778)), 2)), 6);  // wrong: refused
        QCOMPARE(int(byteAt(rig.ask(writeDisplayRequest(1)), 2)), 6); // and not accepted
        QCOMPARE(hexText(rig.ask(passwordRequest(777 + 65536))), hexText(AppendCrc(hex("14 02"))));
        QCOMPARE(hexText(rig.ask(writeDisplayRequest(1)).left(2)), QStringLiteral("0E 02"));
        // With access open another value is the new password.
        QCOMPARE(hexText(rig.ask(passwordRequest(4242)).left(2)), QStringLiteral("14 02"));
        QCOMPARE(rig.model.rawState().password, quint16(4242));
        QCOMPARE(rig.model.rawState().settingsJournal.first().parameter, quint8(param::Password));
        // Access lapses after the timeout without writes.
        rig.now += (DefaultAccessTimeoutSec + 1) * 1000;
        QCOMPARE(int(byteAt(rig.ask(writeDisplayRequest(2)), 2)), 6);
        QCOMPARE(int(byteAt(rig.ask(passwordRequest(777)), 2)), 6);
        QCOMPARE(hexText(rig.ask(passwordRequest(4242)).left(2)), QStringLiteral("14 02"));
        // Every write keeps it open.
        for (int i = 0; i < 5; ++i) {
            rig.now += (DefaultAccessTimeoutSec - 1) * 1000;
            QCOMPARE(hexText(rig.ask(writeDisplayRequest(3)).left(2)), QStringLiteral("0E 02"));
        }
        // A timeout of 0 never lapses; switching off closes access.
        MeterState noTimeout = rig.model.state(rig.now);
        noTimeout.accessTimeoutSec = 0;
        rig.model.setState(noTimeout, rig.now);
        rig.now += 3600 * 1000;
        QCOMPARE(hexText(rig.ask(writeDisplayRequest(4)).left(2)), QStringLiteral("0E 02"));
        rig.model.powerOff(rig.now);
        rig.model.powerOn(rig.now);
        QCOMPARE(int(byteAt(rig.ask(writeDisplayRequest(5)), 2)), 6);
    }

    void framingRs485_data()
    {
        const QString frame = hexOf(rs485(request(fn::ReadLimit)));   // 06 02 ...
        const QString reply = hexOf(rs485(hex("06 03 01")));
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("requests");
        QTest::newRow("exchange") << QStringList{"0:05", "5:" + frame} << "05" + reply << 1;
        QTest::newRow("frame in pieces") << QStringList{"0:05", "5:06", "10:02", "20:" + frame.mid(4)}
                                         << "05" + reply << 1;
        QTest::newRow("other address") << QStringList{"0:06", "5:" + frame} << QString() << 0;
        QTest::newRow("address inside a chunk") << QStringList{"0:05" + frame} << QString() << 0;
        QTest::newRow("frame without address") << QStringList{"0:" + frame} << QString() << 0;
        QTest::newRow("addressed twice") << QStringList{"0:05", "300:05", "305:" + frame} << "0505" + reply << 1;
        QTest::newRow("address wait runs out") << QStringList{"0:05", "1500:" + frame} << "05" << 0;
        QTest::newRow("partial frame dropped after a pause")
            << QStringList{"0:05", "5:0602", "200:05", "205:" + frame} << "05" + QString("05") + reply << 1;
        QTest::newRow("bytes after the frame dropped") << QStringList{"0:05", "5:" + frame + "0505"} << "05" + reply
                                                       << 1;
        QTest::newRow("length byte 0") << QStringList{"0:05", "5:0600ffff", "20:05", "300:05", "305:" + frame}
                                       << "05" + hexOf(rs485(hex("86 03 02"))) + "05" + reply << 1;
        QTest::newRow("length byte 1") << QStringList{"0:05", "5:0601", "300:05", "305:" + frame}
                                       << "05" + hexOf(rs485(hex("86 03 02"))) + "05" + reply << 1;
        QTest::newRow("length byte 255, truncated")
            << QStringList{"0:05", "5:06ff0102030405", "400:05", "405:" + frame} << "0505" + reply << 1;
        QTest::newRow("bad CRC") << QStringList{"0:05", "5:06020000"} << "05" + hexOf(rs485(hex("86 03 03"))) << 1;
    }
    void framingRs485()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, sent);
        QFETCH(int, requests);
        MeterState s;
        s.address = 5;
        Rig rig(s);
        int taken = 0;
        QCOMPARE(hexOf(rig.script(steps, &taken)), sent);
        QCOMPARE(taken, requests);
    }

    void framingModbus_data()
    {
        const QString frame = hexOf(modbus(request(fn::ReadLimit), 9));
        const QString reply = hexOf(modbus(hex("06 03 01"), 9));
        QByteArray badCrc = modbus(request(fn::ReadLimit), 9);
        badCrc[4] = static_cast<char>(badCrc[4] ^ 0x40);
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<int>("requests");
        QTest::newRow("exchange") << QStringList{"0:" + frame} << reply << 1;
        QTest::newRow("in pieces") << QStringList{"0:" + frame.left(4), "30:" + frame.mid(4)} << reply << 1;
        QTest::newRow("two frames in one chunk") << QStringList{"0:" + frame + frame} << reply + reply << 2;
        QTest::newRow("other address") << QStringList{"0:" + hexOf(modbus(request(fn::ReadLimit), 8))} << QString() << 0;
        QTest::newRow("bad CRC") << QStringList{"0:" + hexOf(badCrc)} << QString() << 0;
        QTest::newRow("partial then pause") << QStringList{"0:0906", "300:" + frame} << reply << 1;
        QTest::newRow("length byte 0 skipped till quiet")
            << QStringList{"0:090600", "20:" + frame, "300:" + frame} << reply << 1;
        QTest::newRow("length byte 255 truncated") << QStringList{"0:0906ff00", "300:" + frame} << reply << 1;
        QTest::newRow("error reply in envelope") << QStringList{"0:" + hexOf(modbus(request(16), 9))}
                                                 << hexOf(modbus(hex("90 03 01"), 9)) << 1;
    }
    void framingModbus()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, sent);
        QFETCH(int, requests);
        MeterState s;
        s.address = 9;
        s.protocol = Protocol::Modbus;
        Rig rig(s);
        int taken = 0;
        QCOMPARE(hexOf(rig.script(steps, &taken)), sent);
        QCOMPARE(taken, requests);
    }

    void faults_data()
    {
        // Each request is a function-6 read ("06 02"); its reply is 06 03 01 + CRC (5 bytes).
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QStringList>("sends"); // per request: "ms:hex ms:hex ..." ("" = none)
        const QString r = hexOf(rs485(hex("06 03 01")));
        Faults f;
        QTest::newRow("none") << f << 1 << QStringList{"0:" + r};
        f = {};
        f.silent = true;
        QTest::newRow("silent") << f << 2 << QStringList{"", ""};
        f = {};
        f.silentReply = 2;
        QTest::newRow("second reply silent") << f << 3 << QStringList{"0:" + r, "", "0:" + r};
        f = {};
        f.silentFunction = 6;
        QTest::newRow("function 6 silent") << f << 1 << QStringList{""};
        f = {};
        f.errorFunction = 6;
        f.errorCode = 5;
        QTest::newRow("error 5 to function 6") << f << 1 << QStringList{"0:" + hexOf(rs485(hex("86 03 05")))};
        f.errorFunction = 4;
        QTest::newRow("error to another function") << f << 1 << QStringList{"0:" + r};
        f.errorFunction = -1;
        QTest::newRow("error to any function") << f << 1 << QStringList{"0:" + hexOf(rs485(hex("86 03 05")))};
        f = {};
        f.corruptCrc = true;
        QByteArray corrupt = rs485(hex("06 03 01"));
        corrupt[4] = static_cast<char>(corrupt[4] ^ 0xFF);
        QTest::newRow("corrupt CRC") << f << 1 << QStringList{"0:" + hexOf(corrupt)};
        f = {};
        f.replyFunction = 0x07;
        QTest::newRow("another function code") << f << 1 << QStringList{"0:" + hexOf(rs485(hex("07 03 01")))};
        f = {};
        f.delayMs = 300;
        QTest::newRow("delay") << f << 1 << QStringList{"300:" + r};
        f = {};
        f.pieces = 3;
        f.pieceGapMs = 50;
        QTest::newRow("three pieces") << f << 1 << QStringList{"0:" + r.left(2) + " 50:" + r.mid(2, 4) + " 100:" + r.mid(6)};
        f.pieces = 9; // no more pieces than bytes
        QTest::newRow("more pieces than bytes")
            << f << 1
            << QStringList{"0:" + r.left(2) + " 50:" + r.mid(2, 2) + " 100:" + r.mid(4, 2) + " 150:" + r.mid(6, 2) +
                           " 200:" + r.mid(8, 2)};
        f = {};
        f.garbage = hex("FF 00 AA");
        QTest::newRow("garbage in front") << f << 1 << QStringList{"0:ff00aa" + r};
        f = {};
        // 11 bits a character at 4800 baud: 2.29 ms a byte; the request's 4 bytes
        // take 9.2 ms, then the reply leaves in slices of two bytes (about 5 ms),
        // its last byte done at 9 x 2.29 = 20.6 ms.
        f.wireBaud = 4800;
        const QStringList at4800{"14:" + r.left(4) + " 19:" + r.mid(4, 4) + " 21:" + r.mid(8)};
        QTest::newRow("wire time at 4800") << f << 1 << at4800;
        f.wireBaud = 38400; // 0.29 ms a byte: 9 bytes 2.6 ms, plus the turnaround
        f.turnaroundMs = 10;
        QTest::newRow("wire time at 38400 with turnaround") << f << 1 << QStringList{"13:" + r};
        f = {};
        f.wireBaud = -1; // the meter's own 4800
        QTest::newRow("wire time at the meter's rate") << f << 1 << at4800;
        f = {};
        f.delayMs = 100;
        f.shots = 1;
        QTest::newRow("one shot delay") << f << 2 << QStringList{"100:" + r, "0:" + r};
        f = {};
        f.silentFunction = 6;
        f.shots = 2;
        QTest::newRow("two shots of silence") << f << 3 << QStringList{"", "", "0:" + r};
    }
    void faults()
    {
        QFETCH(Faults, faults);
        QFETCH(int, requests);
        QFETCH(QStringList, sends);
        MeterState s;
        s.protocol = Protocol::Modbus; // no handshake: every frame is one feed
        s.address = 1;
        Rig rig(s);
        // The same checks as in "Rs-485", where the reply carries no address.
        MeterState r485 = rig.model.state(rig.now);
        r485.protocol = Protocol::Rs485;
        rig.model.setState(r485, rig.now);
        rig.model.setFaults(faults);
        for (int i = 0; i < requests; ++i) {
            rig.now += 1000;
            QStringList got;
            FeedResult res = rig.model.feed(hex("01"), rig.now);
            if (!faults.silent && faults.wireBaud == 0)
                QCOMPARE(hexText(res.sends.value(0).bytes), QStringLiteral("01"));
            res = rig.model.feed(rs485(request(fn::ReadLimit)), rig.now + 1);
            QCOMPARE(res.requests.size(), 1);
            for (const Transmission &t : res.sends)
                got << QStringLiteral("%1:%2").arg(t.atMs).arg(hexOf(t.bytes));
            QCOMPARE(got.join(' '), sends[i]);
        }
    }

    void refusedByFaultHasNoEffect()
    {
        Rig rig;
        rig.unlock();
        Faults f;
        f.errorFunction = fn::WriteDisplay;
        f.errorCode = 6;
        rig.model.setFaults(f);
        const quint8 before = rig.model.rawState().displayMask;
        rig.model.feed(hex("00"), rig.now);
        const FeedResult r = rig.model.feed(rs485(writeDisplayRequest(before ^ 1)), rig.now);
        QCOMPARE(r.requests.size(), 1);
        QCOMPARE(rig.model.rawState().displayMask, before);
        f = {};
        f.silentFunction = fn::WriteDisplay;
        rig.model.setFaults(f);
        rig.model.feed(hex("00"), rig.now + 10);
        rig.model.feed(rs485(writeDisplayRequest(before ^ 1)), rig.now + 10);
        QCOMPARE(rig.model.rawState().displayMask, before);
    }

    void linkChangesAfterItsReply()
    {
        MeterState s;
        s.address = 3;
        Rig rig(s);
        rig.model.feed(hex("03"), rig.now);
        rig.model.feed(rs485(passwordRequest(DefaultPassword)), rig.now);
        rig.model.feed(hex("03"), rig.now + 10);
        const FeedResult r = rig.model.feed(rs485(writeLinkRequest(7, linkByte(1, true, 1))), rig.now + 10);
        // The acknowledgement goes out in the old parameters ...
        QCOMPARE(hexText(r.sends.value(0).bytes), hexText(rs485(hex("03 02"))));
        QVERIFY(r.linkChangeAfterSends);
        QCOMPARE(rig.model.rawState().address, quint8(3));
        QCOMPARE(rig.model.rawState().protocol, Protocol::Rs485);
        // ... then the meter switches.
        rig.model.applyLinkChange();
        const MeterState &now = rig.model.rawState();
        QCOMPARE(now.address, quint8(7));
        QCOMPARE(now.protocol, Protocol::Modbus);
        QCOMPARE(now.baudIndex, 1);
        QCOMPARE(now.parity, 1);
        QCOMPARE(now.settingsJournal.first().parameter, quint8(param::Link));
        const FeedResult m = rig.model.feed(modbus(request(fn::ReadLimit), 7), rig.now + 20);
        QCOMPARE(hexText(m.sends.value(0).bytes), hexText(modbus(hex("06 03 01"), 7)));
        QVERIFY(rig.model.feed(hex("03"), rig.now + 400).sends.isEmpty());
    }

    void clockWrite()
    {
        Rig rig;
        rig.unlock();
        const MeterState before = rig.model.state(rig.now);
        const quint8 corrections = before.corrections;
        const QDateTime set(QDate(2027, 3, 9), QTime(8, 30, 15));
        QCOMPARE(hexText(rig.ask(writeTimeRequest(set, true)).left(2)), QStringLiteral("05 02"));
        // Moving the clock moves no energy.
        const MeterState moved = rig.model.state(rig.now);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(moved.tariffCounts[i], before.tariffCounts[i]);
        rig.now += 65 * 1000;
        const MeterClock clock = decodeMeterClock(rig.ask(request(fn::ReadTime)), 2);
        QCOMPARE(clock.time, set.addSecs(65));
        QVERIFY(clock.summerTime);
        QVERIFY(!clock.timeNotSet);
        QCOMPARE(clock.tariff, 1); // 08:30 on a Tuesday: day tariff
        const MeterState s = rig.model.state(rig.now);
        QCOMPARE(s.corrections, quint8(corrections + 1));
        QCOMPARE(s.settingsJournal.first().parameter, quint8(param::Time));
        QCOMPARE(s.settingsJournal.first().counter, corrections);
        QCOMPARE(s.settingsJournal.first().time, toSecondsSince2000(set));
    }

    void readingsGrowWithLoad()
    {
        MeterState s;
        s.loadKw = 3.6;
        Rig rig(s);
        const QByteArray r0 = rig.ask(request(fn::ReadReadings));
        const QByteArray p0 = rig.ask(request(fn::ReadPhaseReadings));
        const quint32 w0 = readU24(rig.ask(request(fn::ReadCounters)), 2);
        rig.now += 3600 * 1000; // an hour of day tariff at 3.6 kW: 3.6 kWh
        const QByteArray r1 = rig.ask(request(fn::ReadReadings));
        QCOMPARE(readEnergyKWh(r1, 2) - readEnergyKWh(r0, 2), 3.6);
        QCOMPARE(readU32(r1, 6), readU32(r0, 6));
        QCOMPARE(readU32(r1, 14), readU32(r1, 2) + readU32(r1, 6) + readU32(r1, 10));
        const QByteArray p1 = rig.ask(request(fn::ReadPhaseReadings));
        double phases = 0;
        for (int i = 0; i < 3; ++i)
            phases += readEnergyKWh(p1, 2 + 4 * i) - readEnergyKWh(p0, 2 + 4 * i);
        QVERIFY(std::abs(phases - 3.6) < 0.001);
        QCOMPARE(readU24(rig.ask(request(fn::ReadCounters)), 2) - w0, 120u);
        QCOMPARE(readU24(rig.ask(request(fn::ReadLoadPower)), 2), 36000u);
        // Past 23:00 the night tariff 2 counts.
        rig.now += 11 * 3600 * 1000;
        const QByteArray r2 = rig.ask(request(fn::ReadReadings));
        QCOMPARE(readEnergyKWh(r2, 6) - readEnergyKWh(r1, 6), 3.6);
        QCOMPARE(decodeMeterClock(rig.ask(request(fn::ReadTime)), 2).tariff, 2);
        // Today's profile holds the live half hours; resetting the billing readings zeroes them.
        const QByteArray profile = rig.ask(readProfileRequest(15, 5, 2026));
        QCOMPARE(readU16(profile, 9 + 2 * 30), 7200); // 15:00-15:30 at 3.6 kW
        rig.unlock();
        rig.ask(request(fn::ResetBillingReadings));
        const QByteArray r3 = rig.ask(request(fn::ReadReadings));
        QCOMPARE(readU32(r3, 18) + readU32(r3, 22) + readU32(r3, 26) + readU32(r3, 30), 0u);
        QCOMPARE(readU24(rig.ask(request(fn::ReadPeaks)), 13), 0u);
    }

    void billingDateFreezesReadings()
    {
        MeterState s;
        Rig rig(s);
        rig.unlock();
        rig.ask(writeBillingRequest(15, 14)); // today, 14:00
        const quint32 peakBefore = rig.model.rawState().peakPower;
        rig.now += 2 * 3600 * 1000 + 1000; // 14:00:01
        const QByteArray r = rig.ask(request(fn::ReadReadings));
        // The billing readings are those of 14:00, one second ago (1.2 kW: 1.3 counts).
        QVERIFY(readU32(r, 30) > 0);
        QVERIFY(readU32(r, 14) - readU32(r, 30) <= 2);
        const QByteArray peaks = rig.ask(request(fn::ReadPeaks));
        QCOMPARE(readU24(peaks, 13), std::max(peakBefore, 1200u)); // frozen at the billing date
        QCOMPARE(readU24(peaks, 6), 1200u);                       // counted afresh since
        QCOMPARE(readSecondsSince2000(peaks, 2), QDateTime(QDate(2026, 6, 15), QTime(14, 0, 1)));
    }

    void journalsAreConsistent()
    {
        MeterState s;
        s.seed = 7;
        Rig rig(s);
        // Every day: the reading at 00:00 plus the half hours gives the next day's.
        QDate date(2024, 6, 1);
        int days = 0;
        QByteArray profile = rig.ask(readProfileRequest(date.day(), date.month() - 1, date.year()));
        for (; date < QDate(2026, 6, 15); date = date.addDays(1), ++days) {
            const QDate next = date.addDays(1);
            const QByteArray nextProfile = rig.ask(readProfileRequest(next.day(), next.month() - 1, next.year()));
            QCOMPARE(int(byteAt(profile, 1)), 105);
            quint32 sum = readU32(profile, 5);
            for (int i = 0; i < 48; ++i)
                sum += readU16(profile, 9 + 2 * i);
            QCOMPARE(sum, readU32(nextProfile, 5));
            const QByteArray daily = rig.ask(readDayJournalRequest(date.day(), date.month() - 1, date.year()));
            QCOMPARE(readU32(daily, 5) + readU32(daily, 9) + readU32(daily, 13), readU32(profile, 5));
            if (date.day() == 1) {
                const QByteArray yearly = rig.ask(readYearJournalRequest(date.month() - 1, date.year()));
                QCOMPARE(hexText(yearly.mid(6, 12)), hexText(daily.mid(5, 12)));
                QCOMPARE(QDate(2000 + bcdDecode(byteAt(yearly, 5)), bcdDecode(byteAt(yearly, 4)),
                               bcdDecode(byteAt(yearly, 3))),
                         date);
            }
            profile = nextProfile;
        }
        QVERIFY(days > 700);
        // Days and months that never were answer as erased memory.
        for (const QByteArray &blank :
             {readDayJournalRequest(31, 3, 2026), readDayJournalRequest(30, 1, 2025), readDayJournalRequest(16, 5, 2026),
              readDayJournalRequest(1, 0, 2020), readProfileRequest(1, 0, 2030), readYearJournalRequest(6, 2026),
              readYearJournalRequest(0, 2022)}) {
            const QByteArray reply = rig.ask(blank);
            QCOMPARE(reply.mid(2, reply.size() - 4), QByteArray(byteAt(reply, 1) - 2, char(0xFF)));
        }
        // The power-on journal: newest first, switch-offs and switch-ons in turn.
        const MeterState st = rig.model.state(rig.now);
        QVERIFY(st.powerJournal.size() >= 3);
        for (int i = 0; i + 1 < st.powerJournal.size(); ++i) {
            QVERIFY(st.powerJournal[i].time >= st.powerJournal[i + 1].time);
            QVERIFY(st.powerJournal[i].event != st.powerJournal[i + 1].event);
        }
        QCOMPARE(st.powerJournal.first().event, quint8(power::On));
        const QByteArray entry = rig.ask(readPowerJournalRequest(0));
        QCOMPARE(readU32(entry, 3), st.powerJournal.first().time);
        QCOMPARE(int(byteAt(entry, 7)), 1);
        const QByteArray setting = rig.ask(readSettingsJournalRequest(0));
        QCOMPARE(readU32(setting, 3), st.settingsJournal.first().time);
        QCOMPARE(int(byteAt(setting, 8)), int(st.settingsJournal.first().counter));
        // Operating time is what the history powered.
        QVERIFY(st.workingHalfMinutes > 0);
    }

    void switchedOffMeterStandsStill()
    {
        MeterState s;
        s.loadKw = 3.6;
        MeterModel model(s);
        QVERIFY(model.process(AppendCrc(request(fn::ReadLimit)), Noon).isEmpty()); // off: no answer
        QCOMPARE(model.state(Noon).birth, 0u);                                    // and no history yet
        model.powerOn(Noon);
        const MeterState on = model.state(Noon + 1800 * 1000);
        model.powerOff(Noon + 1800 * 1000);
        // Off across midnight for two days: nothing counts, nothing answers.
        const qint64 back = Noon + 2 * 86400 * 1000;
        QVERIFY(model.feed(hex("00"), back).sends.isEmpty());
        model.powerOn(back);
        const MeterState again = model.state(back);
        QCOMPARE(again.tariffCounts, on.tariffCounts);
        QCOMPARE(again.workingHalfMinutes, on.workingHalfMinutes);
        QCOMPARE(again.powerJournal[0], (PowerEntry{static_cast<quint32>(back / 1000), power::On}));
        QCOMPARE(again.powerJournal[1], (PowerEntry{static_cast<quint32>(Noon / 1000 + 1800), power::Off}));
        QCOMPARE(again.powerJournal[2].event, quint8(power::On));
        // The day it came back in starts from the readings it stopped with; the day between has no record.
        QByteArray stopped;
        for (quint32 c : wholeCounts(on.tariffCounts))
            appendLE(stopped, c, 4);
        const QByteArray today = model.process(AppendCrc(readDayJournalRequest(17, 5, 2026)), back);
        QCOMPARE(hexText(today.mid(5, 12)), hexText(stopped));
        const QByteArray between = model.process(AppendCrc(readDayJournalRequest(16, 5, 2026)), back);
        QCOMPARE(byteAt(between, 2), quint8(0xFF));
    }

    void historyDependsOnSeed()
    {
        QCOMPARE(History::slotCounts(1, 9000, 10), History::slotCounts(1, 9000, 10));
        int differ = 0;
        for (int slot = 0; slot < 48; ++slot)
            differ += History::slotCounts(1, 9000, slot) != History::slotCounts(2, 9000, slot);
        QVERIFY(differ > 40);
        MeterState a, b;
        a.seed = b.seed = 99;
        Rig ra(a), rb(b);
        QCOMPARE(ra.ask(readProfileRequest(3, 2, 2025)), rb.ask(readProfileRequest(3, 2, 2025)));
    }

    void settingsJournalRecordsWrites()
    {
        Rig rig;
        rig.unlock();
        const int before = int(rig.model.rawState().settingsJournal.size());
        // A schedule write as the program sends it: one entry per table, not per slot.
        for (const QByteArray &write :
             {clearHolidaysRequest(), clearTransfersRequest(), clearScheduleRequest(), writeLimitRequest(3),
              writeHolidayRequest(0, hex("01 01")), writeHolidayRequest(1, hex("07 01")),
              writeScheduleRecordRequest(2, zone(1, 1, 7, 0, 0, 255, 0xFFF)),
              writeScheduleRecordRequest(3, zone(2, 2, 23, 0, 0, 255, 0xFFF)), writeDescriptionRequest("a"),
              writeIntegrationRequest(15), writeAveragingRequest(20), writeDisplayRequest(3)})
            QCOMPARE(int(byteAt(rig.ask(write), 0)), int(byteAt(write, 0)));
        const QList<SettingsEntry> journal = rig.model.rawState().settingsJournal;
        QList<int> params;
        for (int i = int(journal.size()) - before - 1; i >= 0; --i)
            params << journal[i].parameter;
        QCOMPARE(params, (QList<int>{10, 11, 9, 2, 10, 9, 8, 4, 15, 7}));
    }

    void scheduleChecksumFollowsTheSchedule()
    {
        Rig rig;
        rig.unlock();
        const quint16 first = readU16(rig.ask(request(fn::ReadSchedule)), 2);
        rig.ask(writeScheduleRecordRequest(9, zone(3, 3, 12, 0, 0, 1, 1)));
        const quint16 second = readU16(rig.ask(request(fn::ReadSchedule)), 2);
        QVERIFY(first != second);
        rig.ask(writeTransferRequest(0, hex("01 05 27 06")));
        QVERIFY(readU16(rig.ask(request(fn::ReadSchedule)), 2) != second);
    }

    void tariffs_data()
    {
        QTest::addColumn<QList<QByteArray>>("zones");
        QTest::addColumn<QByteArray>("holiday");
        QTest::addColumn<QByteArray>("transfer");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<double>("loadW");
        QTest::addColumn<int>("tariff");
        const QList<QByteArray> weekdays{zone(1, 1, 7, 0, 0, 0x1F, 0xFFF), zone(2, 2, 23, 0, 0, 0x1F, 0xFFF),
                                         zone(3, 3, 0, 0, 0, 0xE0, 0xFFF)};
        const QDateTime monday(QDate(2026, 6, 15), QTime(12, 0));
        QTest::newRow("weekday day") << weekdays << QByteArray() << QByteArray() << monday << 0.0 << 1;
        QTest::newRow("before the first zone: last one runs on")
            << weekdays << QByteArray() << QByteArray() << QDateTime(monday.date(), QTime(3, 0)) << 0.0 << 2;
        QTest::newRow("sunday") << weekdays << QByteArray() << QByteArray() << monday.addDays(-1) << 0.0 << 3;
        QTest::newRow("holiday") << weekdays << hex("15 06") << QByteArray() << monday << 0.0 << 3;
        QTest::newRow("sunday worked as monday")
            << weekdays << QByteArray() << hex("14 06 26 01") << monday.addDays(-1) << 0.0 << 1;
        QTest::newRow("transfer of another year")
            << weekdays << QByteArray() << hex("14 06 27 01") << monday.addDays(-1) << 0.0 << 3;
        QTest::newRow("no zones") << QList<QByteArray>() << QByteArray() << QByteArray() << monday << 0.0 << 1;
        QTest::newRow("month not covered")
            << QList<QByteArray>{zone(3, 3, 0, 0, 0, 0xFF, 0x001)} << QByteArray() << QByteArray() << monday << 0.0 << 1;
        // Limit 5 with coefficient 2: 2500 W.
        const QList<QByteArray> limited{zone(1, 3, 0, 0, 5, 0xFF, 0xFFF)};
        QTest::newRow("under the limit") << limited << QByteArray() << QByteArray() << monday << 2500.0 << 1;
        QTest::newRow("over the limit") << limited << QByteArray() << QByteArray() << monday << 2501.0 << 3;
    }
    void tariffs()
    {
        QFETCH(QList<QByteArray>, zones);
        QFETCH(QByteArray, holiday);
        QFETCH(QByteArray, transfer);
        QFETCH(QDateTime, at);
        QFETCH(double, loadW);
        QFETCH(int, tariff);
        MeterState s;
        s.zones.fill(QByteArray());
        s.holidays.fill(QByteArray(2, '\0'));
        for (int i = 0; i < zones.size(); ++i)
            s.zones[10 + i] = zones[i];
        if (!holiday.isEmpty())
            s.holidays[4] = holiday;
        if (!transfer.isEmpty())
            s.transfers[7] = transfer;
        s.limitCoefficient = 2;
        QCOMPARE(tariffAt(s, toSecondsSince2000(at), loadW), tariff);
    }

    void stateRoundTrip()
    {
        Rig rig;
        rig.unlock();
        rig.ask(writeDescriptionRequest(QStringLiteral("Подстанция №2")));
        rig.ask(writeCalibrationRequest(-5, 6, -7));
        rig.ask(writeTransferRequest(1, hex("01 05 27 06")));
        rig.ask(passwordRequest(31337));
        rig.now += 5000000;
        const MeterState state = rig.model.state(rig.now);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("meter.json"));
        QVERIFY(state.save(path));
        MeterState loaded;
        QString error;
        QVERIFY2(MeterState::load(path, &loaded, &error), qPrintable(error));
        QCOMPARE(loaded.toJson(), state.toJson());
        QVERIFY(loaded == state);
    }

    void stateRejectsBadValues_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("address 256") << QByteArray(R"({"address":256})");
        QTest::newRow("protocol") << QByteArray(R"({"protocol":"rs232"})");
        QTest::newRow("fractional baud") << QByteArray(R"({"baudIndex":1.5})");
        QTest::newRow("zone slot 300") << QByteArray(R"({"zones":{"300":"00000000ffff0f"}})");
        QTest::newRow("short zone") << QByteArray(R"({"zones":{"3":"0000"}})");
        QTest::newRow("holidays count") << QByteArray(R"({"holidays":["0101"]})");
        QTest::newRow("description not hex") << QByteArray(R"({"description":"zz"})");
        QTest::newRow("number 17 bits") << QByteArray(R"({"serialNumber":131072})");
        QTest::newRow("boolean as number") << QByteArray(R"({"timeNotSet":1})");
    }
    void stateRejectsBadValues()
    {
        QFETCH(QByteArray, json);
        MeterState state;
        state.address = 77;
        QString error;
        QVERIFY(!MeterState::fromJson(QJsonDocument::fromJson(json).object(), &state, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(state.address, quint8(77)); // untouched
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::newRow("plain") << QStringList{"--address", "5", "--protocol=modbus", "--parity", "even"} << true;
        QTest::newRow("faults") << QStringList{"--error", "4:6", "--split", "3:10", "--garbage", "ff00",
                                               "--wire-baud", "meter", "--fault-shots", "1"}
                                << true;
        QTest::newRow("error to any") << QStringList{"--error=any:3"} << true;
        QTest::newRow("address 256") << QStringList{"--address", "256"} << false;
        QTest::newRow("missing value") << QStringList{"--state"} << false;
        QTest::newRow("flag with value") << QStringList{"--silent=1"} << false;
        QTest::newRow("unknown") << QStringList{"--colour", "red"} << false;
        QTest::newRow("bad baud") << QStringList{"--baud", "1200"} << false;
        QTest::newRow("bad error") << QStringList{"--error", "4"} << false;
        QTest::newRow("bad garbage") << QStringList{"--garbage", "xyz"} << false;
        QTest::newRow("scan without scanner") << QStringList{"--scan", "123"} << false;
        QTest::newRow("positional") << QStringList{"meter"} << false;
        QTest::newRow("bus") << QStringList{"--meter", "0", "--meter=17:/tmp/m17.json", "--corrupt-crc@17",
                                            "--error@0", "4:6"}
                             << true;
        QTest::newRow("bus with --address") << QStringList{"--meter", "0", "--address", "3"} << false;
        QTest::newRow("bus, two at one address") << QStringList{"--meter", "5", "--meter", "5"} << false;
        QTest::newRow("bus with one --number") << QStringList{"--meter", "5", "--meter", "6", "--number", "9"} << false;
        QTest::newRow("meter without address") << QStringList{"--meter", ":x.json"} << false;
        QTest::newRow("non-fault names a meter") << QStringList{"--load@5", "2"} << false;
        QTest::newRow("fault names no address") << QStringList{"--silent@x"} << false;
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        SimOptions o;
        QString error;
        QCOMPARE(parseOptions(args, &o, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
    }

    void optionsApply()
    {
        SimOptions o;
        QVERIFY(parseOptions({"--address", "5", "--protocol", "modbus", "--parity", "odd", "--baud", "19200",
                              "--password", "4321", "--number", "42", "--load", "2.5", "--seed", "9", "--error",
                              "4:6", "--split", "3", "--wire-baud", "meter"},
                             &o, nullptr));
        MeterState s;
        applyOptions(o, s);
        QCOMPARE(s.address, quint8(5));
        QCOMPARE(s.protocol, Protocol::Modbus);
        QCOMPARE(s.parity, 2);
        QCOMPARE(s.baudIndex, 2);
        QCOMPARE(s.password, quint16(4321));
        QCOMPARE(s.serialNumber, 42u);
        QCOMPARE(s.loadKw, 2.5);
        QCOMPARE(s.seed, 9u);
        QCOMPARE(o.faults.errorFunction, 4);
        QCOMPARE(o.faults.errorCode, 6);
        QCOMPARE(o.faults.pieces, 3);
        QCOMPARE(o.faults.pieceGapMs, 20);
        QCOMPARE(o.faults.wireBaud, -1);
        // A history already made keeps its seed.
        s.birth = 1;
        s.seed = 3;
        applyOptions(o, s);
        QCOMPARE(s.seed, 3u);
    }

    // The meters of a line: each its own address, number, history and faults.
    void optionsBus()
    {
        SimOptions o;
        QVERIFY(parseOptions({"--meter", "0", "--meter", "200", "--protocol", "modbus", "--wire-baud", "meter",
                              "--silent@200", "--fault-shots@200", "1"},
                             &o, nullptr));
        QList<StartingMeter> meters;
        QString error;
        QVERIFY2(startingMeters(o, &meters, &error), qPrintable(error));
        QCOMPARE(meters.size(), 2);
        QCOMPARE(meters[1].state.address, quint8(200));
        QCOMPARE(meters[1].state.protocol, Protocol::Modbus);
        QCOMPARE(meters[0].state.serialNumber, 100000u);
        QCOMPARE(meters[1].state.serialNumber, 100200u);
        QVERIFY(meters[0].state.seed != meters[1].state.seed);
        Faults all;
        all.wireBaud = -1;
        QCOMPARE(meters[0].faults, all);
        all.silent = true;
        all.shots = 1;
        QCOMPARE(meters[1].faults, all);
        QVERIFY(parseOptions({"--meter", "0", "--silent@7"}, &o, nullptr));
        QVERIFY(!startingMeters(o, &meters, &error));
        QVERIFY(error.contains("7"));
    }

    // A line with several meters: an "Rs-485" address byte wakes only its
    // meter, whose frame no other meter takes, whatever its first byte; in
    // "MODBUS" each meter answers the frames with its own address.
    void bus_data()
    {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QList<int>>("taken"); // requests taken per meter (addresses 0, 17, 255)
        const QString limit = hexOf(rs485(request(fn::ReadLimit)));
        const QString reply = hexOf(rs485(hex("06 03 01")));
        QTest::newRow("Rs-485 to 17") << Protocol::Rs485 << QStringList{"0:11", "5:" + limit} << "11" + reply
                                      << QList<int>{0, 1, 0};
        QTest::newRow("Rs-485 nobody at 16") << Protocol::Rs485 << QStringList{"0:10", "5:" + limit} << QString()
                                             << QList<int>{0, 0, 0};
        QTest::newRow("Rs-485 frame in pieces, a lone byte inside it")
            << Protocol::Rs485 << QStringList{"0:ff", "5:" + limit.left(4), "6:" + limit.mid(4, 2), "7:" + limit.mid(6)}
            << "ff" + reply << QList<int>{0, 0, 1};
        QTest::newRow("Rs-485 nobody at 16, then 0")
            << Protocol::Rs485 << QStringList{"0:10", "30:00", "35:" + limit} << "00" + reply << QList<int>{1, 0, 0};
        QTest::newRow("Rs-485 readdressed mid-way") << Protocol::Rs485
                                                    << QStringList{"0:11", "5:" + limit.left(4), "300:00", "305:" + limit}
                                                    << "11" "00" + reply << QList<int>{1, 0, 0};
        QTest::newRow("MODBUS to 255") << Protocol::Modbus << QStringList{"0:" + hexOf(modbus(request(fn::ReadLimit), 255))}
                                       << hexOf(modbus(hex("06 03 01"), 255)) << QList<int>{0, 0, 1};
        QTest::newRow("MODBUS nobody at 16") << Protocol::Modbus
                                             << QStringList{"0:" + hexOf(modbus(request(fn::ReadLimit), 16))} << QString()
                                             << QList<int>{0, 0, 0};
    }
    void bus()
    {
        QFETCH(Protocol, protocol);
        QFETCH(QStringList, steps);
        QFETCH(QString, sent);
        QFETCH(QList<int>, taken);
        MeterBus bus;
        for (const int address : {0, 17, 255}) {
            MeterState s;
            s.address = static_cast<quint8>(address);
            s.protocol = protocol;
            if (address == 0)
                bus.meter(0).setState(s, Noon);
            else
                bus.add(s, Noon);
        }
        for (int i = 0; i < bus.size(); ++i)
            bus.meter(i).powerOn(Noon);
        QByteArray line;
        QList<int> requests(bus.size());
        for (const QString &step : steps) {
            const QStringList parts = step.split(':');
            for (const MeterFeed &f : bus.feed(hex(parts[1].toLatin1().constData()), Noon + parts[0].toLongLong())) {
                for (const Transmission &t : f.result.sends)
                    line += t.bytes;
                requests[f.meter] += static_cast<int>(f.result.requests.size());
            }
        }
        QCOMPARE(hexOf(line), sent);
        QCOMPARE(requests, taken);
    }
};

QTEST_GUILESS_MAIN(TestMeterModel)
#include "tst_metermodel.moc"
