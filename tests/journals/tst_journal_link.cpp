// Journal reads through the engine against the simulated meter on a
// pseudo-terminal, in both protocol types: the requests on the line, the rows
// against the meter's generated history, progress, the end of the read, an
// error reply in the middle, and chart updates only when a list changed.

#include "support/LinkRig.h"
#include "TestUtil.h"
#include "journals/JournalOwner.h"
#include "link/Encoding.h"
#include "metersim/History.h"
#include "metersim/Tariff.h"

using namespace kelvar;
using namespace kelvar::journals;

namespace {

struct JournalRig : test::LinkRig {
    JournalOwner owner{engine, dispatcher, state};
    QList<int> progress;
    QList<QPair<bool, QString>> ends;
    int chartChanges = 0;
    QList<ChartBar> bars;

    JournalRig()
    {
        QObject::connect(&owner, &JournalOwner::progress, [this](JournalKind, int v, int) { progress << v; });
        QObject::connect(&owner, &JournalOwner::finished,
                         [this](JournalKind, bool ok, const QString &e) { ends << qMakePair(ok, e); });
        QObject::connect(&owner, &JournalOwner::chartChanged, [this](JournalKind, const QList<ChartBar> &b) {
            ++chartChanges;
            bars = b;
        });
    }

    bool startMeter(link::Protocol protocol)
    {
        return start([&](sim::MeterState &s) {
            s.protocol = protocol;
            s.address = 5;
            s.baudIndex = 3; // 38400 baud: the 256-entry reads take less time
        }) && waitForInfo();
    }

    bool read(JournalKind kind, const JournalParams &params, int ms = 60000)
    {
        if (!owner.startRead(kind, params))
            return false;
        return QTest::qWaitFor([&] { return !ends.isEmpty(); }, ms);
    }

    // The journal requests the meter took, without their CRC.
    QList<QByteArray> journalRequestsSeen(JournalKind kind) const
    {
        QList<QByteArray> seen;
        for (const QByteArray &r : server.receivedRequests())
            if (quint8(r.at(0)) == functionCode(kind))
                seen << r.chopped(2);
        return seen;
    }

    sim::History history() const
    {
        const sim::MeterState s = server.state();
        return sim::History(s.seed, s.birth);
    }

    QDate meterToday() const { return link::secondsSince2000(server.state().birth).date(); }
};

QString kWh(quint64 counts)
{
    return QString::number(double(counts) / 4000.0, 'g', 15).replace('.', ',');
}

QString kWh(const std::array<quint32, 3> &c, int t) { return kWh(c[t]); }

QDate captionDate(const QString &caption) { return QDate::fromString(caption.left(10), "dd.MM.yyyy"); }

QDateTime captionDateTime(const QString &caption)
{
    const QDateTime dt = QDateTime::fromString(caption, "dd.MM.yyyy HH:mm:ss");
    return dt.isValid() ? dt : QDateTime(captionDate(caption), QTime(0, 0));
}

void verifyAscending(const QList<QStringList> &rows)
{
    for (qsizetype i = 1; i < rows.size(); ++i)
        QVERIFY2(captionDateTime(rows.at(i - 1).at(0)) <= captionDateTime(rows.at(i).at(0)),
                 qPrintable(rows.at(i - 1).at(0) + " > " + rows.at(i).at(0)));
}

} // namespace

