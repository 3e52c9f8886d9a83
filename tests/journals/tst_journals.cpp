// Journal requests, record decoding, row order and chart bars, without a
// port or a window (the test runs under a Russian locale: dd.MM.yyyy dates,
// comma decimal separator).

#include "TestUtil.h"
#include "common/TextFormat.h"
#include "journals/Journal.h"
#include "journals/JournalTable.h"

#include <QtTest>

using namespace kelvar;
using namespace kelvar::journals;
using kelvar::test::hex;

Q_DECLARE_METATYPE(QList<QStringList>)
Q_DECLARE_METATYPE(kelvar::journals::JournalParams)

namespace {

// A load profile response: date, reading at 00:00, 48 increments.
QByteArray profileResponse(int day, int monthIndex, int yearByte, quint32 dayCounts, const QList<quint16> &increments)
{
    QByteArray r = hex("1D 69");
    r.append(char(day)).append(char(monthIndex)).append(char(yearByte));
    for (int i = 0; i < 4; ++i)
        r.append(char(dayCounts >> (8 * i)));
    for (int i = 0; i < 48; ++i) {
        const quint16 inc = increments.value(i, increments.last());
        r.append(char(inc & 0xFF)).append(char(inc >> 8));
    }
    return r;
}

QStringList yearRow(const QString &date, const QString &t1, const QString &t2 = "0", const QString &t3 = "0")
{
    return {date, t1, t2, t3, "0", "", "00:00:00"};
}

} // namespace

