// kelvar517-cli end to end: the program runs as a process against the
// simulated meter on a pseudo-terminal, in both protocol types, and what it
// prints, its exit code and the meter's state afterwards are checked.

#include "TestUtil.h"
#include "support/MeterStart.h"
#include "support/ProtocolRows.h"
#include "../schedule/SampleSchedule.h"
#include "cli/Progress.h"
#include "common/TextFormat.h"
#include "link/Catalogue.h"
#include "journals/Journal.h"
#include "meter/MeterInfo.h"
#include "metersim/MeterServer.h"
#include "schedule/ScheduleFile.h"
#include "simulation/SimulatedMeter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kelvar;

namespace {

struct Result {
    int code = -1;
    QString out;
    QString err;
    QByteArray arguments; // the process's arguments as the system lists them
};

const char *const EverySetting = "protocol = %1\n"
                                 "address = 56\n"
                                 "baud = 19200\n"
                                 "parity = even\n"
                                 "clock = workstation\n"
                                 "summer_time = yes\n"
                                 "billing_day = 25\n"
                                 "billing_hour = 17\n"
                                 "display = billing, power, phases\n"
                                 "peak_minutes = 60\n"
                                 "penalty_seconds = 45\n"
                                 "description = \"Щит 2, подъезд 4\"\n"
                                 "password = 4242\n"
                                 "number = 123456\n"
                                 "reset_schedule = yes\n";

class CliRig
{
public:
    explicit CliRig(link::Protocol protocol, quint8 address = 3)
    {
        server.updateState([&](sim::MeterState &s) {
            s.protocol = protocol;
            s.address = address;
            s.parity = protocol == link::Protocol::Modbus ? 1 : 0;
        });
    }

    bool start() { return test::startMeter(server); }

    // The link options that reach the meter as it is now.
    QStringList link() const
    {
        const sim::MeterState s = server.state();
        return {QStringLiteral("--port"), server.devicePath(),
                QStringLiteral("--protocol"), s.protocol == link::Protocol::Modbus ? "modbus" : "rs485",
                QStringLiteral("--address"), QString::number(s.address),
                QStringLiteral("--parity"), QStringList{"none", "even", "odd"}.at(s.parity),
                QStringLiteral("--baud"), QString::number(link::baudRate(s.baudIndex)),
                QStringLiteral("--timeout"), QStringLiteral("300")};
    }

    Result run(const QStringList &args)
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KELVAR_CLI_PATH), args);
        Result r;
        // The arguments as the system lists them while the program runs (read
        // again while the listing is still empty on a busy machine).
        for (int i = 0; p.waitForStarted() && r.arguments.isEmpty() && p.state() == QProcess::Running && i < 200; ++i) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(p.processId()));
            if (cmdline.open(QIODevice::ReadOnly))
                r.arguments = cmdline.readAll();
            if (r.arguments.isEmpty())
                p.waitForReadyRead(10);
        }
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString writeFile(const QString &name, const QString &text)
    {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(text.toUtf8());
        return f.fileName();
    }

    QList<int> receivedCodes() const
    {
        QList<int> codes;
        for (const QByteArray &r : server.receivedRequests())
            codes << quint8(r.at(0));
        return codes;
    }

    sim::MeterServer server;
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

// "key: state" lines of a comparison, as a map.
QMap<QString, QString> comparison(const QString &out)
{
    QMap<QString, QString> rows;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows.insert(line.section(QStringLiteral(": "), 0, 0), line.section(QStringLiteral(": "), 1));
    return rows;
}