class TestJournalLink : public QObject {
    Q_OBJECT
private slots:
    void reads_data()
    {
        QTest::addColumn<link::Protocol>("protocol");
        QTest::addColumn<int>("kind");
        for (link::Protocol protocol : {link::Protocol::Rs485, link::Protocol::Modbus}) {
            const char *p = test::protocolName(protocol);
            QTest::addRow("%s yearly", p) << protocol << int(JournalKind::Yearly);
            QTest::addRow("%s daily", p) << protocol << int(JournalKind::Daily);
            QTest::addRow("%s profile", p) << protocol << int(JournalKind::Profile);
            QTest::addRow("%s settings", p) << protocol << int(JournalKind::Settings);
            QTest::addRow("%s power-on", p) << protocol << int(JournalKind::PowerOn);
        }
    }
    void reads()
    {
        QFETCH(link::Protocol, protocol);
        QFETCH(int, kind);
        const JournalKind k = JournalKind(kind);
        JournalRig rig;
        QVERIFY(rig.startMeter(protocol));
        const QDate today = rig.meterToday();
        const sim::History history = rig.history();
        const QDate lastYear(today.year() - 1, 1, 1);
        const QDate twoMonthsAgo = today.addMonths(-2);
        const QDate profileDay = today.addDays(-3);
        JournalParams params{lastYear.year(), 0, profileDay};
        if (k == JournalKind::Daily)
            params = {twoMonthsAgo.year(), twoMonthsAgo.month() - 1, {}};
        rig.state.MeterNumber = 4711;

        QVERIFY(rig.read(k, params));
        QCOMPARE(rig.ends.size(), 1);
        QVERIFY2(rig.ends.first().first, qPrintable(rig.ends.first().second));
        const QList<QByteArray> expected = journalRequests(k, params);
        QCOMPARE(rig.journalRequestsSeen(k), expected);
        QCOMPARE(rig.progress.last(), int(expected.size()));
        QCOMPARE(rig.progress.size(), int(expected.size()) + 1);

        const JournalTable &table = rig.owner.table(k);
        QCOMPARE(table.meterNumber(), 4711u);
        verifyAscending(table.rows());
        QList<QStringList> want;
        if (k == JournalKind::Yearly) {
            for (int m = 1; m <= 12; ++m) {
                const sim::MonthRecord r = history.month(sim::monthKey(QDate(lastYear.year(), m, 1)));
                want << QStringList{QDate(lastYear.year(), m, 1).toString("dd.MM.yyyy"), kWh(r.counts, 0),
                                    kWh(r.counts, 1), kWh(r.counts, 2), QString::number(r.peakPower)};
            }
            for (QStringList &row : want)
                row << QString() << QString(); // not compared
        } else if (k == JournalKind::Daily) {
            for (QDate d(twoMonthsAgo.year(), twoMonthsAgo.month(), 1); d.month() == twoMonthsAgo.month(); d = d.addDays(1)) {
                const sim::DayRecord r = history.day(sim::dayNumber(d));
                if (r.hasStart)
                    want << QStringList{d.toString("dd.MM.yyyy"), kWh(r.startCounts, 0), kWh(r.startCounts, 1),
                                        kWh(r.startCounts, 2)};
            }
        } else if (k == JournalKind::Profile) {
            const sim::DayRecord r = history.day(sim::dayNumber(profileDay));
            QVERIFY(r.hasStart);
            quint64 reading = quint64(r.startCounts[0]) + r.startCounts[1] + r.startCounts[2];
            for (int i = 0; i < 48; ++i) {
                const quint32 inc = qMin<quint32>(r.increments[i], 0xFFFF);
                want << QStringList{profileDay.toString("dd.MM.yyyy ") + QTime(0, 0).addSecs(1800 * i).toString("HH:mm:ss"),
                                    kWh(2 * inc), kWh(inc), kWh(reading)};
                reading += inc;
            }
        } else {
            const sim::MeterState s = rig.server.state();
            const int entries = int(k == JournalKind::Settings ? s.settingsJournal.size() : s.powerJournal.size());
            QCOMPARE(table.size(), entries);
            QVERIFY(entries > 2);
            // The newest entry (index 0) is shown last.
            const quint32 newest = k == JournalKind::Settings ? s.settingsJournal.first().time : s.powerJournal.first().time;
            QCOMPARE(captionDateTime(table.rows().last().at(0)), link::secondsSince2000(newest));
        }
        if (k == JournalKind::Yearly) {
            QCOMPARE(table.size(), 12);
            for (int i = 0; i < 12; ++i)
                QCOMPARE(table.rows().at(i).mid(0, 5), want.at(i).mid(0, 5));
        } else if (!want.isEmpty()) {
            QCOMPARE(table.rows(), want);
        }
        if (hasChart(k)) {
            QCOMPARE(rig.bars, table.chartBars());
            if (k == JournalKind::Profile)
                QCOMPARE(rig.bars.size(), 48);
            else
                QVERIFY(rig.bars.size() >= table.size() - 2); // readings rise nearly every month and day
        }
        // The next poll response hides the gauge.
        QSignalSpy gauge(&rig.owner, &JournalOwner::gaugeVisibilityChanged);
        QVERIFY(QTest::qWaitFor([&] { return !gauge.isEmpty() && !gauge.last().at(0).toBool(); }, 5000));
    }

    void errorReplyInTheMiddle_data() { test::addProtocolRows(); }
    void errorReplyInTheMiddle()
    {
        QFETCH(link::Protocol, protocol);
        JournalRig rig;
        QVERIFY(rig.startMeter(protocol));
        const int year = rig.meterToday().year() - 1;
        // The fifth yearly request is answered with error 4.
        QObject::connect(&rig.owner, &JournalOwner::progress, [&](JournalKind, int value, int) {
            if (value != 4)
                return;
            sim::Faults faults;
            faults.errorFunction = 0x12;
            faults.errorCode = 4;
            faults.shots = 1;
            rig.server.setFaults(faults);
        });
        QVERIFY(rig.read(JournalKind::Yearly, {year, 0, {}}));
        QCOMPARE(rig.ends.size(), 1);
        QVERIFY(!rig.ends.first().first);
        QVERIFY2(rig.ends.first().second.contains("чтение годового журнала"), qPrintable(rig.ends.first().second));
        QCOMPARE(rig.journalRequestsSeen(JournalKind::Yearly).size(), 5);
        QCOMPARE(rig.progress.last(), 4);
        QStringList captions;
        for (const QStringList &row : rig.owner.table(JournalKind::Yearly).rows())
            captions << row.at(0);
        QCOMPARE(captions, (QStringList{QDate(year, 1, 1).toString("dd.MM.yyyy"), QDate(year, 2, 1).toString("dd.MM.yyyy"),
                                        QDate(year, 3, 1).toString("dd.MM.yyyy"), QDate(year, 4, 1).toString("dd.MM.yyyy")}));
        // Polling goes on after the dropped read.
        rig.server.clearReceived();
        QVERIFY(QTest::qWaitFor([&] { return rig.server.receivedRequests().size() > 2; }, 5000));
    }

    // Blank records (days still to come) leave the list as it was, and the
    // chart is not rebuilt for them.
    void chartRebuiltOnlyWhenTheListChanged()
    {
        JournalRig rig;
        QVERIFY(rig.startMeter(link::Protocol::Rs485));
        const QDate today = rig.meterToday();
        QVERIFY(rig.read(JournalKind::Daily, {today.year(), today.month() - 1, {}}));
        QVERIFY(rig.ends.first().first);
        const int rows = rig.owner.table(JournalKind::Daily).size();
        QVERIFY(rows >= today.day() - 2 && rows <= today.day());
        QCOMPARE(rig.chartChanges, 1 + rows); // emptied at the start, then once per added row
    }

    void readRefusedWhileDisconnected()
    {
        JournalRig rig;
        QVERIFY(!rig.owner.startRead(JournalKind::Settings, {}));
        QVERIFY(rig.engine.queue().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJournalLink)
#include "tst_journal_link.moc"
