// Several benches record into one server at once: eight recorder processes,
// two on each of four programming benches, 25 records each. Every detail row
// must sit under the operation its own process inserted: the row's address
// is its meter's, and the operation's meter and bench are those of the
// process that recorded it.

#include "support/DbFixture.h"

#include "db/ProductionDb.h"
#include "db/ProductionSession.h"

#include <QProcess>

using namespace kelvar;
using kelvar::test::DbFixture;

namespace {
constexpr int Benches = 4;
constexpr int ProcessesPerBench = 2;
constexpr int RecordsEach = 25;
constexpr int FirstNumber = 20000;   // meter numbers FirstNumber.. ; address = number - FirstNumber
constexpr int Total = Benches * ProcessesPerBench * RecordsEach;
} // namespace

class TestDbConcurrency : public kelvar::test::DbTestCase
{
    Q_OBJECT
private slots:
    // A row of the same bench numbered above what the server gives next
    // (imported, or drawn from another range): the plant's newest row is then
    // not the one this insert wrote, yet the detail goes under its own.
    void higherNumberedRowOfTheBench()
    {
        QVERIFY(DbFixture::exec({QStringLiteral("INSERT INTO operation(operation_id, type_id, electro_id, plant_id, "
                                                "person_id, success) SELECT 900000, 3, electro_id, 9, 8, true "
                                                "FROM electrometer WHERE number = 4711"),
                                 QStringLiteral("INSERT INTO set_kelvar(operation_id, address) VALUES (900000, 1)")}));
        db::ProductionDb database(QStringLiteral("under-test"));
        db::ProductionSession session(database);
        QCOMPARE(session.FormActivate(), db::ProductionSession::Check::Passed);
        meter::SettingsValues values;
        values.writeLink = true;
        values.newAddress = 77;
        QCOMPARE(session.RecordSettingsOperation(1234, 0, values, {}), db::ProductionSession::Record::Recorded);
        const auto rows = DbFixture::rows(QStringLiteral(
            "SELECT e.number FROM set_kelvar s JOIN operation o USING (operation_id) "
            "JOIN electrometer e USING (electro_id) WHERE s.address = 77"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["number"].toInt(), 1234);
    }

    void eightProcessesFourBenches()
    {
        for (int b = 1; b <= Benches; ++b) {
            QVERIFY(DbFixture::insert(QStringLiteral("INSERT INTO computer(computer_id, name) VALUES (?, ?)"),
                                      {100 + b, QStringLiteral("bench-%1").arg(b)}));
            QVERIFY(DbFixture::insert(QStringLiteral("INSERT INTO plant(plant_id, type_id, computer_id) VALUES (?, 3, ?)"),
                                      {200 + b, 100 + b}));
        }
        QVERIFY(DbFixture::exec({QStringLiteral("DELETE FROM electrometer WHERE number >= %1").arg(FirstNumber),
                                 QStringLiteral("INSERT INTO electrometer(number, type_id) "
                                                "SELECT n, 43 FROM generate_series(%1, %2) AS n")
                                     .arg(FirstNumber)
                                     .arg(FirstNumber + Total - 1)}));

        QList<QProcess *> recorders;
        for (int p = 0; p < Benches * ProcessesPerBench; ++p) {
            auto *recorder = new QProcess(this);
            recorder->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            recorder->start(QStringLiteral(KELVAR_DBRECORDER_PATH),
                            {QStringLiteral("bench-%1").arg(1 + p / ProcessesPerBench),
                             QString::number(FirstNumber + p * RecordsEach), QString::number(RecordsEach),
                             QString::number(FirstNumber)});
            recorders << recorder;
        }
        // All identified and connected, then all start at once.
        for (QProcess *r : recorders)
            QTRY_VERIFY_WITH_TIMEOUT(r->canReadLine() || r->state() == QProcess::NotRunning, 30000);
        for (QProcess *r : recorders) {
            QCOMPARE(r->readLine().trimmed(), QByteArray("ready"));
            r->write("go\n");
        }
        for (QProcess *r : recorders) {
            QVERIFY(r->waitForFinished(120000));
            QCOMPARE(r->exitStatus(), QProcess::NormalExit);
            QCOMPARE(r->exitCode(), 0);
        }

        QCOMPARE(DbFixture::count(QStringLiteral("operation")), Total);
        QCOMPARE(DbFixture::count(QStringLiteral("set_kelvar")), Total);
        // One record per meter, each detail under an operation of its own
        // meter, recorded on the bench of the process that had that meter.
        const auto rows = DbFixture::rows(QStringLiteral(
            "SELECT e.number, s.address, o.plant_id, o.operation_id FROM set_kelvar s "
            "JOIN operation o USING (operation_id) JOIN electrometer e USING (electro_id) ORDER BY e.number"));
        QCOMPARE(rows.size(), Total);
        for (int i = 0; i < Total; ++i) {
            const QVariantMap &row = rows.at(i);
            const int number = FirstNumber + i;
            QCOMPARE(row["number"].toInt(), number);
            QCOMPARE(row["address"].toInt(), number - FirstNumber);
            QCOMPARE(row["plant_id"].toInt(), 200 + 1 + i / RecordsEach / ProcessesPerBench);
        }
    }
};

QTEST_GUILESS_MAIN(TestDbConcurrency)
#include "tst_dbconcurrency.moc"
