// kelvar517-cli on several meters at once: the program runs as a process
// against simulated meters on pseudo-terminals, one of them silent and one
// refusing the access password, and records the completed writes in the test
// database. The ports list and the output file names are checked as data.

#include "cli/MultiPort.h"
#include "support/DbFixture.h"
#include "support/MeterStart.h"
#include "metersim/MeterServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kelvar;
using cli::PortTarget;
using test::DbFixture;

Q_DECLARE_METATYPE(QList<PortTarget>)

namespace {

constexpr quint32 FirstNumber = 30001;

struct Run {
    int code = -1;
    QByteArray out;
    QString err;
};

Run runCli(const QString &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(KELVAR_CLI_PATH), args);
    Run r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Meters numbered from FirstNumber on, each at the given address, 4800 baud.
std::vector<std::unique_ptr<sim::MeterServer>> startMeters(int count, const std::function<int(int)> &address)
{
    std::vector<std::unique_ptr<sim::MeterServer>> meters;
    for (int i = 0; i < count; ++i) {
        auto server = std::make_unique<sim::MeterServer>();
        test::startMeter(*server, [&](sim::MeterState &s) {
            s.serialNumber = FirstNumber + quint32(i);
            s.address = quint8(address(i));
        });
        meters.push_back(std::move(server));
    }
    return meters;
}

} // namespace

