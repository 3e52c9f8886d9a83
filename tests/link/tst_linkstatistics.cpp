// The request pacing arithmetic, the microsecond send timer and the link
// statistics, without a port.

#include "link/LinkPacing.h"
#include "link/LinkStatistics.h"
#include "link/MicroTimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
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

    // Below the fixed tick: the pause counts from the end of the exchange,
    // the silent interval from the last byte on the line, received or still
    // going out; what has passed of either is not waited again.
    void sendDelay_data()
    {
        QTest::addColumn<int>("pause");
        QTest::addColumn<qint64>("silentUs");
        QTest::addColumn<qint64>("sinceEndUs");
        QTest::addColumn<qint64>("sinceReceivedUs");
        QTest::addColumn<qint64>("sinceWrittenUs");
        QTest::addColumn<qint64>("writtenWireUs");
        QTest::addColumn<qint64>("delayUs");
        const qint64 long_ago = 10000000;
        QTest::newRow("reply just complete") << 0 << qint64(1750) << qint64(0) << qint64(0) << long_ago
                                             << qint64(2000) << qint64(1750);
        QTest::newRow("handling the reply took some of it") << 0 << qint64(1750) << qint64(90) << qint64(90)
                                                            << long_ago << qint64(2000) << qint64(1660);
        QTest::newRow("both passed: no wait, never negative") << 0 << qint64(1750) << qint64(5000) << qint64(5000)
                                                              << long_ago << qint64(2000) << qint64(0);
        QTest::newRow("pause longer than the silent interval") << 5 << qint64(1750) << qint64(100) << qint64(100)
                                                               << long_ago << qint64(2000) << qint64(4900);
        QTest::newRow("pause clamped to 50 ms") << 400 << qint64(1750) << qint64(0) << long_ago << long_ago
                                                << qint64(0) << qint64(50000);
        QTest::newRow("time-out: the line long quiet, the pause from now") << 3 << qint64(8021) << qint64(0)
                                                                           << long_ago << qint64(500000)
                                                                           << qint64(18334) << qint64(3000);
        QTest::newRow("stray byte during the wait restarts the silent interval")
            << 0 << qint64(8021) << qint64(4000) << qint64(0) << long_ago << qint64(0) << qint64(8021);
        QTest::newRow("request still going out after a short time-out")
            << 0 << qint64(8021) << qint64(0) << long_ago << qint64(1000) << qint64(18334) << qint64(25355);
    }
    void sendDelay()
    {
        QFETCH(int, pause);
        QFETCH(qint64, silentUs);
        QFETCH(qint64, sinceEndUs);
        QFETCH(qint64, sinceReceivedUs);
        QFETCH(qint64, sinceWrittenUs);
        QFETCH(qint64, writtenWireUs);
        QFETCH(qint64, delayUs);
        QCOMPARE(sendDelayUs(pause, silentUs, sinceEndUs, lineQuietForUs(sinceReceivedUs, sinceWrittenUs, writtenWireUs)),
                 delayUs);
    }

    void wireTime()
    {
        QCOMPARE(wireTimeUs(8, 4800, 11), qint64(18334)); // 18333.3 rounded up
        QCOMPARE(wireTimeUs(1, 38400, 10), qint64(261));
        QCOMPARE(wireTimeUs(0, 38400, 11), qint64(0));
    }

    // The send timer never fires sooner than asked, fires once, and a restart
    // or a stop replaces what was asked before.
    void microTimer_data()
    {
        QTest::addColumn<qint64>("firstUs");
        QTest::addColumn<QString>("then");
        QTest::addColumn<qint64>("minUs");
        QTest::addColumn<int>("fires");
        QTest::newRow("below a millisecond") << qint64(300) << "" << qint64(300) << 1;
        QTest::newRow("the silent interval above 19200 baud") << qint64(1750) << "" << qint64(1750) << 1;
        QTest::newRow("zero fires from the event loop") << qint64(0) << "" << qint64(0) << 1;
        QTest::newRow("restart later") << qint64(200) << "restart" << qint64(3000) << 1;
        QTest::newRow("stopped") << qint64(500) << "stop" << qint64(0) << 0;
    }
    void microTimer()
    {
        QFETCH(qint64, firstUs);
        QFETCH(QString, then);
        QFETCH(qint64, minUs);
        QFETCH(int, fires);
        MicroTimer timer;
        QElapsedTimer clock;
        qint64 firedAtUs = -1;
        connect(&timer, &MicroTimer::timeout, &timer, [&] {
            if (firedAtUs < 0)
                firedAtUs = clock.nsecsElapsed() / 1000;
        });
        QSignalSpy spy(&timer, &MicroTimer::timeout);
        clock.start();
        timer.start(firstUs);
        QVERIFY(timer.isActive());
        if (then == "restart")
            timer.start(3000);
        else if (then == "stop")
            timer.stop();
        // A later timer marks when any of them, and a wrong second firing,
        // would have happened.
        QTimer later;
        later.setSingleShot(true);
        QSignalSpy laterSpy(&later, &QTimer::timeout);
        later.start(30);
        QVERIFY(laterSpy.wait(2000));
        QCOMPARE(spy.size(), fires);
        QVERIFY(!timer.isActive());
        if (fires)
            QVERIFY2(firedAtUs >= minUs, qPrintable(QString::number(firedAtUs)));
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
