// Field encodings: BCD, integers, date-time block, seconds since 2000,
// energy, serial number, version, password.

#include "TestUtil.h"
#include "link/Encoding.h"

#include <QtTest>

using namespace kelvar::link;
using kelvar::test::hex;
using kelvar::test::hexText;

class TestEncoding : public QObject {
    Q_OBJECT
private slots:
    void bcd_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("byte");
        QTest::newRow("0") << 0 << 0x00;
        QTest::newRow("9") << 9 << 0x09;
        QTest::newRow("10") << 10 << 0x10;
        QTest::newRow("59") << 59 << 0x59;
        QTest::newRow("99") << 99 << 0x99;
    }
    void bcd()
    {
        QFETCH(int, value);
        QFETCH(int, byte);
        QCOMPARE(int(bcdEncode(value)), byte);
        QCOMPARE(bcdDecode(quint8(byte)), value);
    }

    void bcdDecodeHasNoValidityCheck()
    {
        QCOMPARE(bcdDecode(0x1A), 20);
        QCOMPARE(bcdDecode(0xFF), 165);
    }

    void integers()
    {
        const QByteArray b = hex("39 30 03 80 FF");
        QCOMPARE(readU16(b, 0), quint16(0x3039));
        QCOMPARE(readU24(b, 0), quint32(0x033039));
        QCOMPARE(readU32(b, 0), quint32(0x80033039));
        QCOMPARE(readU32(b, 3), quint32(0xFF80)); // past the end reads zero
        QCOMPARE(readU16(b, -1), quint16(0x39 << 8));
        QByteArray out;
        appendLE(out, 0x12345678, 4);
        appendLE(out, 0xABCDEF, 3);
        QCOMPARE(hexText(out), QStringLiteral("78 56 34 12 EF CD AB"));
    }

    void signed16_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << 0 << hex("00 00");
        QTest::newRow("-1") << -1 << hex("FF FF");
        QTest::newRow("min") << -32768 << hex("00 80");
        QTest::newRow("max") << 32767 << hex("FF 7F");
        QTest::newRow("-300") << -300 << hex("D4 FE");
    }
    void signed16()
    {
        QFETCH(int, value);
        QFETCH(QByteArray, bytes);
        QByteArray out;
        appendS16(out, value);
        QCOMPARE(out, bytes);
        QCOMPARE(int(readS16(bytes, 0)), value);
    }

    void meterClockEncode()
    {
        // Wednesday 9 December 2026 14:05:09, summer time wanted.
        const QDateTime t(QDate(2026, 12, 9), QTime(14, 5, 9));
        QCOMPARE(hexText(encodeMeterClock(t, true)), QStringLiteral("09 05 14 03 09 12 26 80"));
        // Sunday is 7; year 2009 gives 09, 2010 gives 10.
        QCOMPARE(hexText(encodeMeterClock(QDateTime(QDate(2009, 3, 1), QTime(0, 0)), false)),
                 QStringLiteral("00 00 00 07 01 03 09 00"));
        QCOMPARE(hexText(encodeMeterClock(QDateTime(QDate(2010, 3, 1), QTime(23, 59, 59)), false)),
                 QStringLiteral("59 59 23 01 01 03 10 00"));
    }

    void meterClockDecode_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<bool>("summer");
        QTest::addColumn<bool>("notSet");
        QTest::addColumn<bool>("fault");
        QTest::addColumn<int>("tariff");
        QTest::newRow("status 0x61") << hex("09 05 14 03 09 12 26 61") << QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))
                                     << false << true << true << 2;
        QTest::newRow("status 0x80") << hex("00 00 00 06 01 01 00 80") << QDateTime(QDate(2000, 1, 1), QTime(0, 0))
                                     << true << false << false << 1;
        QTest::newRow("tariff bits 7, bits 3-4 ignored") << hex("00 00 00 06 01 01 00 1F")
                                                         << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << false << false
                                                         << false << 8;
        QTest::newRow("invalid date") << hex("00 00 00 00 00 00 00 00") << QDateTime() << false << false << false << 1;
        QTest::newRow("short block") << hex("09 05") << QDateTime() << false << false << false << 1;
    }
    void meterClockDecode()
    {
        QFETCH(QByteArray, block);
        QFETCH(QDateTime, time);
        QFETCH(bool, summer);
        QFETCH(bool, notSet);
        QFETCH(bool, fault);
        QFETCH(int, tariff);
        const MeterClock c = decodeMeterClock(block, 0);
        QCOMPARE(c.time, time);
        QCOMPARE(c.summerTime, summer);
        QCOMPARE(c.timeNotSet, notSet);
        QCOMPARE(c.clockFault, fault);
        QCOMPARE(c.tariff, tariff);
    }

    void secondsSince2000_data()
    {
        QTest::addColumn<quint32>("seconds");
        QTest::addColumn<QDateTime>("time");
        QTest::newRow("0") << 0u << QDateTime(QDate(2000, 1, 1), QTime(0, 0));
        QTest::newRow("one day") << 86400u << QDateTime(QDate(2000, 1, 2), QTime(0, 0));
        QTest::newRow("one day and a second") << 86401u << QDateTime(QDate(2000, 1, 2), QTime(0, 0, 1));
        QTest::newRow("leap day 2024") << 762525000u << QDateTime(QDate(2024, 2, 29), QTime(12, 30));
        QTest::newRow("max") << 0xFFFFFFFFu << QDateTime(QDate(2136, 2, 7), QTime(6, 28, 15));
    }
    void secondsSince2000()
    {
        QFETCH(quint32, seconds);
        QFETCH(QDateTime, time);
        QCOMPARE(kelvar::link::secondsSince2000(seconds), time);
        QCOMPARE(toSecondsSince2000(time), seconds);
        QByteArray b;
        appendLE(b, seconds, 4);
        QCOMPARE(readSecondsSince2000(b, 0), time);
    }

    void energy()
    {
        QByteArray b;
        appendLE(b, 4000, 4);
        appendLE(b, 1, 4);
        appendLE(b, 0xFFFFFFFF, 4);
        QCOMPARE(readEnergyKWh(b, 0), 1.0);
        QCOMPARE(readEnergyKWh(b, 4), 0.00025);
        QCOMPARE(readEnergyKWh(b, 8), 4294967295.0 * 0.00025);
    }

    void serialNumber_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("number");
        QTest::newRow("77881 from third byte 03") << hex("39 30 03") << 77881u;
        QTest::newRow("42") << hex("2A 00 00") << 42u;
        QTest::newRow("0") << hex("00 00 00") << 0u;
        QTest::newRow("max 17 bits") << hex("FF FF FF") << 131071u;
    }
    void serialNumber()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, number);
        QCOMPARE(readSerialNumber(bytes, 0), number);
    }

    void serialNumberWrite()
    {
        QCOMPARE(hexText(encodeSerialNumber(77881)), QStringLiteral("39 30 01"));
        QCOMPARE(hexText(encodeSerialNumber(999999)), QStringLiteral("3F 42 0F"));
    }

    void versionAndPassword()
    {
        QCOMPARE(readSoftwareVersion(hex("05 01 01"), 0), 10105u);
        QCOMPARE(readSoftwareVersion(hex("56 34 12"), 0), 123456u);
        QCOMPARE(hexText(encodePassword(0x1234)), QStringLiteral("34 12"));
        QCOMPARE(hexText(encodePassword(65536 + 7)), QStringLiteral("07 00"));
    }
};

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
