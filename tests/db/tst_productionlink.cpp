// Production mode on the link: the simulated meter on a pseudo-terminal, the
// engine, the settings write and the meter information hooked to the test
// database as the window hooks them. A completed write leaves its rows, the
// clock deviation follows the last recorded programming, and a database that
// cannot be reached never stalls the link.

#include "support/DbFixture.h"
#include "support/LinkRig.h"

#include "db/ClockSetter.h"
#include "db/ProductionDb.h"
#include "db/ProductionSession.h"

#include <QTcpServer>

using namespace kelvar;
using test::DbFixture;
using test::LinkRig;
using Session = db::ProductionSession;

namespace {

struct RecordingClock : db::ClockSetter {
    QList<QDateTime> set;
    bool setLocalTime(const QDateTime &t) override
    {
        set << t;
        return true;
    }
};

// The link of LinkRig in production mode with a session on a data source.
struct ProductionRig : LinkRig {
    db::ProductionDb database;
    Session session{database};
    RecordingClock clock;
    meter::SettingsValues values;
    QStringList messages;
    QStringList dbProtocol;

    explicit ProductionRig(const QString &dataSource = QStringLiteral("electrometer"))
        : database(QStringLiteral("link-under-test"), dataSource)
    {
        log.setEnabled(false);
        info.setProductionMode(true);
        engine.setProductionMode(true);
        settings.setProductionMode(true);
        settings.setValuesSource([this] { return values; });
        session.setClockSetter(&clock);
        session.attach(settings, info, [this] { return values; });
        QObject::connect(&session, &Session::message,
                         [this](Session::Icon, const QString &, const QString &text) { messages << text; });
        QObject::connect(&session, &Session::protocolLine, [this](const QString &l) { dbProtocol << l; });
    }
};

} // namespace

class TestProductionLink : public kelvar::test::DbTestCase
{
    Q_OBJECT

private slots:
    // The whole road: the meter reports 4711, the operator writes only the
    // clock; the server's time goes to the workstation clock first, and the
    // completed write leaves one operation and one detail row.
    void completedWriteIsRecorded()
    {
        ProductionRig rig;
        QVERIFY(rig.start([](sim::MeterState &s) { s.serialNumber = 4711; }));
        QVERIFY(rig.waitForInfo());
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        QCOMPARE(rig.clock.set.size(), 1);
        rig.values.writeTime = true;
        rig.values.date = QDate::currentDate();
        rig.values.time = QTime::currentTime();
        rig.values.summerTime = true;
        rig.values.number = 4711;

        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::Started);
        QCOMPARE(rig.clock.set.size(), 2);   // set again before the write
        QVERIFY(rig.waitForOutcome());
        QCOMPARE(rig.indicators.last(), app::Indicator::Green);
        QVERIFY2(rig.messages.isEmpty(), qPrintable(rig.messages.join('\n')));

        const auto rows = DbFixture::rows("SELECT e.number, o.success, s.* FROM operation o JOIN electrometer e "
                                          "USING (electro_id) JOIN set_kelvar s USING (operation_id)");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["number"].toInt(), 4711);
        QVERIFY(rows[0]["success"].toBool());
        QCOMPARE(rows[0]["date_time"].toDateTime(), QDateTime(rig.values.date, rig.values.time.addMSecs(-rig.values.time.msec())));
        QVERIFY(rows[0]["summer"].toBool());
        QVERIFY(rows[0]["address"].isNull());
        QVERIFY(rows[0]["secperday"].isNull());
        // What the information showed went into the record.
        QCOMPARE(rows[0]["el_type"].toString(), rig.info.mainValue(meter::MeterInfo::RowType));
        QVERIFY(!rows[0]["el_type"].toString().isEmpty());

        // The link goes on polling after the completion.
        rig.server.clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().size() >= 4, 5000);
    }

    // A meter programmed two days ago whose clock is 20 s fast: about 10 s
    // a day, shown as the deviation and recorded as a failure.
    void driftSinceLastProgramming()
    {
        const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
        QVERIFY(DbFixture::exec({"INSERT INTO operation(type_id, electro_id, plant_id, person_id, success) "
                                 "SELECT 3, electro_id, 9, 8, true FROM electrometer WHERE number = 4711 AND type_id = 43"}));
        QVERIFY(DbFixture::insert("INSERT INTO set_kelvar(operation_id, date_time) SELECT MAX(operation_id), ? FROM operation", {twoDaysAgo}));
        ProductionRig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        QVERIFY(rig.start([](sim::MeterState &s) {
            s.serialNumber = 4711;
            s.clockOffset = 20;
        }));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.info.delta().isEmpty(), 10000);
        QCOMPARE(rig.state.LastSetTime.toSecsSinceEpoch(), twoDaysAgo.toSecsSinceEpoch());
        const double shown = db::readDelta(rig.info.delta()).value_or(0);
        QVERIFY2(shown > 9.4 && shown <= 10.05, qPrintable(rig.info.delta()));

        const db::MeterSnapshot shownNow = db::MeterSnapshot::of(rig.info);
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownNow), Session::Record::Recorded);
        const auto rows = DbFixture::rows("SELECT o.success, s.secperday FROM operation o JOIN set_kelvar s "
                                          "USING (operation_id) ORDER BY operation_id");
        QCOMPARE(rows.size(), 2);
        QVERIFY(!rows[1]["success"].toBool());
        QCOMPARE(rows[1]["secperday"].toDouble(), db::readDelta(shownNow.delta).value_or(0));
    }

    // The server never answers: the number read and the settings write each
    // cost at most the time-out, the errors go to the protocol view and the
    // message boxes, and the link keeps polling.
    void unreachableDatabaseNeverStallsTheLink()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        ProductionRig rig(QStringLiteral("DRIVER={KelvarPostgreSQL};Servername=127.0.0.1;Port=%1;"
                                         "Database=production;Username=kelvar;Password=x")
                              .arg(silent.serverPort()));
        QVERIFY(rig.start([](sim::MeterState &s) { s.serialNumber = 4711; }));
        QVERIFY(rig.waitForInfo(20000));
        QCOMPARE(rig.dbProtocol.size(), 1);   // the failed look-up, once
        QVERIFY(!rig.state.LastSetTime.isValid());
        // Polling goes on after the number read.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.info.mainValue(meter::MeterInfo::RowDateTime).isEmpty(), 10000);
        QVERIFY(rig.protocol.filter(link::ExchangeEngine::TimeoutText).isEmpty());

        // The write stops after the password request: the clock could not be read.
        rig.values.writeTime = true;
        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::ClockSyncFailed);
        QCOMPARE(rig.messages.size(), 1);
        rig.server.clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().size() >= 4, 10000);
        QVERIFY(rig.clock.set.isEmpty());
    }
};

QTEST_MAIN(TestProductionLink)
#include "tst_productionlink.moc"
