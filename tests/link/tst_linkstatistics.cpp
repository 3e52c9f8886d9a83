// The request pacing arithmetic and the link statistics, without a port.

#include "link/LinkPacing.h"
#include "link/LinkStatistics.h"

#include <QtTest>

using namespace kelvar::link;

class TestLinkStatistics : public QObject
{
    Q_OBJECT
private slots:
    // The send interval: the pause, clamped to 0..50, never below 3.5
    // characters (11 bits each here) rounded up to whole milliseconds, and a
    // fixed 1.75 ms above 19200 baud.
    void sendInterval_data()
    {
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bits");
        QTest::addColumn<qint64>("silentUs");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("default pause is the 50 ms tick") << 50 << 4800 << 11 << qint64(8021) << 50;
        QTest::newRow("pause above 50 clamped") << 400 << 9600 << 11 << qint64(4011) << 50;
        QTest::newRow("negative pause is 0") << -5 << 38400 << 11 << qint64(1750) << 2;
        QTest::newRow("4800 pause 0: silent interval") << 0 << 4800 << 11 << qint64(8021) << 9;
        QTest::newRow("4800 pause 8 still too short") << 8 << 4800 << 11 << qint64(8021) << 9;
        QTest::newRow("4800 pause 12") << 12 << 4800 << 11 << qint64(8021) << 12;
        QTest::newRow("9600 10-bit characters") << 0 << 9600 << 10 << qint64(3646) << 4;
        QTest::newRow("19200 is not above 19200") << 0 << 19200 << 11 << qint64(2006) << 3;
        QTest::newRow("38400 fixed 1.75 ms") << 0 << 38400 << 11 << qint64(1750) << 2;
        QTest::newRow("38400 pause 1") << 1 << 38400 << 11 << qint64(1750) << 2;
        QTest::newRow("38400 pause 3") << 3 << 38400 << 11 << qint64(1750) << 3;
    }
    void sendInterval()
    {
        QFETCH(int, pause);
        QFETCH(int, baud);
        QFETCH(int, bits);
        QFETCH(qint64, silentUs);
        QFETCH(int, intervalMs);
        QCOMPARE(silentIntervalUs(baud, bits), silentUs);
        QCOMPARE(sendIntervalMs(pause, baud, bits), intervalMs);
    }

    void characterFormat()
    {
        QCOMPARE(bitsPerCharacter(Parity::None, 2), 11);
        QCOMPARE(bitsPerCharacter(Parity::Even, 1), 11);
        QCOMPARE(bitsPerCharacter(Parity::Space, 1), 11);
        QCOMPARE(bitsPerCharacter(Parity::None, 1), 10);
    }

    // Minimum, median and maximum per function code; the median comes from
    // the most recent replies only, the extremes from all of them.
    void responseTimes_data()
    {
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<qint64>("min");
        QTest::addColumn<qint64>("median");
        QTest::addColumn<qint64>("max");
        QTest::newRow("one") << QList<qint64>{700} << qint64(700) << qint64(700) << qint64(700);
        QTest::newRow("odd count, unsorted") << QList<qint64>{9, 1, 5} << qint64(1) << qint64(5) << qint64(9);
        QTest::newRow("even count takes the upper middle") << QList<qint64>{4, 1, 3, 2} << qint64(1) << qint64(3)
                                                           << qint64(4);
        QList<qint64> old(LinkStatistics::RecentSamples, 1000);
        old.prepend(1);
        old.prepend(999999);
        QTest::newRow("extremes outlive the recent window")
            << old << qint64(1) << qint64(1000) << qint64(999999);
    }
    void responseTimes()
    {
        QFETCH(QList<qint64>, times);
        QFETCH(qint64, min);
        QFETCH(qint64, median);
        QFETCH(qint64, max);
        LinkStatistics stats;
        for (qint64 t : times)
            stats.replyAccepted(4, t);
        stats.replyAccepted(50, 123);
        const auto all = stats.responseTimes();
        QCOMPARE(all.keys(), (QList<int>{4, 50}));
        const LinkStatistics::Times t = all.value(4);
        QCOMPARE(t.count, times.size());
        QCOMPARE(t.minUs, min);
        QCOMPARE(t.medianUs, median);
        QCOMPARE(t.maxUs, max);
        QCOMPARE(stats.repliesAccepted(), times.size() + 1);
    }

    void countsAndReset()
    {
        LinkStatistics stats;
        for (int code : {3, 3, 6})
            stats.errorReply(code);
        stats.requestSent(0);
        stats.timeout();
        stats.wrongReply();
        stats.badCrcReply();
        stats.replyAccepted(0, 10);
        QCOMPARE(stats.errorReplies(), (QMap<int, int>{{3, 2}, {6, 1}}));
        QCOMPARE(stats.errorRepliesTotal(), 3);
        QCOMPARE(stats.report().size(), 8); // six counts, the heading and one function code
        stats.reset();
        QCOMPARE(stats.requestsSent() + stats.timeouts() + stats.wrongReplies() + stats.badCrcReplies()
                     + stats.errorRepliesTotal() + stats.repliesAccepted(),
                 0);
        QVERIFY(stats.responseTimes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLinkStatistics)
#include "tst_linkstatistics.moc"
