// Command names, the poll cycle and the request builders.

#include "TestUtil.h"
#include "link/Catalogue.h"

#include <QtTest>

using namespace kelvar::link;
using kelvar::test::hex;
using kelvar::test::hexText;

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("0") << 0 << QStringLiteral("чтение версии ПО");
        QTest::newRow("0x84 error reply of 4") << 0x84 << QStringLiteral("чтение времени");
        QTest::newRow("3") << 3 << QStringLiteral("запись параметров Rs-485");
        QTest::newRow("36") << 36 << QStringLiteral("сброс показаний РДЧ");
        QTest::newRow("79") << 79 << QStringLiteral("запись периода усреднения мощности");
        QTest::newRow("0xCF = 79 | 0x80") << 0xCF << QStringLiteral("запись периода усреднения мощности");
        QTest::newRow("16 unnamed") << 16 << QStringLiteral("неизвестная функция");
        QTest::newRow("52 unnamed") << 52 << QStringLiteral("неизвестная функция");
        QTest::newRow("127 unnamed") << 127 << QStringLiteral("неизвестная функция");
    }
    void names()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QCOMPARE(CommandName(code), name);
    }

    void namedCodesAreExactlyTheCatalogue()
    {
        const QList<int> unnamed{16, 21, 22, 23, 24, 25, 26, 27, 32, 33, 37, 42, 46, 47};
        int named = 0;
        for (int code = 0; code < 128; ++code) {
            const bool expectNamed = code <= 79 && !unnamed.contains(code) && !(code >= 52 && code <= 77);
            QCOMPARE(isKnownCommand(code), expectNamed);
            named += expectNamed;
        }
        QCOMPARE(named, 40);
    }

    void pollCycle()
    {
        QList<int> codes;
        for (int i = 0; i < PollCycleLength; ++i)
            codes << int(pollCode(i));
        QCOMPARE(codes, (QList<int>{1, 0, 4, 8, 12, 13, 15, 17, 19, 30, 34, 43, 44, 45, 48, 78}));
        QCOMPARE(hexText(PollRequest(2)), QStringLiteral("04 02"));
        QCOMPARE(hexText(PollRequest(16)), QStringLiteral("01 02"));
        QCOMPARE(hexText(PollRequest(-1)), QStringLiteral("01 02"));
    }

    void builders_data()
    {
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("password low byte first") << passwordRequest(0x1234) << hex("14 04 34 12");
        QTest::newRow("password above 65535") << passwordRequest(70000) << hex("14 04 70 11");
        QTest::newRow("number") << writeNumberRequest(77881) << hex("02 05 39 30 01");
        QTest::newRow("link modbus even 9600") << writeLinkRequest(7, linkByte(1, true, 1)) << hex("03 04 07 51");
        QTest::newRow("link modbus none 4800") << writeLinkRequest(7, linkByte(0, true, 0)) << hex("03 04 07 40");
        QTest::newRow("link modbus odd 38400") << writeLinkRequest(7, linkByte(3, true, 2)) << hex("03 04 07 73");
        QTest::newRow("link rs485 38400") << writeLinkRequest(0, linkByte(3, false, 1)) << hex("03 04 00 03");
        QTest::newRow("time") << writeTimeRequest(QDateTime(QDate(2010, 1, 4), QTime(8, 30, 0)), false)
                              << hex("05 0A 00 30 08 01 04 01 10 00");
        QTest::newRow("limit") << writeLimitRequest(3) << hex("07 03 03");
        QTest::newRow("schedule slot read") << readScheduleRecordRequest(255) << hex("08 03 FF");
        QTest::newRow("schedule clear") << clearScheduleRequest() << hex("09 02");
        QTest::newRow("schedule record") << writeScheduleRecordRequest(2, hex("21 07 30 0F 1F FF 0F"))
                                         << hex("09 0A 02 21 07 30 0F 1F FF 0F");
        QTest::newRow("calibration") << writeCalibrationRequest(-32768, 32767, -1) << hex("0B 08 00 80 FF 7F FF FF");
        QTest::newRow("display") << writeDisplayRequest(0x85) << hex("0E 03 85");
        QTest::newRow("yearly") << readYearJournalRequest(11, 2026) << hex("12 04 0B 1A");
        QTest::newRow("daily") << readDayJournalRequest(31, 0, 2027) << hex("1C 05 1F 00 1B");
        QTest::newRow("profile") << readProfileRequest(9, 11, 2026) << hex("1D 05 09 0B 1A");
        QTest::newRow("integration 60 min") << writeIntegrationRequest(60) << hex("1F 03 3B");
        QTest::newRow("integration 1 min") << writeIntegrationRequest(1) << hex("1F 03 00");
        QTest::newRow("billing day 25 hour 23") << writeBillingRequest(25, 23) << hex("23 04 23 25");
        QTest::newRow("holiday read") << readHolidayRequest(15) << hex("26 03 0F");
        QTest::newRow("holidays clear") << clearHolidaysRequest() << hex("27 02");
        QTest::newRow("holiday write") << writeHolidayRequest(0, hex("01 01")) << hex("27 05 00 01 01");
        QTest::newRow("transfer read") << readTransferRequest(3) << hex("28 03 03");
        QTest::newRow("transfers clear") << clearTransfersRequest() << hex("29 02");
        QTest::newRow("transfer write") << writeTransferRequest(0, hex("01 05 27 06")) << hex("29 07 00 01 05 27 06");
        QTest::newRow("settings journal") << readSettingsJournalRequest(200) << hex("32 03 C8");
        QTest::newRow("power journal") << readPowerJournalRequest(0) << hex("33 03 00");
        QTest::newRow("averaging") << writeAveragingRequest(15) << hex("4F 03 0F");
        QTest::newRow("reset billing readings") << request(fn::ResetBillingReadings) << hex("24 02");
    }
    void builders()
    {
        QFETCH(QByteArray, built);
        QFETCH(QByteArray, expected);
        QCOMPARE(hexText(built), hexText(expected));
    }

    void description_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("empty") << QString() << QByteArray(48, '\0');
        QTest::newRow("cyrillic in cp1251") << QStringLiteral("Щит 1") << hex("D9 E8 F2 20 31") + QByteArray(43, '\0');
        QTest::newRow("longer than 48 is cut") << QString(60, QLatin1Char('A')) << QByteArray(48, 'A');
    }
    void description()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, payload);
        const QByteArray built = writeDescriptionRequest(text);
        QCOMPARE(built.size(), 50);
        QCOMPARE(hexText(built.left(2)), QStringLiteral("31 32"));
        QCOMPARE(hexText(built.mid(2)), hexText(payload));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
