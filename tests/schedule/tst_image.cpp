// The schedule image: zone records, holiday and transfer tables, limit
// coefficient and schedule files.

#include "TestUtil.h"
#include "schedule/ScheduleFile.h"
#include "schedule/Tables.h"
#include "schedule/ZoneRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar::schedule;
using kelvar::test::hex;
using kelvar::test::hexText;

Q_DECLARE_METATYPE(Holiday)
Q_DECLARE_METATYPE(QList<Holiday>)
Q_DECLARE_METATYPE(QList<Transfer>)

namespace {
const char *const DefaultHolidayBytes =
    "01 01 02 01 03 01 04 01 05 01 07 01 23 02 08 03 01 05 09 05 12 06 04 11 00 00 00 00 00 00 00 00";

QByteArray zeros(int n)
{
    return QByteArray(n, '\0');
}
} // namespace

class TestImage : public QObject {
    Q_OBJECT
private slots:
    void masks_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("mask");
        QTest::newRow("0") << 0 << 0x1;
        QTest::newRow("negative") << -3 << 0x1;
        QTest::newRow("1") << 1 << 0x1;
        QTest::newRow("8") << 8 << 0x80;
        QTest::newRow("12") << 12 << 0x800;
    }
    void masks()
    {
        QFETCH(int, n);
        QFETCH(int, mask);
        QCOMPARE(int(GetMaska(n)), mask);
    }

    void recordImage_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("tariff");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("exceed");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("months");
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("07:30 2/3 limit 15") << 450 << 2 << 15 << 3 << 0x1F << 0x0FFF << hex("21 07 30 0F 1F FF 0F");
        QTest::newRow("midnight, no limit") << 0 << 1 << 0 << 1 << 0x01 << 0x0001 << hex("00 00 00 00 01 01 00");
        QTest::newRow("23:59, December holidays") << 1439 << 3 << 255 << 1 << 0x80 << 0x0800 << hex("02 23 59 FF 80 00 08");
        QTest::newRow("tariffs 8 and 8") << 600 << 8 << 1 << 8 << 0x40 << 0x0100 << hex("77 10 00 01 40 00 01");
    }
    void recordImage()
    {
        QFETCH(int, start);
        QFETCH(int, tariff);
        QFETCH(int, limit);
        QFETCH(int, exceed);
        QFETCH(int, days);
        QFETCH(int, months);
        QFETCH(QByteArray, image);
        const ZoneRecord r{Zone{start, quint8(tariff), quint8(limit), quint8(exceed)}, quint8(days), quint16(months)};
        QCOMPARE(hexText(encodeRecord(r)), hexText(image));
        const std::optional<ZoneRecord> back = decodeRecord(image);
        QVERIFY(back);
        QCOMPARE(*back, r);
    }

    void recordTimeText()
    {
        const std::optional<ZoneRecord> r = decodeRecord(hex("21 07 30 0F 1F FF 0F"));
        QVERIFY(r);
        QCOMPARE(r->zone.time(), QStringLiteral("07:30"));
        QCOMPARE(timeText(0), QStringLiteral("00:00"));
        QCOMPARE(timeText(1439), QStringLiteral("23:59"));
    }

    void recordRefused_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("hour 24") << hex("00 24 00 00 01 01 00");
        QTest::newRow("minute 60") << hex("00 12 60 00 01 01 00");
        QTest::newRow("hour FF") << hex("00 FF 00 00 01 01 00");
        QTest::newRow("6 bytes") << hex("00 12 00 00 01 01");
        QTest::newRow("8 bytes") << hex("00 12 00 00 01 01 00 00");
    }
    void recordRefused()
    {
        QFETCH(QByteArray, image);
        QString error;
        QVERIFY(!decodeRecord(image, &error));
        QVERIFY(!error.isEmpty());
    }

    void recordBcdNotChecked()
    {
        // 0x1A reads as 20, a valid hour, as the meter's BCD is taken without a digit check.
        const std::optional<ZoneRecord> r = decodeRecord(hex("00 1A 05 00 01 01 00"));
        QVERIFY(r);
        QCOMPARE(r->zone.time(), QStringLiteral("20:05"));
    }

    void holidayTableDecode_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QList<Holiday>>("holidays");
        QTest::newRow("default") << hex(DefaultHolidayBytes) << defaultHolidays();
        QTest::newRow("gap, 31 February") << hex("00 00 31 02") + zeros(28) << QList<Holiday>{{31, 2}};
        QTest::newRow("out of range skipped")
            << hex("32 01 01 13 00 05 15 00 15 08") + zeros(22) << QList<Holiday>{{15, 8}};
        QTest::newRow("all 16") << hex("01 01").repeated(16)
                                << QList<Holiday>(16, Holiday{1, 1});
    }
    void holidayTableDecode()
    {
        QFETCH(QByteArray, table);
        QFETCH(QList<Holiday>, holidays);
        const std::optional<QList<Holiday>> decoded = decodeHolidayTable(table);
        QVERIFY(decoded);
        QCOMPARE(*decoded, holidays);
    }

    void holidayTableWrongLength_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("31") << 31;
        QTest::newRow("33") << 33;
        QTest::newRow("0") << 0;
    }
    void holidayTableWrongLength()
    {
        QFETCH(int, size);
        QVERIFY(!decodeHolidayTable(hex("01 01").repeated(17).left(size)));
    }

    void holidayTableEncode()
    {
        QCOMPARE(hexText(encodeHolidayTable(defaultHolidays())), hexText(hex(DefaultHolidayBytes)));
        QCOMPARE(encodeHolidayTable({}), zeros(32));
        // More entries than the table holds: the file layout keeps its 32 bytes.
        const QByteArray full = encodeHolidayTable(QList<Holiday>(20, Holiday{9, 5}));
        QCOMPARE(full, hex("09 05").repeated(16));
    }

    void holidayInsert_data()
    {
        QTest::addColumn<QList<Holiday>>("list");
        QTest::addColumn<Holiday>("added");
        QTest::addColumn<int>("position");
        const QList<Holiday> three{{1, 1}, {23, 2}, {1, 5}};
        QTest::newRow("8 March between") << three << Holiday{8, 3} << 2;
        QTest::newRow("equal date goes first") << three << Holiday{1, 5} << 2;
        QTest::newRow("same month earlier day") << three << Holiday{20, 2} << 1;
        QTest::newRow("at the end") << three << Holiday{31, 12} << 3;
        QTest::newRow("empty list") << QList<Holiday>{} << Holiday{4, 11} << 0;
    }
    void holidayInsert()
    {
        QFETCH(QList<Holiday>, list);
        QFETCH(Holiday, added);
        QFETCH(int, position);
        QCOMPARE(holidayInsertPosition(list, added), position);
        QVERIFY(insertHoliday(list, added));
        QCOMPARE(list.at(position), added);
    }

    void holidayListLimit()
    {
        QList<Holiday> list(15, Holiday{1, 1});
        QVERIFY(canAddEntry(int(list.size())));
        QVERIFY(insertHoliday(list, {2, 2}));
        QVERIFY(!canAddEntry(int(list.size())));
        QVERIFY(!insertHoliday(list, {3, 3}));
        QCOMPARE(list.size(), 16);
        QList<Holiday> empty;
        QVERIFY(!insertHoliday(empty, {32, 1}));
        QVERIFY(!insertHoliday(empty, {1, 13}));
        QVERIFY(empty.isEmpty());
    }

    void transferTableDecode_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QList<Transfer>>("transfers");
        QTest::newRow("1 May 2027 as Saturday")
            << hex("01 05 27 06") + zeros(60) << QList<Transfer>{{QDate(2027, 5, 1), 6}};
        QTest::newRow("31 February") << hex("31 02 27 01") + zeros(60) << QList<Transfer>{};
        QTest::newRow("29 February of a leap year")
            << hex("29 02 25 01 29 02 24 08") + zeros(56) << QList<Transfer>{{QDate(2024, 2, 29), 8}};
        QTest::newRow("day type 0 and 9") << hex("10 10 30 00 10 10 30 09") + zeros(56) << QList<Transfer>{};
        QTest::newRow("year 2000") << hex("01 01 00 07") + zeros(60) << QList<Transfer>{{QDate(2000, 1, 1), 7}};
        QTest::newRow("year past 2099") << hex("01 01 A0 01 01 01 FF 01") + zeros(56) << QList<Transfer>{};
        QTest::newRow("after a gap")
            << zeros(4) + hex("07 01 30 01") + zeros(56) << QList<Transfer>{{QDate(2030, 1, 7), 1}};
    }
    void transferTableDecode()
    {
        QFETCH(QByteArray, table);
        QFETCH(QList<Transfer>, transfers);
        const std::optional<QList<Transfer>> decoded = decodeTransferTable(table);
        QVERIFY(decoded);
        QCOMPARE(*decoded, transfers);
        if (!transfers.isEmpty()) {
            QCOMPARE(decodeTransferTable(encodeTransferTable(transfers)), decoded);
        }
    }

    void transferTableEncode()
    {
        QCOMPARE(hexText(encodeTransferTable({{QDate(2027, 5, 1), 6}})), hexText(hex("01 05 27 06") + zeros(60)));
        QCOMPARE(encodeTransferTable({}), zeros(64));
        QCOMPARE(encodeTransferTable(QList<Transfer>(17, Transfer{QDate(2031, 12, 31), 8})),
                 hex("31 12 31 08").repeated(16));
        // An entry the table cannot carry is left out instead of writing garbage.
        QCOMPARE(encodeTransferTable({{QDate(), 1}, {QDate(2100, 1, 1), 1}, {QDate(2030, 3, 9), 9}}), zeros(64));
        QVERIFY(!decodeTransferTable(zeros(63)));
        QVERIFY(!decodeTransferTable(zeros(65)));
    }

    void transferInsert()
    {
        QList<Transfer> list{{QDate(2027, 1, 2), 1}, {QDate(2027, 5, 1), 6}};
        QVERIFY(insertTransfer(list, {QDate(2027, 5, 1), 1})); // equal date: after the existing one
        QVERIFY(insertTransfer(list, {QDate(2026, 12, 31), 2}));
        QVERIFY(insertTransfer(list, {QDate(2027, 3, 7), 3}));
        const QList<Transfer> expected{{QDate(2026, 12, 31), 2},
                                       {QDate(2027, 1, 2), 1},
                                       {QDate(2027, 3, 7), 3},
                                       {QDate(2027, 5, 1), 6},
                                       {QDate(2027, 5, 1), 1}};
        QCOMPARE(list, expected);
        QVERIFY(!insertTransfer(list, {QDate(2027, 1, 1), 0}));
        QVERIFY(!insertTransfer(list, {QDate(1999, 1, 1), 1}));
        QList<Transfer> full(16, Transfer{QDate(2027, 1, 1), 1});
        QVERIFY(!insertTransfer(full, {QDate(2028, 1, 1), 1}));
    }

    void limitCoefficientAndMeterSlots()
    {
        QCOMPARE(int(limitCoefficient(0)), 1);
        QCOMPARE(int(limitCoefficient(255)), 255);
        QCOMPARE(powerLimitWatts(15, 4), 3750.0);
        QCOMPARE(powerLimitWatts(15, 0), 15000.0);
        QVERIFY(fitsInMeter(254));
        QVERIFY(!fitsInMeter(255));
        QVERIFY(tooManyRecordsMessage(300).contains(QStringLiteral("300")));
        QVERIFY(tooManyRecordsMessage(300).contains(QStringLiteral("254")));
    }

    void emptyScheduleFile()
    {
        const ScheduleImage image{encodeHolidayTable(defaultHolidays()), encodeTransferTable({}), 1, {}};
        const QByteArray bytes = encodeTsc(image);
        const QByteArray expected = hex(DefaultHolidayBytes) + "\r\n" + zeros(64) + "\r\n" + hex("01") + "\r\n";
        QCOMPARE(bytes.size(), 103);
        QCOMPARE(hexText(bytes), hexText(expected));
        const std::optional<ScheduleImage> back = decodeTsc(bytes);
        QVERIFY(back);
        QCOMPARE(*back, image);
        QCOMPARE(decodeHolidayTable(back->holidayTable), defaultHolidays());
        QCOMPARE(decodeTransferTable(back->transferTable), QList<Transfer>{});
    }

    void recordsHoldingLineEnds()
    {
        // Records and tables may hold 0D and 0A; the reader goes by fixed lengths.
        const QByteArray crlfHolidays = hex("0D 0A 0A 0D") + zeros(28);
        const ScheduleImage image{crlfHolidays, hex("0D 0A 0D 0A") + zeros(60), 0x0D,
                                  {hex("00 10 00 0D 0A 0A 0D"), hex("12 00 00 0A 0D 0D 0A")}};
        const QByteArray bytes = encodeTsc(image);
        QCOMPARE(bytes.size(), 103 + 18);
        QCOMPARE(decodeTsc(bytes), image);
    }

    void fileLengths_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("records");
        QTest::newRow("empty") << 0 << false << 0;
        QTest::newRow("header less one byte") << 102 << false << 0;
        QTest::newRow("header only") << 103 << true << 0;
        QTest::newRow("6-byte tail ignored") << 103 + 6 << true << 0;
        QTest::newRow("last record without line end") << 103 + 7 << true << 1;
        QTest::newRow("two records") << 103 + 18 << true << 2;
        QTest::newRow("two records and a short tail") << 103 + 18 + 5 << true << 2;
    }
    void fileLengths()
    {
        QFETCH(int, size);
        QFETCH(bool, accepted);
        QFETCH(int, records);
        const ScheduleImage image{zeros(32), zeros(64), 1, QList<QByteArray>(3, hex("00 08 00 00 FF FF 0F"))};
        QString error;
        const std::optional<ScheduleImage> read = decodeTsc(encodeTsc(image).left(size), &error);
        QCOMPARE(bool(read), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        if (read)
            QCOMPARE(read->records.size(), records);
    }

    void fileWithInvalidTime()
    {
        const ScheduleImage image{zeros(32), zeros(64), 1, {hex("00 08 00 00 FF FF 0F"), hex("00 25 00 00 FF FF 0F")}};
        QString error;
        QVERIFY(!decodeTsc(encodeTsc(image), &error));
        QVERIFY2(error.contains(QStringLiteral("25:00")), qPrintable(error));
    }

    void saveReplacesWholeFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("year.tsc"));
        const ScheduleImage first{encodeHolidayTable(defaultHolidays()), zeros(64), 1, {}};
        QString error;
        QVERIFY2(writeTscFile(path, first, &error), qPrintable(error));

        // The new file takes the old one's place instead of overwriting it in
        // place: a reader of the old file still sees it whole.
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const ScheduleImage second{zeros(32), zeros(64), 7, {hex("21 07 30 0F 1F FF 0F")}};
        QVERIFY2(writeTscFile(path, second, &error), qPrintable(error));
        QCOMPARE(old.readAll(), encodeTsc(first));
        QCOMPARE(readTscFile(path, &error), second);
    }

    void fileErrors()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!writeTscFile(dir.path(), ScheduleImage{}, &error)); // a directory
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!readTscFile(dir.filePath(QStringLiteral("missing.tsc")), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestImage)
#include "tst_image.moc"
