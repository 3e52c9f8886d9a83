// The production database through real ODBC against the test PostgreSQL
// server: the start-up identification, the server clock, the recorded rows
// with their NULLs, the meter look-up, the transaction, the last programming
// time, and a server that cannot be reached.

#include "support/DbFixture.h"

#include "common/TextFormat.h"
#include "db/ClockSetter.h"
#include "db/ProductionDb.h"
#include "db/ProductionSession.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>

#include <atomic>
#include <thread>

using namespace kelvar;
using test::DbFixture;
using Session = db::ProductionSession;

Q_DECLARE_METATYPE(Session::Check)
Q_DECLARE_METATYPE(kelvar::meter::SettingsValues)
Q_DECLARE_METATYPE(Session::Record)

namespace {

// Records what the program would set the workstation clock to.
struct RecordingClock : db::ClockSetter {
    QList<QDateTime> set;
    bool setLocalTime(const QDateTime &t) override
    {
        set << t;
        return false;   // as a workstation without the right: ignored
    }
};

struct Rig {
    db::ProductionDb database{QStringLiteral("under-test")};
    Session session{database};
    RecordingClock clock;
    QList<QStringList> messages;   // icon, title, text
    QStringList protocol;
    Rig()
    {
        session.setClockSetter(&clock);
        QObject::connect(&session, &Session::message, [this](Session::Icon icon, const QString &title, const QString &text) {
            messages << QStringList{icon == Session::Icon::Warning ? "warning" : "error", title, text};
        });
        QObject::connect(&session, &Session::protocolLine, [this](const QString &l) { protocol << l; });
    }
};

// The meter as the information tab shows it in these tests.
db::MeterSnapshot shownMeter(const QString &delta = {})
{
    db::MeterSnapshot m;
    m.version = QStringLiteral("5.17");
    m.type = QStringLiteral("Kelvar 517.01");
    m.operatingTime = QStringLiteral("1д.00:00:30");
    m.checksum = QStringLiteral("4660");
    m.corrections = QStringLiteral("7");
    m.tariff[0] = text::fixed(1.5, 2);
    m.tariff[1] = text::fixed(2.25, 2);
    m.tariff[2] = QStringLiteral("?");   // not a number: counts as 0
    m.status = 0xE5;
    m.delta = delta;
    return m;
}

// The columns every record fills, whatever was written.
QVariantMap alwaysColumns()
{
    return {{"version", "5.17"}, {"el_type", "Kelvar 517.01"}, {"turn_on", "1д.00:00:30"},
            {"status", 0xE0}, {"check_sum", 4660}, {"t", 3.75}, {"ncorrect", 7}};
}

const QStringList SetKelvarColumns{"version", "el_type", "address", "baud", "turn_on", "status", "date_time",
                                   "summer", "check_sum", "pass", "t", "count_day", "count_hour", "ncorrect",
                                   "indicator", "time_integ", "ddm_a", "ddm_b", "ddm_c", "mode_tarif", "secperday"};

bool sameValue(const QVariant &actual, const QVariant &expected)
{
    if (expected.typeId() == QMetaType::Double)
        return qAbs(actual.toDouble() - expected.toDouble()) < 1e-9;
    if (expected.typeId() == QMetaType::Bool)
        return actual.toBool() == expected.toBool();
    if (expected.typeId() == QMetaType::QDateTime)
        return actual.toDateTime() == expected.toDateTime();
    return actual.toString() == expected.toString();
}

} // namespace

class TestProductionDb : public kelvar::test::DbTestCase
{
    Q_OBJECT

private slots:
    void startupCheck_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("login");
        QTest::addColumn<Session::Check>("check");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("idsFound");   // how many of computer, person, plant were found