const QList<int> WriteCodes{2, 3, 5, 9, 11, 14, 31, 35, 36, 39, 41, 49, 79};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void protocols_data() { test::addProtocolRows(); }

    void info_data() { protocols_data(); }
    void info()
    {
        QFETCH(link::Protocol, protocol);
        const bool modbus = protocol == link::Protocol::Modbus;
        CliRig rig{protocol};
        rig.server.updateState([](sim::MeterState &s) {
            s.serialNumber = 4711;
            s.displayMask = 0x21;
            s.integrationMinutes = 15;
            s.averagingSeconds = 33;
            s.temperature = -7;
            s.summerTime = true;
            s.description = text::toCp1251(QStringLiteral("Подстанция 3")).leftJustified(48, '\0');
            s.calibrationDate = 86400 * 366;
        });
        QVERIFY(rig.start());
        // Billing day and hour are set once the meter's history exists.
        rig.server.updateState([](sim::MeterState &s) {
            s.billingDay = 12;
            s.billingHour = 7;
        });

        const Result json = rig.run(QStringList{"info", "--json"} + rig.link());
        QVERIFY2(json.code == 0, qPrintable(json.err));
        const QJsonObject j = QJsonDocument::fromJson(json.out.toUtf8()).object();
        const sim::MeterState s = rig.server.state();
        QCOMPARE(j["modelCode"].toInt(), int(s.modelCode));
        QCOMPARE(j["version"].toString(), QStringLiteral("%1.%2").arg(s.versionMajor).arg(s.versionMinor));
        QCOMPARE(j["number"].toInt(), 4711);
        QCOMPARE(j["billingDay"].toInt(), 12);
        QCOMPARE(j["billingHour"].toInt(), 7);
        QCOMPARE(j["displayMask"].toInt(), 0x21);
        QCOMPARE(j["peakIntegrationMinutes"].toInt(), 15);
        QCOMPARE(j["penaltyIntegrationSeconds"].toInt(), 33);
        QCOMPARE(j["temperature"].toInt(), -7);
        QCOMPARE(j["summerTime"].toBool(), true);
        QCOMPARE(j["timeNotSet"].toBool(), false);
        QCOMPARE(j["description"].toString(), QStringLiteral("Подстанция 3"));
        QCOMPARE(j["calibrated"].toString(), QStringLiteral("2001-01-01T00:00:00"));
        QCOMPARE(j["scheduleChecksum"].toInt(), int(s.scheduleChecksum()));
        QCOMPARE(j["corrections"].toInt(), int(s.corrections));
        QCOMPARE(j["loadPowerW"].toDouble(), s.loadKw * 1000);
        const QDateTime clock = QDateTime::fromString(j["clock"].toString(), Qt::ISODate);
        QVERIFY(qAbs(clock.secsTo(QDateTime::currentDateTime().addSecs(s.clockOffset))) <= 3);
        // Readings grow while the meter runs: the tariffs add up to the total,
        // and each lies at or below the meter's count now.
        const QJsonArray tariffs = j["tariffsKWh"].toArray();
        QCOMPARE(tariffs.size(), 3);
        double sum = 0;
        for (int i = 0; i < 3; ++i) {
            sum += tariffs[i].toDouble();
            QVERIFY(tariffs[i].toDouble() <= s.tariffCounts[i] / 4000.0 + 1e-9);
            QVERIFY(tariffs[i].toDouble() >= s.tariffCounts[i] / 4000.0 - 1.0);
        }
        QCOMPARE(qRound64(j["totalKWh"].toDouble() * 4000), qRound64(sum * 4000));
        const QJsonObject l = j["link"].toObject();
        QCOMPARE(l["address"].toInt(), 3);
        QCOMPARE(l["protocol"].toString(), modbus ? QStringLiteral("modbus") : QStringLiteral("rs485"));
        QCOMPARE(l["parity"].toString(), modbus ? QStringLiteral("even") : QStringLiteral("none"));

        // The text form: the rows of the information tab, caption and value.
        const Result text = rig.run(QStringList{"info"} + rig.link());
        QVERIFY2(text.code == 0, qPrintable(text.err));
        const QStringList lines = text.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.mid(0, 5), (QStringList{"Тип: Kelvar 517.01", "Заводской номер: 004711", "Версия ПО: 1.5",
                                               "Откалиброван: " + text::dateTime(QDateTime(QDate(2001, 1, 1), QTime())),
                                               "Описание: Подстанция 3"}));
        for (const QString &row : {QStringLiteral("Расчетный день: 12"), QStringLiteral("Температура: -7"),
                                   QStringLiteral("Автопереход на летнее время: да"),
                                   QStringLiteral("Время интегрирования пиковой мощности Pинт, мин.: 15"),
                                   QStringLiteral("Текущая мощность, Вт: ") + text::fixed(1200, 1),
                                   QStringLiteral("  [x] суммарные показания"),
                                   QStringLiteral("  [ ] показания на РДЧ "),
                                   QStringLiteral("  [x] фазные значения потребления")})
            QVERIFY2(lines.contains(row), qPrintable(row));
        // 21 rows in each table, the spacer rows empty, and the display items.
        QCOMPARE(lines.size(), 21 + 1 + 21 + 1 + 7 + 1);
        // Neither run wrote anything.
        for (int code : rig.receivedCodes())
            QVERIFY(!WriteCodes.contains(code));
    }

    void writeEverything_data() { protocols_data(); }
    void writeEverything()
    {
        QFETCH(link::Protocol, protocol);
        const bool modbus = protocol == link::Protocol::Modbus;
        CliRig rig{protocol};
        QVERIFY(rig.start());
        const QString tpl = rig.writeFile("t.ini", QString::fromUtf8(EverySetting).arg(modbus ? "rs485" : "modbus"));
        QFile::setPermissions(tpl, QFile::ReadOwner | QFile::WriteOwner); // it sets a new password

        const Result r = rig.run(QStringList{"write", "--template", tpl} + rig.link());
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        // No progress bar when standard error is not a terminal.
        QCOMPARE(r.err, QString());
        QMap<QString, QString> rows = comparison(r.out);
        QCOMPARE(rows.size(), modbus ? 14 : 15); // parity only with "MODBUS"
        rows.remove("password");
        rows.remove("reset_schedule");
        for (auto it = rows.cbegin(); it != rows.cend(); ++it)
            QVERIFY2(it.value() == "ok", qPrintable(it.key() + ": " + it.value()));

        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.protocol, modbus ? link::Protocol::Rs485 : link::Protocol::Modbus);
        QCOMPARE(s.address, quint8(56));
        QCOMPARE(s.baudIndex, 2);
        if (!modbus)
            QCOMPARE(s.parity, 1);
        QVERIFY(s.summerTime);
        QVERIFY(qAbs(s.clockOffset) <= 2);
        QCOMPARE(s.billingDay, 25);
        QCOMPARE(s.billingHour, 17);
        QCOMPARE(s.displayMask, quint8(0x2A));
        QCOMPARE(s.integrationMinutes, 60);
        QCOMPARE(s.averagingSeconds, 45);
        QCOMPARE(s.description, text::toCp1251(QStringLiteral("Щит 2, подъезд 4")).leftJustified(48, '\0'));
        QCOMPARE(s.password, quint16(4242));
        QCOMPARE(s.serialNumber, 123456u);
        for (const QByteArray &zone : s.zones)
            QVERIFY(zone.isEmpty() || zone == QByteArray(zone.size(), '\0'));

        // The same template compared with the meter now: all the same.
        const Result again = rig.run(QStringList{"compare", "--template", tpl} + rig.link());
        QVERIFY2(again.code == 0, qPrintable(again.out + again.err));
        QCOMPARE(comparison(again.out), comparison(r.out));
    }

    // The access password from the environment or from a file reaches the
    // meter and is no argument of the process; a template that sets a new
    // password and that other users can read is warned about before the write.
    void passwordSources_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::newRow("environment") << false;
        QTest::newRow("file") << true;
    }
    void passwordSources()
    {
        QFETCH(bool, fromFile);
        CliRig rig{link::Protocol::Rs485};
        rig.server.updateState([](sim::MeterState &s) { s.password = 4711; });
        QVERIFY(rig.start());
        const QString tpl = rig.writeFile("t.ini", "billing_day = 5\nbilling_hour = 6\npassword = 5151\n");
        QFile::setPermissions(tpl, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QStringList args = QStringList{"write", "--template", tpl} + rig.link();
        if (fromFile) {
            const QString file = rig.writeFile("pw", "4711\n");
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
            args << "--password-file" << file;
        } else {
            rig.env.insert("KELVAR517_PASSWORD", "4711");
        }
        const Result r = rig.run(args);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        QVERIFY(r.arguments.contains("--template"));
        QVERIFY(!r.arguments.contains("4711"));
        QCOMPARE(rig.server.state().billingDay, 5);
        QCOMPARE(rig.server.state().password, quint16(5151));
        QVERIFY2(r.err.startsWith("warning: " + tpl + " holds a new access password"), qPrintable(r.err));
    }

    // Given no password, a write asks on its terminal (a pseudo-terminal
    // here): the typed password is not echoed, the terminal's echo comes
    // back afterwards, and the password opens the meter.
    void passwordPrompt()
    {
        CliRig rig{link::Protocol::Rs485};
        rig.server.updateState([](sim::MeterState &s) { s.password = 4711; });
        QVERIFY(rig.start());
        rig.env.remove("KELVAR517_PASSWORD");
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const QByteArray terminal = ptsname(master);
        const int watched = open(terminal.constData(), O_RDWR | O_NOCTTY); // keeps the terminal and shows its modes
        QVERIFY(watched >= 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        QByteArray screen;
        const auto readScreen = [&] {
            char chunk[256];
            for (ssize_t n; (n = read(master, chunk, sizeof chunk)) > 0;)
                screen.append(chunk, n);
        };
        const auto echoing = [&] {
            termios modes{};
            return tcgetattr(watched, &modes) == 0 && (modes.c_lflag & ECHO);
        };

        QProcess p;
        p.setProcessEnvironment(rig.env);
        p.setStandardInputFile(QString::fromLocal8Bit(terminal));
        p.setStandardErrorFile(QString::fromLocal8Bit(terminal));
        p.start(QStringLiteral(KELVAR_CLI_PATH),
                QStringList{"write", "--template", rig.writeFile("t.ini", "billing_day = 7\nbilling_hour = 6\n")} + rig.link());
        QVERIFY(QTest::qWaitFor([&] { readScreen(); return screen.contains("Access password"); }, 60000));
        // Typed only once the echo is off: what the line held before is discarded.
        QVERIFY(QTest::qWaitFor([&] { return !echoing(); }, 10000));
        QCOMPARE(write(master, "4711\n", 5), ssize_t(5));
        QVERIFY(p.waitForFinished(120000));
        readScreen();
        QVERIFY2(p.exitCode() == 0, screen.constData());
        QVERIFY2(!screen.contains("4711"), screen.constData());
        QVERIFY(echoing());
        QCOMPARE(rig.server.state().billingDay, 7);
        close(watched);
        close(master);
    }

    void wrongPassword_data() { protocols_data(); }
    void wrongPassword()
    {
        QFETCH(link::Protocol, protocol);
        CliRig rig{protocol};
        rig.server.updateState([](sim::MeterState &s) { s.password = 7; });
        QVERIFY(rig.start());
        const sim::MeterState before = rig.server.state();
        const QString tpl = rig.writeFile("t.ini", "billing_day = 5\nbilling_hour = 6\ndescription = x\n");

        const Result r = rig.run(QStringList{"write", "--template", tpl, "--password", "8"} + rig.link());
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Ошибка: Нет доступа для записи (ввод пароля)")), qPrintable(r.err));
        QCOMPARE(r.out, QString());
        // The refused password request is the last thing the meter was asked to change.
        const QList<int> codes = rig.receivedCodes();
        const qsizetype refused = codes.indexOf(link::fn::Password);
        QVERIFY(refused >= 0);
        for (int code : codes.mid(refused + 1))
            QVERIFY2(!WriteCodes.contains(code) && code != link::fn::Password, qPrintable(QString::number(code)));
        QCOMPARE(rig.server.state().billingDay, before.billingDay);
        QCOMPARE(rig.server.state().description, before.description);

        // An access password that is not a number is refused before anything is sent.
        rig.server.clearReceived();
        const Result bad = rig.run(QStringList{"write", "--template", tpl, "--password", "x"} + rig.link());
        QCOMPARE(bad.code, 3);
        QVERIFY(!rig.receivedCodes().contains(link::fn::Password));

        // So is a description with characters the meter cannot hold, named in the message.
        const QString odd = rig.writeFile("odd.ini", QStringLiteral("description = Щит \u2713\n"));
        const Result unwritable = rig.run(QStringList{"write", "--template", odd, "--password", "7"} + rig.link());
        QCOMPARE(unwritable.code, 3);
        QVERIFY2(unwritable.err.contains(QStringLiteral("\u2713")), qPrintable(unwritable.err));
        QVERIFY(!rig.receivedCodes().contains(link::fn::Password));
        QCOMPARE(rig.server.state().description, before.description);
    }

    // A template the program cannot use stops it before the port is opened.
    void badTemplate_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("write, unknown key") << "write" << "billing_day = 1\nbilling_hour = 2\nbiling_day = 3\n"
                                            << "t.ini:3: biling_day: unknown key";
        QTest::newRow("write, out of range") << "write" << "\npeak_minutes = 61\npenalty_seconds = 5\n"
                                             << "t.ini:2: peak_minutes:";
        QTest::newRow("write, unreadable") << "write" << QString() << "t.ini: cannot be read";
        QTest::newRow("compare, out of range") << "compare" << "number = 200000\n" << "t.ini:1: number:";
    }
    void badTemplate()
    {
        QFETCH(QString, command);
        QFETCH(QString, text);
        QFETCH(QString, message);
        CliRig rig{link::Protocol::Rs485};
        QVERIFY(rig.start());
        const QString tpl = text.isNull() ? rig.dir.filePath("t.ini") : rig.writeFile("t.ini", text);
        const Result r = rig.run(QStringList{command, "--template", tpl} + rig.link());
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(rig.server.receivedRequests().isEmpty());
    }

    void compareNamesChanges_data() { protocols_data(); }
    void compareNamesChanges()
    {
        QFETCH(link::Protocol, protocol);
        const bool modbus = protocol == link::Protocol::Modbus;
        CliRig rig{protocol};
        QVERIFY(rig.start());
        const QString tpl = rig.writeFile(
            "t.ini", QString::fromUtf8(EverySetting).arg(modbus ? "modbus" : "rs485").replace("address = 56", "address = 3"));
        // Written through the same link, so that only the meter's own changes differ later.
        const Result written = rig.run(QStringList{"write", "--template", tpl} + rig.link());
        QVERIFY2(written.code == 0, qPrintable(written.out + written.err));

        // Behind the program's back.
        rig.server.updateState([](sim::MeterState &s) {
            s.billingHour = 3;
            s.displayMask = 0x01;
            s.description = text::toCp1251(QStringLiteral("чужой")).leftJustified(48, '\0');
            s.clockOffset = -3600;
        });
        const Result r = rig.run(QStringList{"compare", "--template", tpl} + rig.link());
        QCOMPARE(r.code, 1);
        const QMap<QString, QString> rows = comparison(r.out);
        QStringList changed;
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            if (it.value().startsWith("differs"))
                changed << it.key();
        }
        QCOMPARE(changed, (QStringList{"billing_hour", "clock", "description", "display"}));
        QCOMPARE(rows.value("billing_hour"), QStringLiteral("differs: meter 3, template 17"));
        QCOMPARE(rows.value("display"), QStringLiteral("differs: meter total, template billing, power, phases"));
        QCOMPARE(rows.value("description"), QStringLiteral("differs: meter чужой, template Щит 2, подъезд 4"));
        // Comparing wrote nothing.
        rig.server.clearReceived();
        QCOMPARE(rig.run(QStringList{"compare", "--template", tpl} + rig.link()).code, 1);
        for (int code : rig.receivedCodes())
            QVERIFY(!WriteCodes.contains(code) && code != link::fn::Password);
    }

    void findAddress_data() { protocols_data(); }
    void findAddress()
    {
        QFETCH(link::Protocol, protocol);
        CliRig rig{protocol, 9};
        QVERIFY(rig.start());
        QStringList args = QStringList{"find-address", "--from", "6"} + rig.link();
        args[args.indexOf("--timeout") + 1] = "200";
        const Result r = rig.run(args);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out, QStringLiteral("9\n"));
    }

    // Meters at 3, 17 and 40 on one line: one JSON object each, in address
    // order; a range without a meter ends with exit code 2.
    void scan_data() { protocols_data(); }
    void scan()
    {
        QFETCH(link::Protocol, protocol);
        CliRig rig{protocol};
        rig.server.updateState([](sim::MeterState &s) { s.serialNumber = 100003; });
        for (const int address : {17, 40}) {
            sim::MeterState s = rig.server.state();
            s.address = quint8(address);
            s.serialNumber = 100000u + quint32(address);
            rig.server.addMeter(s);
        }
        QVERIFY(rig.start());
        Result r = rig.run(QStringList{"scan", "--to", "40", "--json"} + rig.link());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QStringList found;
        for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject j = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(j["sure"].toBool(), qPrintable(line));
            found << QStringLiteral("%1:%2").arg(j["address"].toInt()).arg(j["number"].toInteger());
        }
        QCOMPARE(found, (QStringList{"3:100003", "17:100017", "40:100040"}));
        r = rig.run(QStringList{"scan", "--from", "4", "--to", "16"} + rig.link());
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
    }

    // The settings journal to a workbook, read back by an independent reader,
    // and the same list as CSV on standard output.
    void journalExport_data() { protocols_data(); }
    void journalExport()
    {
        QFETCH(link::Protocol, protocol);
        CliRig rig{protocol};
        QVERIFY(rig.start());
        const QString xls = rig.dir.filePath("settings.xls");
        const Result r = rig.run(QStringList{"journal", "settings", "--out", xls} + rig.link());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const qsizetype entries = rig.server.state().settingsJournal.size();
        QVERIFY(entries > 0);

        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {"-c", "import sys, xlrd\n"
                        "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                        "for r in range(s.nrows):\n"
                        "    print('\\t'.join(str(c.value) for c in s.row(r)))\n",
                  xls});
        QVERIFY(py.waitForFinished(60000));
        QCOMPARE(py.exitCode(), 0);
        const QStringList rows = QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(rows.value(0).startsWith(QStringLiteral("Счетчик № 0")), qPrintable(rows.value(0)));
        QCOMPARE(rows.value(1).split('\t'), journals::journalCaptions(journals::JournalKind::Settings));
        QCOMPARE(rows.size() - 2, entries);

        const Result csv = rig.run(QStringList{"journal", "settings", "--out", "-"} + rig.link());
        QVERIFY2(csv.code == 0, qPrintable(csv.err));
        QCOMPARE(csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).size(), rows.size());
        // The workbook's cells as texts are the CSV's fields.
        const QStringList firstCsv = csv.out.split(QStringLiteral("\r\n")).value(2).split(QRegularExpression("[;,]"));
        QCOMPARE(firstCsv.value(0).remove('"'), rows.value(2).split('\t').value(0));

        // A journal that cannot be read leaves no file behind.
        QStringList args = QStringList{"journal", "daily", "--out", rig.dir.filePath("d.xls")} + rig.link();
        args[args.indexOf("--address") + 1] = "200";
        QCOMPARE(rig.run(args).code, 2);
        QVERIFY(!QFile::exists(rig.dir.filePath("d.xls")));
    }

    // A schedule file written to the meter, read back into another file, and
    // that file written over a schedule changed behind the program's back:
    // the file read is the file written, and the meter holds the first
    // schedule again.
    void scheduleRoundTrip_data() { protocols_data(); }
    void scheduleRoundTrip()
    {
        QFETCH(link::Protocol, protocol);
        CliRig rig{protocol};
        QVERIFY(rig.start());
        const QStringList link = rig.link() + QStringList{"--pause", "0"};
        const QString first = rig.dir.filePath("first.tsc");
        QVERIFY(schedule::writeTscFile(first, test::sampleSchedule()));
        Result r = rig.run(QStringList{"schedule", "write", first} + link);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.err, QString());
        const sim::MeterState written = rig.server.state();
        QCOMPARE(written.limitCoefficient, quint8(7));

        const QString read = rig.dir.filePath("read.tsc");
        r = rig.run(QStringList{"schedule", "read", "--out", read} + link);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(test::hexText(test::readFile(read)), test::hexText(test::readFile(first)));

        rig.server.updateState([](sim::MeterState &s) {
            s.setFactorySchedule();
            s.limitCoefficient = 3;
        });
        QVERIFY(rig.server.state().scheduleChecksum() != written.scheduleChecksum());
        r = rig.run(QStringList{"schedule", "write", read} + link);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.zones, written.zones);
        QCOMPARE(s.holidays, written.holidays);
        QCOMPARE(s.transfers, written.transfers);
        QCOMPARE(s.limitCoefficient, written.limitCoefficient);
    }

    // A file the program cannot use stops it before anything is sent; a
    // password the meter refuses stops the write at the refusal. Either way
    // the meter's schedule stays as it was.
    void scheduleWriteRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QByteArray good = schedule::encodeTsc(test::sampleSchedule());
        schedule::ScheduleImage late = test::sampleSchedule();
        late.records[1] = test::hex("10 24 00 00 FF FF 0F");
        schedule::ScheduleImage crowded = test::sampleSchedule();
        while (crowded.records.size() < 255)
            crowded.records << test::hex("00 00 00 00 01 01 00");
        QTest::newRow("cut short") << good.left(60) << "1" << 3 << QStringLiteral("слишком короткий");
        QTest::newRow("zone at 24:00") << schedule::encodeTsc(late) << "1" << 3
                                       << QStringLiteral("Запись 2 файла тарифного расписания: недопустимое время");
        QTest::newRow("no such file") << QByteArray() << "1" << 3 << QStringLiteral("Не удалось открыть файл");
        QTest::newRow("255 records") << schedule::encodeTsc(crowded) << "1" << 3 << QStringLiteral("(255)");
        QTest::newRow("password not a number") << good << "x" << 3 << QStringLiteral("Недопустимый пароль");
        QTest::newRow("wrong password") << good << "8" << 1 << QStringLiteral("Нет доступа для записи");
    }
    void scheduleWriteRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, password);
        QFETCH(int, code);
        QFETCH(QString, message);
        CliRig rig{link::Protocol::Modbus};
        rig.server.updateState([](sim::MeterState &s) { s.password = 7; });
        QVERIFY(rig.start());
        const quint16 checksum = rig.server.state().scheduleChecksum();
        const QString path = rig.dir.filePath("s.tsc");
        if (!file.isNull())
            QVERIFY(test::writeFile(path, file));

        const Result r = rig.run(QStringList{"schedule", "write", path, "--password", password} + rig.link());
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(rig.server.state().scheduleChecksum(), checksum);
        const QList<int> codes = rig.receivedCodes();
        if (code == 3 && password != "x")
            QVERIFY(codes.isEmpty());
        // Nothing of the schedule reached the meter.
        for (int c : {link::fn::WriteHoliday, link::fn::WriteTransfer, link::fn::WriteSchedule, link::fn::WriteLimit})
            QVERIFY(!codes.contains(c));
    }

    // A read that cannot finish leaves the file that was there as it was.
    void scheduleReadFails()
    {
        CliRig rig{link::Protocol::Rs485};
        QVERIFY(rig.start());
        sim::Faults faults;
        faults.silentFunction = link::fn::ReadTransfer;
        rig.server.setFaults(faults);
        const QString path = rig.dir.filePath("kept.tsc");
        QVERIFY(test::writeFile(path, "kept"));
        const Result r = rig.run(QStringList{"schedule", "read", "--out", path, "--pause", "0"} + rig.link());
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Чтение тарифного расписания не завершено")), qPrintable(r.err));
        QCOMPARE(test::readFile(path), QByteArray("kept"));
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{"kept.tsc"});
    }

    // The built-in simulated meter answers on whatever link the options
    // give; a build without it says so and stops with exit code 3.
    void simulate()
    {
        CliRig rig{link::Protocol::Rs485};
        const Result r = rig.run({"info", "--json", "--simulate", "--protocol", "modbus", "--address", "42",
                                  "--parity", "odd", "--pause", "0"});
        if (!simulation::simulatedMeterAvailable()) {
            QCOMPARE(r.code, 3);
            QVERIFY2(r.err.contains("--simulate: not available"), qPrintable(r.err));
            return;
        }
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QJsonObject j = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(j["number"].toInt(), 12345);
        const QJsonObject l = j["link"].toObject();
        QCOMPARE(l["address"].toInt(), 42);
        QCOMPARE(l["protocol"].toString(), QStringLiteral("modbus"));
        QCOMPARE(l["parity"].toString(), QStringLiteral("odd"));
        QVERIFY(l["port"].toString().startsWith("/dev/"));
    }

    void linkFailures()
    {
        CliRig rig{link::Protocol::Rs485, 9};
        QVERIFY(rig.start());
        // Nothing answers at address 8: six time-outs in a row.
        QStringList args = QStringList{"info"} + rig.link();
        args[args.indexOf("--address") + 1] = "8";
        Result r = rig.run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("does not answer"), qPrintable(r.err));
        r = rig.run({"info", "--port", rig.dir.filePath("no-such-port")});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Ошибка открытия порта")), qPrintable(r.err));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << 3 << "Commands:";
        QTest::newRow("general help") << QStringList{"--help"} << 0 << "find-address [--from N]";
        QTest::newRow("unknown command") << QStringList{"erase", "--port", "x"} << 3 << "unknown command \"erase\"";
        QTest::newRow("write help") << QStringList{"write", "--help"} << 0 << "--template <FILE>";
        QTest::newRow("usage line once") << QStringList{"write", "--help"} << 0 << "[options] write --template FILE\n";
        QTest::newRow("password visible") << QStringList{"write", "--help"} << 0 << "KELVAR517_PASSWORD";
        QTest::newRow("two password sources") << QStringList{"info", "--port", "x", "--password", "1", "--password-file", "f"}
                                              << 3 << "exclude each other";
        QTest::newRow("info help") << QStringList{"--port", "x", "info", "-h"} << 0 << "--json";
        QTest::newRow("no port") << QStringList{"info"} << 3 << "--port is needed";
        QTest::newRow("bad protocol") << QStringList{"info", "--port", "x", "--protocol", "rs232"} << 3 << "--protocol:";
        QTest::newRow("bad baud") << QStringList{"info", "--port", "x", "--baud", "1200"} << 3 << "--baud:";
        QTest::newRow("bad address") << QStringList{"info", "--port", "x", "--address", "256"} << 3 << "--address:";
        QTest::newRow("bad time-out") << QStringList{"info", "--port", "x", "--timeout", "50"} << 3 << "--timeout:";
        QTest::newRow("unknown option") << QStringList{"info", "--port", "x", "--colour"} << 3 << "colour";
        QTest::newRow("no template") << QStringList{"compare", "--port", "x"} << 3 << "--template FILE is needed";
        QTest::newRow("stray argument") << QStringList{"info", "more", "--port", "x"} << 3 << "\"more\"";
        QTest::newRow("journal help") << QStringList{"journal", "--help"} << 0 << "--date <YYYY-MM-DD>";
        QTest::newRow("which journal") << QStringList{"journal", "hourly", "--port", "x", "--out", "-"} << 3 << "which journal";
        QTest::newRow("journal without out") << QStringList{"journal", "power", "--port", "x"} << 3 << "--out FILE";
        QTest::newRow("bad month") << QStringList{"journal", "daily", "--port", "x", "--month", "13", "--out", "-"} << 3 << "--month:";
        QTest::newRow("port and simulate") << QStringList{"info", "--port", "x", "--simulate"} << 3 << "exclude";
        QTest::newRow("bad pause") << QStringList{"info", "--port", "x", "--pause", "51"} << 3 << "--pause:";
        QTest::newRow("pause in help") << QStringList{"schedule", "--help"} << 0 << "--pause <MS>";
        QTest::newRow("which schedule") << QStringList{"schedule", "erase", "--port", "x"} << 3 << "schedule read";
        QTest::newRow("schedule out") << QStringList{"schedule", "read", "--port", "x"} << 3 << "--out FILE.tsc";
        QTest::newRow("schedule extra") << QStringList{"schedule", "write", "a", "b", "--port", "x"} << 3 << "\"b\"";
        QTest::newRow("report without out") << QStringList{"report", "--port", "x"} << 3 << "--out FILE is needed";
        QTest::newRow("bad from") << QStringList{"find-address", "--port", "x", "--from", "-1"} << 3 << "--from:";
        QTest::newRow("scan from above to") << QStringList{"scan", "--port", "x", "--from", "9", "--to", "8"} << 3 << "above --to";
        QTest::newRow("scan help") << QStringList{"scan", "--help"} << 0 << "--wait <MS>";
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        CliRig rig{link::Protocol::Rs485};
        const Result r = rig.run(args);
        QCOMPARE(r.code, code);
        QVERIFY2((code ? r.err : r.out).contains(message), qPrintable(r.out + r.err));
    }

    void progressLine_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("line");
        QTest::newRow("start") << 0 << 16 << qint64(0) << "reading [........] 0/16";
        QTest::newRow("half") << 8 << 16 << qint64(2000) << "reading [####....] 8/16  4.0 req/s  0:02 left";
        QTest::newRow("long search") << 64 << 256 << qint64(32000)
                                     << "reading [##......] 64/256  2.0 req/s  1:36 left";
        QTest::newRow("done") << 16 << 16 << qint64(1000) << "reading [########] 16/16  16.0 req/s  0:00 left";
    }
    void progressLine()
    {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(qint64, ms);
        QFETCH(QString, line);
        QCOMPARE(cli::Progress::line(QStringLiteral("reading"), done, total, ms, 8), line);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