class TestJournals : public QObject {
    Q_OBJECT
private slots:
    void requests_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<JournalParams>("params");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("last");
        QTest::newRow("yearly 2010: months 0..11") << int(JournalKind::Yearly) << JournalParams{2010, 0, {}} << 12
                                                   << hex("12 04 00 0A") << hex("12 04 0B 0A");
        QTest::newRow("daily February 2011: days 1..31 whatever the month's length")
            << int(JournalKind::Daily) << JournalParams{2011, 1, {}} << 31 << hex("1C 05 01 01 0B")
            << hex("1C 05 1F 01 0B");
        QTest::newRow("profile 5 March 2012: month index 2") << int(JournalKind::Profile)
                                                             << JournalParams{0, 0, QDate(2012, 3, 5)} << 1
                                                             << hex("1D 05 05 02 0C") << hex("1D 05 05 02 0C");
        QTest::newRow("profile of 2300: year byte modulo 256") << int(JournalKind::Profile)
                                                               << JournalParams{0, 0, QDate(2300, 12, 31)} << 1
                                                               << hex("1D 05 1F 0B 2C") << hex("1D 05 1F 0B 2C");
        QTest::newRow("settings: entries 0..255") << int(JournalKind::Settings) << JournalParams{} << 256
                                                  << hex("32 03 00") << hex("32 03 FF");
        QTest::newRow("power-on: entries 0..255") << int(JournalKind::PowerOn) << JournalParams{} << 256
                                                  << hex("33 03 00") << hex("33 03 FF");
    }
    void requests()
    {
        QFETCH(int, kind);
        QFETCH(JournalParams, params);
        QFETCH(int, count);
        const QList<QByteArray> frames = journalRequests(JournalKind(kind), params);
        QCOMPARE(frames.size(), count);
        QTEST(frames.first(), "first");
        QTEST(frames.last(), "last");
        // The middle frames differ from their neighbours in the counted byte only.
        for (qsizetype i = 1; i < frames.size(); ++i)
            QVERIFY(frames.at(i) != frames.at(i - 1));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("yearly record 01 02 10")
            << hex("12 1C 00 01 02 10 A00F0000 0A000000 00000000 400B00 00000000 DC0500 1234")
            << QList<QStringList>{{"01.02.2010", "1", "0,0025", "0", "1500", "", "1д.00:00:00"}};
        QTest::newRow("yearly peak time with a time of day")
            << hex("12 1C 05 31 12 99 00000000 00000000 00000000 010000 CD5F0100 FFFFFF")
            << QList<QStringList>{{"31.12.2099", "0", "0", "0", "16777215", "02.01.2000 01:01:01", "00:00:30"}};
        QTest::newRow("yearly peak time at midnight has no time part")
            << hex("12 1C 00 01 01 11 00000000 00000000 00000000 000000 80510100 010000")
            << QList<QStringList>{{"01.01.2011", "0", "0", "0", "1", "02.01.2000", "00:00:00"}};
        QTest::newRow("yearly FF FF FF: no row") << hex("12 1C FF FF FF FF") + QByteArray(22, char(0xFF))
                                                 << QList<QStringList>{};
        QTest::newRow("yearly length 3: no row") << hex("12 03 00") << QList<QStringList>{};
        QTest::newRow("daily 4-byte reading above 2^24")
            << hex("1C 11 0F 05 0E 01000001 FFFFFFFF 00000000")
            << QList<QStringList>{{"15.06.2014", "4194,30425", "1073741,82375", "0"}};
        QTest::newRow("daily 31 April: no row") << hex("1C 11 1F 03 0B 01000000 00000000 00000000")
                                                << QList<QStringList>{};
        QTest::newRow("daily 29 February of a leap year")
            << hex("1C 11 1D 01 0C 04000000 00000000 00000000")
            << QList<QStringList>{{"29.02.2012", "0,001", "0", "0"}};
        QTest::newRow("daily month index 12: no row") << hex("1C 11 01 0C 0B 01000000 00000000 00000000")
                                                      << QList<QStringList>{};
        QTest::newRow("daily length 16: no row") << hex("1C 10 01 01 0B 01000000 00000000 000000")
                                                 << QList<QStringList>{};
        QTest::newRow("settings entry at 86400 s, parameter 3, counter 0")
            << hex("32 09 00 80510100 03 00") << QList<QStringList>{{"02.01.2000", "1", "Пароль"}};
        QTest::newRow("settings parameter 12 as a number, counter 255 + 1")
            << hex("32 09 07 CD5F0100 0C FF") << QList<QStringList>{{"02.01.2000 01:01:01", "256", "12"}};
        QTest::newRow("settings parameter 15") << hex("32 09 00 00000000 0F 02")
                                               << QList<QStringList>{{"01.01.2000", "3", "Период усреднения мощности"}};
        QTest::newRow("settings length 3: no row") << hex("32 03 05") << QList<QStringList>{};
        QTest::newRow("power-on switched off") << hex("33 08 00 3C000000 00")
                                               << QList<QStringList>{{"01.01.2000 00:01:00", "Счетчик выключен"}};
        QTest::newRow("power-on switched on") << hex("33 08 00 3C000000 01")
                                              << QList<QStringList>{{"01.01.2000 00:01:00", "Счетчик включен"}};
        QTest::newRow("power-on event code 2: empty event") << hex("33 08 00 3C000000 02")
                                                            << QList<QStringList>{{"01.01.2000 00:01:00", ""}};
        QTest::newRow("another function code: nothing") << hex("0F 0E 00 00 00 00 00 00 00 00 00 00 00 00")
                                                        << QList<QStringList>{};
    }
    void decode()
    {
        QFETCH(QByteArray, response);
        QFETCH(QList<QStringList>, rows);
        QCOMPARE(decodeJournalResponse(response), rows);
    }

    void profile_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("last");
        QTest::newRow("day reading 40000, increments 200")
            << profileResponse(5, 2, 12, 40000, {200}) << QStringList{"05.03.2012 00:00:00", "0,1", "0,05", "10"}
            << QStringList{"05.03.2012 23:30:00", "0,1", "0,05", "12,35"};
        QTest::newRow("increment above 32767 is unsigned")
            << profileResponse(1, 0, 13, 0, {0x8000}) << QStringList{"01.01.2013 00:00:00", "16,384", "8,192", "0"}
            << QStringList{"01.01.2013 23:30:00", "16,384", "8,192", "385,024"};
        QTest::newRow("a reading near the counter's end keeps every count")
            << profileResponse(28, 1, 13, 0xFFFFF000u, {1, 3}) << QStringList{"28.02.2013 00:00:00", "0,0005", "0,00025", "1073740,8"}
            << QStringList{"28.02.2013 23:30:00", "0,0015", "0,00075", "1073740,83475"};
    }
    void profile()
    {
        QFETCH(QByteArray, response);
        const QList<QStringList> rows = decodeJournalResponse(response);
        QCOMPARE(rows.size(), 48);
        QTEST(rows.first(), "first");
        QTEST(rows.last(), "last");
        QCOMPARE(rows.at(1).at(0), QStringLiteral("%1 00:30:00").arg(rows.first().at(0).left(10)));
    }
    void profileOfADayThatDoesNotExist()
    {
        QVERIFY(decodeJournalResponse(profileResponse(30, 1, 12, 40000, {200})).isEmpty());
        QVERIFY(decodeJournalResponse(profileResponse(0xFF, 0xFF, 0xFF, 0xFFFFFFFF, {0xFFFF})).isEmpty());
    }

    void order_data()
    {
        QTest::addColumn<QStringList>("arrival");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("3, 1, 2 March") << QStringList{"03.03.2012", "01.03.2012", "02.03.2012"}
                                       << QStringList{"01.03.2012", "02.03.2012", "03.03.2012"};
        QTest::newRow("a caption that is no date goes first")
            << QStringList{"02.03.2012", "", "01.03.2012", "вчера"}
            << QStringList{"", "вчера", "01.03.2012", "02.03.2012"};
        QTest::newRow("date with and without a time")
            << QStringList{"02.01.2000 00:00:01", "02.01.2000", "01.01.2000 23:59:59"}
            << QStringList{"01.01.2000 23:59:59", "02.01.2000", "02.01.2000 00:00:01"};
        QTest::newRow("a time alone lies before 1900, after no date at all")
            << QStringList{"01.01.1900", "12:00:00", "x"} << QStringList{"x", "12:00:00", "01.01.1900"};
        QTest::newRow("newest first as the meter sends them")
            << QStringList{"05.05.2021 10:00:00", "04.05.2021 10:00:00", "03.05.2021 10:00:00", "01.05.2020"}
            << QStringList{"01.05.2020", "03.05.2021 10:00:00", "04.05.2021 10:00:00", "05.05.2021 10:00:00"};
    }
    void order()
    {
        QFETCH(QStringList, arrival);
        QFETCH(QStringList, shown);
        JournalTable table(JournalKind::PowerOn);
        QStringList reference; // what a full sort with CompareRowsByDateTime gives
        QList<QStringList> rows;
        for (const QString &caption : arrival) {
            const int index = table.insert({caption, "1"});
            QCOMPARE(table.rows().at(index).at(0), caption);
            rows << QStringList{caption, "1"};
        }
        QStringList captions;
        for (const QStringList &row : table.rows())
            captions << row.at(0);
        QCOMPARE(captions, shown);
        std::stable_sort(rows.begin(), rows.end(), [](const QStringList &a, const QStringList &b) {
            return CompareRowsByDateTime(b, a, 0) > 0; // a strictly earlier
        });
        for (const QStringList &row : rows)
            reference << row.at(0);
        QCOMPARE(captions, reference);
    }

    void compare_data()
    {
        QTest::addColumn<QStringList>("row1");
        QTest::addColumn<QStringList>("row2");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("earlier caption first") << QStringList{"01.01.2010"} << QStringList{"02.01.2010"} << 0 << -1;
        QTest::newRow("later caption second") << QStringList{"02.01.2010"} << QStringList{"01.01.2010"} << 0 << 1;
        QTest::newRow("equal values: row 1 first") << QStringList{"01.01.2010"} << QStringList{"01.01.2010"} << 0 << -1;
        QTest::newRow("descending key reverses") << QStringList{"01.01.2010"} << QStringList{"02.01.2010"} << 100 << 1;
        QTest::newRow("key 2: the second further cell")
            << QStringList{"01.01.2010", "", "05.01.2010"} << QStringList{"09.01.2010", "", "03.01.2010"} << 2 << 1;
        QTest::newRow("a missing cell reads as no date") << QStringList{"01.01.2010"}
                                                         << QStringList{"01.01.2010", "x", "03.01.2010"} << 102 << 1;
    }
    void compare()
    {
        QFETCH(QStringList, row1);
        QFETCH(QStringList, row2);
        QFETCH(int, key);
        QTEST(CompareRowsByDateTime(row1, row2, key), "result");
    }

    void bars_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QStringList>("bars"); // "dd.MM.yyyy hh:mm=height text"
        QTest::newRow("totals 100, 150, 140: one bar of 50 at 1 January")
            << int(JournalKind::Yearly)
            << QList<QStringList>{yearRow("01.03.2011", "140"), yearRow("01.01.2011", "100"),
                                  yearRow("01.02.2011", "50", "50", "50")}
            << QStringList{"01.01.2011 00:00=50"};
        QTest::newRow("fractions count in all three tariffs")
            << int(JournalKind::Daily)
            << QList<QStringList>{{"01.05.2011", "12,25", "0,5", "0,25"}, {"02.05.2011", "12,5", "0,75", "1,5"}}
            << QStringList{"01.05.2011 00:00=1,75"};
        QTest::newRow("sums of large readings are exact to one count")
            << int(JournalKind::Daily)
            << QList<QStringList>{{"01.05.2011", "1073741,82375", "1073741,82375", "1000000,1"},
                                  {"02.05.2011", "1073741,82375", "1073741,824", "1000000,1"},
                                  {"03.05.2011", "1073741,82425", "1073741,824", "1000000,3"}}
            << QStringList{"01.05.2011 00:00=0,00025", "02.05.2011 00:00=0,2005"};
        QTest::newRow("a cell that is no number counts 0")
            << int(JournalKind::Daily) << QList<QStringList>{{"01.05.2011", "abc", "1", "1"}, {"02.05.2011", "3"}}
            << QStringList{"01.05.2011 00:00=1"};
        QTest::newRow("a single row: no bar") << int(JournalKind::Yearly)
                                              << QList<QStringList>{yearRow("01.01.2011", "100")} << QStringList{};
        QTest::newRow("an empty list: no bar") << int(JournalKind::Yearly) << QList<QStringList>{} << QStringList{};
        QList<QStringList> profile = decodeJournalResponse(profileResponse(5, 2, 12, 40000, {200, 3, 4001}));
        QTest::newRow("profile: a bar per row at its time")
            << int(JournalKind::Profile) << profile
            << QStringList{"05.03.2012 00:00=0,1", "05.03.2012 00:30=0,0015", "05.03.2012 01:00=2,0005"};
        QTest::newRow("settings: no chart") << int(JournalKind::Settings)
                                            << QList<QStringList>{{"01.01.2011", "1", "Время"}} << QStringList{};
    }
    void bars()
    {
        QFETCH(int, kind);
        QFETCH(QList<QStringList>, rows);
        QFETCH(QStringList, bars);
        const QList<ChartBar> got = chartBars(JournalKind(kind), rows);
        QStringList texts;
        for (const ChartBar &bar : got) {
            texts << bar.x.toString("dd.MM.yyyy hh:mm") + "=" + bar.text;
            bool ok = false;
            QCOMPARE(bar.value, text::parseDecimal(bar.text, &ok)); // the height is the text, to the last bit
        }
        if (JournalKind(kind) == JournalKind::Profile) {
            QCOMPARE(texts.size(), 48);
            QCOMPARE(got.last().x, QDateTime(QDate(2012, 3, 5), QTime(23, 30)));
            texts = texts.mid(0, bars.size());
        }
        QCOMPARE(texts, bars);
    }
};

QTEST_GUILESS_MAIN(TestJournals)
#include "tst_journals.moc"