        QTest::newRow("described: passes and sets the clock") << QStringList() << QString() << Session::Check::Passed
                                                               << QString() << 3;
        QTest::newRow("unknown computer: first message only")
            << QStringList{"UPDATE computer SET name = 'another-bench'"} << QString() << Session::Check::Stopped
            << "Компьютер \"%computer\" не описан в БД." << 0;
        QTest::newRow("inactive operator") << QStringList{"UPDATE operator SET operating = 0"} << QString()
                                           << Session::Check::Stopped << "Пользователь \"%login\" не описан в БД." << 1;
        QTest::newRow("operator of another login")
            << QStringList{"UPDATE operator SET login = 'somebody'"} << QString() << Session::Check::Stopped
            << "Пользователь \"%login\" не описан в БД." << 1;
        QTest::newRow("plant of another type") << QStringList{"UPDATE plant SET type_id = 4"} << QString()
                                               << Session::Check::Stopped << "Установка не описана в БД." << 2;
        QTest::newRow("plant of another computer") << QStringList{"UPDATE plant SET computer_id = 70"} << QString()
                                                   << Session::Check::Stopped << "Установка не описана в БД." << 2;
        // The whole user name is looked up, however long.
        QTest::newRow("user name of 24 characters")
            << QStringList{"UPDATE operator SET login = 'operator-of-the-long-name'"}
            << "operator-of-the-long-name" << Session::Check::Passed << QString() << 3;
        // A name is data, never SQL.
        QTest::newRow("quote in the user name") << QStringList() << "x' OR '1'='1" << Session::Check::Stopped
                                                << "Пользователь \"%login\" не описан в БД." << 1;
    }
    void startupCheck()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, login);
        QFETCH(Session::Check, check);
        QFETCH(QString, message);
        QFETCH(int, idsFound);
        QVERIFY(DbFixture::exec(setup));
        Rig rig;
        if (!login.isEmpty())
            rig.session.setWorkstation(rig.session.computerName(), login);

        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        QCOMPARE(rig.session.FormActivate(), check);
        const QDateTime after = QDateTime::currentDateTime().addSecs(2);

        const QList<int> ids{rig.session.ComputerId, rig.session.PersonId, rig.session.PlantId};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(ids[i] != 0, i < idsFound);
        if (idsFound == 3)
            QCOMPARE(ids, (QList<int>{7, 8, 9}));
        if (check == Session::Check::Passed) {
            QVERIFY(rig.messages.isEmpty());
            QCOMPARE(rig.clock.set.size(), 1);   // the server's clock, read just now
            QVERIFY(rig.clock.set[0] >= before && rig.clock.set[0] <= after);
        } else {
            message.replace("%computer", rig.session.computerName()).replace("%login", rig.session.loginName());
            QCOMPARE(rig.messages, (QList<QStringList>{{"warning", "Приложение остановлено", message}}));
            QVERIFY(rig.clock.set.isEmpty());
        }
        QVERIFY(rig.protocol.isEmpty());
    }

    void recordedColumns_data()
    {
        QTest::addColumn<bool>("withSettings");
        QTest::addColumn<meter::SettingsValues>("values");
        QTest::addColumn<QString>("delta");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QVariantMap>("filled");   // beyond the columns filled always

        meter::SettingsValues onlyTime;
        onlyTime.writeTime = true;
        onlyTime.date = QDate(2026, 12, 9);
        onlyTime.time = QTime(14, 5, 9);
        onlyTime.summerTime = true;
        onlyTime.number = 4711;
        QTest::newRow("settings, only the clock ticked")
            << true << onlyTime << QString() << true
            << QVariantMap{{"date_time", QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))}, {"summer", true}};

        meter::SettingsValues all = onlyTime;
        all.summerTime = false;
        all.writeLink = all.writeBilling = all.writePassword = all.writeDisplay = all.writeIntegration = true;
        all.writeDescription = all.resetTariff = true;
        all.newAddress = 11;
        all.baudIndex = 1;
        all.billingDay = 25;
        all.billingHour = 23;
        all.newPassword = QStringLiteral("4321");
        all.displayMask = 0x2D;
        all.peakMinutes = 30;
        QTest::newRow("settings, every item ticked")
            << true << all << text::fixed(-0.5, 2) << true
            << QVariantMap{{"address", 11}, {"baud", "9600"}, {"date_time", QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))},
                           {"summer", false}, {"pass", "4321"}, {"count_day", 25}, {"count_hour", 23},
                           {"indicator", 45.0}, {"time_integ", 30}, {"secperday", -0.5}};
        // The record without settings fills the columns filled always and the deviation.
        QTest::newRow("fix: state only, whatever is ticked")
            << false << all << text::fixed(0.25, 2) << true << QVariantMap{{"secperday", 0.25}};
        // The success flag: the clock kept time within -3 .. 1 s per day.
        QTest::newRow("deviation 1.00: success") << false << all << text::fixed(1.0, 2) << true
                                                 << QVariantMap{{"secperday", 1.0}};
        QTest::newRow("deviation -3.00: success") << false << all << text::fixed(-3.0, 2) << true
                                                  << QVariantMap{{"secperday", -3.0}};
        QTest::newRow("deviation 1.01: failure") << false << all << text::fixed(1.01, 2) << false
                                                 << QVariantMap{{"secperday", 1.01}};
        QTest::newRow("deviation -3.01: failure") << false << all << text::fixed(-3.01, 2) << false
                                                  << QVariantMap{{"secperday", -3.01}};
        QTest::newRow("no deviation: success, secperday NULL") << true << onlyTime << QString() << true
                                                               << QVariantMap{{"date_time", QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))},
                                                                              {"summer", true}};
    }
    void recordedColumns()
    {
        QFETCH(bool, withSettings);
        QFETCH(meter::SettingsValues, values);
        QFETCH(QString, delta);
        QFETCH(bool, success);
        QFETCH(QVariantMap, filled);
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);

        const auto result = withSettings
            ? rig.session.RecordSettingsOperation(4711, 0, values, shownMeter(delta))
            : rig.session.ActionFixDbExecute(4711, shownMeter(delta));
        QCOMPARE(result, Session::Record::Recorded);
        QVERIFY(rig.messages.isEmpty());

        const auto operations = DbFixture::rows("SELECT o.*, e.number FROM operation o JOIN electrometer e USING (electro_id)");
        QCOMPARE(operations.size(), 1);
        const QVariantMap op = operations[0];
        QCOMPARE(op["type_id"].toInt(), 3);
        QCOMPARE(op["number"].toInt(), 4711);
        QCOMPARE(op["plant_id"].toInt(), 9);
        QCOMPARE(op["person_id"].toInt(), 8);
        QCOMPARE(op["success"].toBool(), success);

        const auto details = DbFixture::rows("SELECT * FROM set_kelvar");
        QCOMPARE(details.size(), 1);
        QCOMPARE(details[0]["operation_id"].toInt(), op["operation_id"].toInt());
        QVariantMap expected = alwaysColumns();
        expected.insert(filled);
        for (const QString &column : SetKelvarColumns) {
            const QVariant actual = details[0][column];
            if (!expected.contains(column)) {
                QVERIFY2(actual.isNull(), qPrintable(column + " should be NULL, is " + actual.toString()));
                continue;
            }
            QVERIFY2(!actual.isNull(), qPrintable(column + " should be filled"));
            QVERIFY2(sameValue(actual, expected[column]),
                     qPrintable(column + ": " + actual.toString() + " != " + expected[column].toString()));
        }
    }

    // Which number a record is looked up under, and what an undescribed one gives.
    void meterLookup_data()
    {
        QTest::addColumn<bool>("withSettings");
        QTest::addColumn<quint32>("meterNumber");   // the number the meter reported
        QTest::addColumn<quint32>("fieldNumber");   // the number field
        QTest::addColumn<int>("recordedNumber");    // 0: nothing recorded
        QTest::newRow("numbered by this write: the field's number") << true << 0u << 1234u << 1234;
        QTest::newRow("numbered meter: its own number") << true << 4711u << 1234u << 4711;
        QTest::newRow("fix: the field's number") << false << 4711u << 1234u << 1234;
        QTest::newRow("number not described") << true << 999u << 0u << 0;
        QTest::newRow("number of another meter type") << true << 555u << 0u << 0;
        QTest::newRow("fix: number not described") << false << 4711u << 999u << 0;
    }
    void meterLookup()
    {
        QFETCH(bool, withSettings);
        QFETCH(quint32, meterNumber);
        QFETCH(quint32, fieldNumber);
        QFETCH(int, recordedNumber);
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        meter::SettingsValues values;
        values.writeTime = true;
        values.number = fieldNumber;
        const auto result = withSettings
            ? rig.session.RecordSettingsOperation(meterNumber, fieldNumber, values, shownMeter())
            : rig.session.ActionFixDbExecute(fieldNumber, shownMeter());
        if (recordedNumber == 0) {
            QCOMPARE(result, Session::Record::NotDescribed);
            QCOMPARE(rig.messages, (QList<QStringList>{{"error", "Ошибка записи в БД",
                                                        "Номер прибора не описан в БД. Установите его."}}));
            QCOMPARE(DbFixture::count("operation"), 0);
            QCOMPARE(DbFixture::count("set_kelvar"), 0);
            return;
        }
        QCOMPARE(result, Session::Record::Recorded);
        const auto rows = DbFixture::rows("SELECT e.number, operation_id FROM operation JOIN electrometer e "
                                          "USING (electro_id) JOIN set_kelvar USING (operation_id)");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["number"].toInt(), recordedNumber);
        // The session names the operation it wrote, for that meter only.
        QCOMPARE(rig.session.recordedOperation(quint32(recordedNumber)), rows[0]["operation_id"].toInt());
        QCOMPARE(rig.session.recordedOperation(quint32(recordedNumber) + 1), 0);
    }

    // The set_kelvar insert fails: neither row stays, the message names the
    // error, and the next record goes through on the same session.
    void failedDetailLeavesNoOperation()
    {
        QVERIFY(DbFixture::exec(
            {"CREATE OR REPLACE FUNCTION refuse_marked() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "IF (SELECT number FROM electrometer e JOIN operation o USING (electro_id) "
             "WHERE o.operation_id = NEW.operation_id) = 131071 THEN "
             "RAISE EXCEPTION 'marked meter refused'; END IF; RETURN NEW; END $$",
             "CREATE TRIGGER refuse_marked BEFORE INSERT ON set_kelvar FOR EACH ROW EXECUTE FUNCTION refuse_marked()"}));
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        QCOMPARE(rig.session.ActionFixDbExecute(131071, shownMeter()), Session::Record::Failed);
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].mid(0, 2), (QStringList{"error", "Ошибка БД"}));
        QVERIFY(rig.messages[0][2].startsWith("Ошибка записи в БД: "));
        QVERIFY2(rig.messages[0][2].contains("marked meter refused"), qPrintable(rig.messages[0][2]));
        QCOMPARE(DbFixture::count("operation"), 0);
        QCOMPARE(DbFixture::count("set_kelvar"), 0);

        rig.messages.clear();
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Recorded);
        QVERIFY(rig.messages.isEmpty());
        QCOMPARE(DbFixture::count("operation"), 1);
        QCOMPARE(DbFixture::count("set_kelvar"), 1);
    }

    // The server is restarted between two records: the second goes through
    // on a new connection, and the operator sees no message.
    void serverRestartedBetweenRecords()
    {
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Recorded);
        QVERIFY(DbFixture::restartServer());
        QVERIFY(DbFixture::reopen());
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Recorded);
        QCOMPARE(rig.messages, QList<QStringList>());
        QCOMPARE(DbFixture::count("operation"), 2);
        QCOMPARE(DbFixture::count("set_kelvar"), 2);
    }

    // The server goes away while a record's transaction is open (its detail
    // row waits in a trigger): that record is reported failed with one
    // message, neither of its rows stays, and the next record goes through.
    void serverGoneInTransaction()
    {
        QVERIFY(DbFixture::exec(
            {"CREATE OR REPLACE FUNCTION slow_marked() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "IF (SELECT number FROM electrometer e JOIN operation o USING (electro_id) "
             "WHERE o.operation_id = NEW.operation_id) = 131071 THEN PERFORM pg_sleep(60); END IF; "
             "RETURN NEW; END $$",
             "CREATE TRIGGER slow_marked BEFORE INSERT ON set_kelvar FOR EACH ROW EXECUTE FUNCTION slow_marked()"}));
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        // Once the record waits in the trigger, the server is restarted.
        std::atomic<bool> restarted = false;
        std::thread restarter([&restarted] {
            {
                QSqlDatabase watcher = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("watcher"));
                watcher.setDatabaseName(QStringLiteral("electrometer"));
                watcher.open();
                QElapsedTimer waited;
                waited.start();
                while (watcher.isOpen() && waited.elapsed() < 30000) {
                    QSqlQuery q(watcher);
                    if (q.exec("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") && q.next()
                        && q.value(0).toInt() > 0)
                        break;
                    QThread::msleep(20);
                }
            }
            QSqlDatabase::removeDatabase(QStringLiteral("watcher"));
            restarted = DbFixture::restartServer();
        });
        const Session::Record result = rig.session.ActionFixDbExecute(131071, shownMeter());
        restarter.join();
        QVERIFY(restarted);
        QCOMPARE(result, Session::Record::Failed);
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(DbFixture::reopen());
        QCOMPARE(DbFixture::count("operation"), 0);
        QCOMPARE(DbFixture::count("set_kelvar"), 0);

        rig.messages.clear();
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Recorded);
        QCOMPARE(rig.messages, QList<QStringList>());
        QCOMPARE(DbFixture::count("operation"), 1);
        QCOMPARE(DbFixture::count("set_kelvar"), 1);
    }

    // The newest programming time on record, for the clock deviation.
    void lastSetTime()
    {
        Rig rig;
        QCOMPARE(rig.session.FormActivate(), Session::Check::Passed);
        QVERIFY(!rig.session.LastSetTime(4711).isValid());   // never programmed
        meter::SettingsValues values;
        values.writeTime = true;
        for (int day : {3, 9, 5}) {
            values.date = QDate(2026, 11, day);
            values.time = QTime(10, 30, 15);
            QCOMPARE(rig.session.RecordSettingsOperation(4711, 0, values, shownMeter()), Session::Record::Recorded);
        }
        // A record without the clock written does not count.
        QCOMPARE(rig.session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Recorded);
        QCOMPARE(rig.session.LastSetTime(4711), QDateTime(QDate(2026, 11, 9), QTime(10, 30, 15)));
        QVERIFY(!rig.session.LastSetTime(1234).isValid());
        QVERIFY(rig.protocol.isEmpty());
    }

    // A server that refuses, or accepts the connection and never answers:
    // every call returns within the time-out with the error, and the program
    // goes on; once identified, a record is tried again afresh.
    void unreachableServer_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("connection refused") << false;
        QTest::newRow("server never answers") << true;
    }
    void unreachableServer()
    {
        QFETCH(bool, silent);
        QTcpServer listener;   // never accepts: the system completes the connection, nobody answers
        int port = 1;
        if (silent) {
            QVERIFY(listener.listen(QHostAddress::LocalHost));
            port = listener.serverPort();
        }
        const QString dataSource = QStringLiteral("DRIVER={KelvarPostgreSQL};Servername=127.0.0.1;Port=%1;"
                                                  "Database=production;Username=kelvar;Password=x")
                                       .arg(port);
        db::ProductionDb database(QStringLiteral("unreachable"), dataSource);
        Session session(database);
        RecordingClock clock;
        session.setClockSetter(&clock);
        QSignalSpy messages(&session, &Session::message);
        QSignalSpy protocol(&session, &Session::protocolLine);
        // Bounded by the login time-out, not the system's connect time-out of
        // minutes; the margin leaves room for a busy machine.
        const qint64 limit = db::ProductionDb::LoginTimeoutSeconds * 4 * 1000;

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(session.FormActivate(), Session::Check::Failed);
        QVERIFY2(timer.elapsed() < limit, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][1].toString(), QStringLiteral("Ошибка БД"));
        QVERIFY(!messages[0][2].toString().isEmpty());
        QVERIFY(clock.set.isEmpty());

        timer.restart();
        QVERIFY(!session.LastSetTime(4711).isValid());
        QVERIFY(timer.elapsed() < limit);
        QCOMPARE(protocol.size(), 1);
        QVERIFY(!session.SyncClockFromServer(true));
        QCOMPARE(protocol.size(), 2);
        QCOMPARE(messages.size(), 2);

        timer.restart();
        QCOMPARE(session.ActionFixDbExecute(4711, shownMeter()), Session::Record::Failed);
        QVERIFY(timer.elapsed() < limit);
        QCOMPARE(messages.size(), 3);
        QVERIFY(messages[2][2].toString().startsWith(QStringLiteral("Ошибка записи в БД: ")));
        QCOMPARE(DbFixture::count("operation"), 0);
    }
};

QTEST_GUILESS_MAIN(TestProductionDb)
#include "tst_productiondb.moc"