class TestMultiPort : public kelvar::test::DbTestCase
{
    Q_OBJECT
private slots:
    void portsList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<PortTarget>>("targets");
        QTest::addColumn<QString>("error");
        QTest::newRow("ports, addresses, comments and blank lines")
            << "# rack 1\n/dev/ttyUSB0\n\n  COM3   17 \n/dev/pts/4\t255\n"
            << QList<PortTarget>{{"/dev/ttyUSB0", std::nullopt}, {"COM3", 17}, {"/dev/pts/4", 255}} << "";
        QTest::newRow("address out of range") << "COM1\nCOM2 256\n" << QList<PortTarget>{} << "line 2: \"256\" is not an address";
        QTest::newRow("three words") << "COM1 5 x\n" << QList<PortTarget>{} << "line 1: \"COM1 5 x\" is not PORT";
        QTest::newRow("port twice") << "COM1\nCOM1 4\n" << QList<PortTarget>{} << "line 2: COM1 is listed twice";
        QTest::newRow("nothing listed") << "# none\n\n" << QList<PortTarget>{} << "no port listed";
    }

    void portsList()
    {
        QFETCH(QString, text);
        QFETCH(QList<PortTarget>, targets);
        QFETCH(QString, error);
        QString why;
        const auto parsed = cli::parsePortsList(text, &why);
        QCOMPARE(parsed.has_value(), error.isEmpty());
        if (parsed)
            QCOMPARE(*parsed, targets);
        else
            QVERIFY2(why.startsWith(error), qPrintable(why));
    }

    void outputNames()
    {
        QCOMPARE(cli::expandPath("out/{port}-{serial}.xls", "/dev/pts/4", 123456), QString("out/pts-4-123456.xls"));
        QCOMPARE(cli::expandPath("{port}.csv", "COM3", 0), QString("COM3.csv"));
        QCOMPARE(cli::expandPath("{port}.csv", "/dev/serial/by-id/usb-1", 0), QString("serial-by-id-usb-1.csv"));
        QVERIFY(!cli::hasPlaceholder("journal.csv"));
    }

    // Eight meters written at once; one does not answer and one refuses the
    // access password. The other six are written, read back equal to the
    // template and recorded each under its own number.
    void eightMetersInProduction()
    {
        QVERIFY(DbFixture::exec({QStringLiteral("INSERT INTO electrometer(number, type_id) "
                                                "SELECT n, 43 FROM generate_series(%1, %2) AS n "
                                                "WHERE n NOT IN (SELECT number FROM electrometer)")
                                     .arg(FirstNumber)
                                     .arg(FirstNumber + 7)}));
        auto meters = startMeters(8, [](int i) { return 10 + i; });
        sim::Faults silent;
        silent.silent = true;
        meters[6]->setFaults(silent);
        meters[7]->updateState([](sim::MeterState &s) { s.password = 7; });

        QTemporaryDir dir;
        QFile tpl(dir.filePath("rack.ini"));
        QVERIFY(tpl.open(QIODevice::WriteOnly));
        tpl.write("protocol = rs485\naddress = 56\nbaud = 4800\nbilling_day = 25\nbilling_hour = 17\ndisplay = billing, power\n");
        tpl.close();
        QFile list(dir.filePath("rack.ports"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8; ++i)
            list.write(QStringLiteral("%1 %2\n").arg(meters[size_t(i)]->devicePath()).arg(10 + i).toUtf8());
        list.close();

        const Run r = runCli(dir.path(), {"write", "--template", tpl.fileName(), "--ports", list.fileName(),
                                          "--timeout", "300", "--production", "--keep-clock", "--json"});
        QVERIFY2(r.code == 2, qPrintable(r.err + r.out));
        const QJsonArray outcomes = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(outcomes.size(), 8);
        for (int i = 0; i < 8; ++i) {
            const QJsonObject o = outcomes.at(i).toObject();
            QCOMPARE(o["port"].toString(), meters[size_t(i)]->devicePath());
            const sim::MeterState s = meters[size_t(i)]->state();
            if (i < 6) {
                QCOMPARE(o["result"].toString(), QString("ok"));
                QCOMPARE(o["serial"].toInt(), int(FirstNumber) + i);
                QCOMPARE(o["address"].toInt(), 56);
                QCOMPARE(int(s.address), 56);
                QCOMPARE(s.billingDay, 25);
                QCOMPARE(s.billingHour, 17);
                QCOMPARE(int(s.displayMask), 0x0A);
            } else {
                QCOMPARE(int(s.address), 10 + i);   // nothing was written
                QCOMPARE(s.billingDay, 1);
            }
        }
        QCOMPARE(outcomes.at(6)["result"].toString(), QString("no answer"));
        QCOMPARE(outcomes.at(6)["code"].toInt(), 2);
        QVERIFY2(outcomes.at(7)["result"].toString().startsWith("refused: "), qPrintable(outcomes.at(7)["result"].toString()));
        QCOMPARE(outcomes.at(7)["code"].toInt(), 1);

        // Six pairs of rows, each under its own meter's number.
        QCOMPARE(DbFixture::count("operation"), 6);
        QCOMPARE(DbFixture::count("set_kelvar"), 6);
        const auto rows = DbFixture::rows("SELECT e.number, s.address, o.plant_id, o.person_id FROM set_kelvar s "
                                          "JOIN operation o USING (operation_id) JOIN electrometer e USING (electro_id) "
                                          "ORDER BY e.number");
        QCOMPARE(rows.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(rows[i]["number"].toInt(), int(FirstNumber) + i);
            QCOMPARE(rows[i]["address"].toInt(), 56);
            QCOMPARE(rows[i]["plant_id"].toInt(), 9);
            QCOMPARE(rows[i]["person_id"].toInt(), 8);
        }
    }

    // Journals from a ports list with the meters' own addresses, into one
    // file per meter; the table names each port with its meter.
    void journalsIntoOneFileEach()
    {
        auto meters = startMeters(2, [](int i) { return 4 + 5 * i; });
        QTemporaryDir dir;
        QFile list(dir.filePath("rack.ports"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(QStringLiteral("%1 4\n%2 9\n").arg(meters[0]->devicePath(), meters[1]->devicePath()).toUtf8());
        list.close();
        const Run r = runCli(dir.path(), {"journal", "settings", "--ports", list.fileName(), "--timeout", "300",
                                          "--out", dir.filePath("{serial}-{port}.csv")});
        QCOMPARE(r.code, 0);
        const QStringList lines = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (int i = 0; i < 2; ++i) {
            const QString port = meters[size_t(i)]->devicePath();
            QVERIFY2(QFile::exists(cli::expandPath(dir.filePath("{serial}-{port}.csv"), port, FirstNumber + quint32(i))),
                     qPrintable(r.out + r.err));
            const QStringList cells = lines[i + 1].simplified().split(' ');
            QCOMPARE(cells.mid(0, 4), (QStringList{port, QString::number(4 + 5 * i),
                                                   QString::number(FirstNumber + quint32(i)), "ok"}));
        }
        // A name without a placeholder would have every meter overwrite the one file.
        QCOMPARE(runCli(dir.path(), {"journal", "settings", "--ports", list.fileName(), "--out", "one.csv"}).code, 3);
    }
};

QTEST_GUILESS_MAIN(TestMultiPort)
#include "tst_multiport.moc"
