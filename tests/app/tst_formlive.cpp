// The main window against the simulated meter on a pseudo-terminal, in both
// protocol types: the information tab shows what the meter holds, the
// protocol tab traces the exchange, silences are handled, and the short
// report is the file the command-line program writes.

#include "support/FormRig.h"
#include "support/MeterStart.h"
#include "TestUtil.h"
#include "support/ProtocolRows.h"
#include "app/ConnectionPanel.h"
#include "app/ProtocolTab.h"
#include "app/tabs/ShortReportAction.h"
#include "common/TextFormat.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>

using namespace kelvar;
using kelvar::test::FormRig;

namespace {

constexpr int WaitMs = 15000;

// A meter whose readings stand still (no load, history already made), so
// every row can be compared exactly.
void knownMeter(sim::MeterState &s)
{
    s.birth = 1;
    s.serialNumber = 42;
    s.modelCode = 51701;
    s.versionMajor = 1;
    s.versionMinor = 5;
    s.loadKw = 0;
    s.tariffCounts = {4000, 6000, 1};
    s.phaseCounts = {4000, 8000, 0};
    s.billingCounts = {10, 0, 0};
    s.workingHalfMinutes = 2881;
    s.corrections = 7;
    s.temperature = -10;
    s.billingDay = 15;
    s.billingHour = 23;
    s.integrationMinutes = 30;
    s.averagingSeconds = 45;
    s.displayMask = 0x25;
    s.summerTime = true;
    s.timeNotSet = true;
    s.peakPower = 12345;
    s.peakTime = 86400 + 3661;
    s.billingPeakPower = 65537;
    s.billingPeakTime = 0;
    s.calibrationDate = 86400 + 3661;
    s.description = text::toCp1251(QStringLiteral("Щит 2")).leftJustified(48, '\0');
}

struct Live {
    sim::MeterServer server;
    FormRig rig;

    app::TFormMain &start(link::Protocol protocol, int address, const std::function<void(QSettings &)> &settings = {})
    {
        const bool started = test::startMeter(server, [&](sim::MeterState &s) {
            knownMeter(s);
            s.protocol = protocol;
            s.address = static_cast<quint8>(address);
            s.parity = protocol == link::Protocol::Modbus ? 1 : 0;
        });
        if (!started)
            qFatal("no simulated meter");
        return rig.openOnMeter(server, settings);
    }

    QTableWidget *list(const char *name) const { return rig.find<QTableWidget>(name); }
    QString main(int row) const { return list("ListMain")->item(row, 1)->text(); }
    QString addi(int row) const { return list("ListAddi")->item(row, 1)->text(); }
    bool allShown() const
    {
        for (int row = 0; row < 21; ++row) {
            const bool gap = meter::MeterInfo::mainCaptions()[row].isEmpty();
            if (!gap && main(row).isEmpty() && row != meter::MeterInfo::RowCalibrated)
                return false;
        }
        return !addi(meter::MeterInfo::RowBillingPeakPower).isEmpty() && !addi(meter::MeterInfo::RowPhaseC).isEmpty();
    }
    QStringList protocolLines() const
    {
        test::part<app::ProtocolTab>(*rig.form).flush();
        return rig.find<QPlainTextEdit>("Memo_Terminal")->toPlainText().split(QLatin1Char('\n'));
    }
};

// The report with the values that follow the clock (the system time, the
// meter's date and time, its operating time) starred out.
QByteArray withoutClock(QByteArray report)
{
    QList<QByteArray> lines = report.split('\n');
    for (int line : {0, 2 + meter::MeterInfo::RowDateTime, 2 + meter::MeterInfo::RowOperatingTime})
        lines[line] = lines.value(line).left(lines.value(line).indexOf('\t') + 1) + "*\r";
    return lines.join('\n');
}

int runCli(const QStringList &args)
{
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedChannels);
    cli.start(QStringLiteral(KELVAR_CLI_PATH), args);
    return cli.waitForFinished(60000) && cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

} // namespace

class TestFormLive : public QObject {
    Q_OBJECT
private slots:
    void liveInformation_data()
    {
        QTest::addColumn<link::Protocol>("protocol");
        QTest::addColumn<int>("address");
        QTest::newRow("Rs-485") << link::Protocol::Rs485 << 0;
        QTest::newRow("MODBUS") << link::Protocol::Modbus << 7;
    }
    void liveInformation()
    {
        QFETCH(link::Protocol, protocol);
        QFETCH(int, address);
        Live live;
        app::TFormMain &form = live.start(protocol, address);
        QVERIFY(QTest::qWaitFor([&] { return live.allShown(); }, WaitMs));
        QVERIFY(!test::action(form, "ActionConnect")->isEnabled());
        QVERIFY(test::action(form, "ActionDisconnect")->isEnabled());
        QVERIFY(!live.rig.find<QWidget>("ComboMode")->isEnabled());

        using M = meter::MeterInfo;
        QCOMPARE(live.main(M::RowType), QStringLiteral("Kelvar 517.01"));
        QCOMPARE(live.main(M::RowNumber), QStringLiteral("000042"));
        QCOMPARE(live.main(M::RowVersion), QStringLiteral("1.5"));
        QCOMPARE(live.main(M::RowCalibrated), QStringLiteral("02.01.2000 01:01:01"));
        QCOMPARE(live.main(M::RowDescription), QStringLiteral("Щит 2"));
        QCOMPARE(live.main(M::RowSummerTime), QStringLiteral("да"));
        QCOMPARE(live.main(M::RowClockTest), QStringLiteral("Время не установлено. "));
        QCOMPARE(live.main(M::RowBillingDay), QStringLiteral("15"));
        QCOMPARE(live.main(M::RowBillingHour), QStringLiteral("23"));
        QCOMPARE(live.main(M::RowScheduleChecksum), QString::number(live.server.state().scheduleChecksum()));
        QCOMPARE(live.main(M::RowPeakIntegration), QStringLiteral("30"));
        QCOMPARE(live.main(M::RowPenaltyIntegration), QStringLiteral("45"));
        QCOMPARE(live.main(M::RowOperatingTime), QStringLiteral("1д.00:00:30"));
        QCOMPARE(live.main(M::RowCorrections), QStringLiteral("7"));
        QVERIFY(QRegularExpression("^[1-3]$").match(live.main(M::RowTariff)).hasMatch());
        QCOMPARE(live.main(M::RowTemperature), QStringLiteral("-10"));
        // The meter clock runs with the workstation's, in the short date and long time of the locale.
        const QDateTime shown = QDateTime::fromString(live.main(M::RowDateTime),
                                                      text::shortDateFormat() + ' ' + text::longTimeFormat());
        QVERIFY2(shown.isValid(), qPrintable(live.main(M::RowDateTime)));
        QVERIFY(qAbs(shown.secsTo(QDateTime::currentDateTime())) < 10);

        QCOMPARE(live.addi(M::RowTotal), QStringLiteral("2,50025"));
        QCOMPARE(live.addi(M::RowTariff1), QStringLiteral("1"));
        QCOMPARE(live.addi(M::RowTariff2), QStringLiteral("1,5"));
        QCOMPARE(live.addi(M::RowTariff3), QStringLiteral("0,00025"));
        QCOMPARE(live.addi(M::RowBilling1), QStringLiteral("0,0025"));
        QCOMPARE(live.addi(M::RowBilling2), QStringLiteral("0"));
        QCOMPARE(live.addi(M::RowPhaseA), QStringLiteral("1"));
        QCOMPARE(live.addi(M::RowPhaseB), QStringLiteral("2"));
        QCOMPARE(live.addi(M::RowPhaseC), QStringLiteral("0"));
        QCOMPARE(live.addi(M::RowLoadPower), QStringLiteral("0,0"));
        QCOMPARE(live.addi(M::RowPeakPower), QStringLiteral("12345"));
        QCOMPARE(live.addi(M::RowPeakTime), QStringLiteral("02.01.2000 01:01:01"));
        QCOMPARE(live.addi(M::RowBillingPeakPower), QStringLiteral("65537"));
        QCOMPARE(live.addi(M::RowBillingPeakTime), QString()); // no time recorded

        auto *mask = live.rig.find<QListWidget>("CheckListIndi");
        QCOMPARE(mask->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(mask->item(i)->checkState() == Qt::Checked, bool(0x25 & (1 << i)));

        // The poll cycle keeps the rows current: a change in the meter shows up.
        live.server.updateState([](sim::MeterState &s) { s.temperature = 25; });
        QVERIFY(QTest::qWaitFor([&] { return live.main(M::RowTemperature) == QStringLiteral("+25"); }, WaitMs));
        QVERIFY(test::action(form, "ActionSetting")->isEnabled());
        QVERIFY(test::action(form, "ActionTxt")->isEnabled());
        QVERIFY(!live.rig.find<QLabel>("StatusPanel1")->text().isEmpty());

        const QString shot = qEnvironmentVariable("KELVAR_SCREENSHOT");
        if (!shot.isEmpty() && protocol == link::Protocol::Rs485)
            QVERIFY(form.grab().save(shot));

        test::action(form, "ActionDisconnect")->trigger();
        QVERIFY(test::action(form, "ActionConnect")->isEnabled());
        QVERIFY(live.rig.find<QWidget>("ComboMode")->isEnabled());
        QVERIFY(!test::action(form, "ActionSetting")->isEnabled());
        QVERIFY(live.rig.find<QLabel>("StatusPanel1")->text().isEmpty());
        QVERIFY(live.rig.messages.isEmpty());
    }

    void traceAndSilence_data() { test::addProtocolRows(); }
    void traceAndSilence()
    {
        QFETCH(link::Protocol, protocol);
        Live live;
        app::TFormMain &form = live.start(protocol, 3, [](QSettings &s) { s.setValue("Master", 1); });
        QVERIFY(form.MasterMode());
        QVERIFY(QTest::qWaitFor([&] { return live.allShown(); }, WaitMs));

        const QRegularExpression send(R"(^\d\d:\d\d:\d\d\.\d{3} Send ([0-9A-F]{2} )+$)");
        const QRegularExpression address(R"(^\d\d:\d\d:\d\d\.\d{3} Send 03$)");
        const QRegularExpression received(R"(^\d\d:\d\d:\d\d\.\d{3} Received: ([0-9A-F]{2} )+$)");
        const QStringList lines = live.protocolLines();
        const auto count = [&](const QRegularExpression &re) {
            return std::count_if(lines.cbegin(), lines.cend(), [&](const QString &l) { return re.match(l).hasMatch(); });
        };
        QVERIFY(count(send) > 16);
        QVERIFY(count(received) > 16);
        QCOMPARE(count(address) > 0, protocol == link::Protocol::Rs485);

        // The meter falls silent: a time-out line, then after the sixth the
        // information is gone and the read and write controls are off.
        QSignalSpy exceeded(&form.engine(), &link::ExchangeEngine::timeoutsExceeded);
        live.server.setFaults([] { sim::Faults f; f.silent = true; return f; }());
        const QRegularExpression timeout(R"(^\d\d:\d\d:\d\d:\d{3} Timeout\.$)");
        QVERIFY(QTest::qWaitFor([&] {
            const QStringList now = live.protocolLines();
            return std::any_of(now.cbegin(), now.cend(), [&](const QString &l) { return timeout.match(l).hasMatch(); });
        }, WaitMs));
        QVERIFY(test::action(form, "ActionFindAddress")->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return exceeded.count() > 0; }, WaitMs));
        for (int row = 0; row < 21; ++row) {
            QVERIFY(live.main(row).isEmpty());
            QVERIFY(live.addi(row).isEmpty());
        }
        for (QAction *action : {test::action(form, "ActionSetting"), test::action(form, "ActionFixDb"), test::action(form, "ActionTxt"), test::action(form, "ActionWriteSched"),
                                test::action(form, "ActionReadSched")})
            QVERIFY2(!action->isEnabled(), qPrintable(action->objectName()));
        QVERIFY(test::action(form, "ActionDisconnect")->isEnabled()); // the link stays up and keeps polling

        // The meter answers again: the information comes back.
        live.server.setFaults({});
        QVERIFY(QTest::qWaitFor([&] { return live.allShown(); }, WaitMs));
        QVERIFY(test::action(form, "ActionSetting")->isEnabled());

        // Switched off, the protocol view takes no more lines.
        live.rig.find<QCheckBox>("CheckProtocol")->setChecked(true);
        live.protocolLines();
        const int before = live.rig.find<QPlainTextEdit>("Memo_Terminal")->blockCount();
        QTest::qWait(300);
        live.protocolLines();
        QCOMPARE(live.rig.find<QPlainTextEdit>("Memo_Terminal")->blockCount(), before);
    }

    // "Краткий отчет" and `kelvar517-cli report` write the same bytes for the
    // same meter; a silent meter leaves an older file of the program as it was.
    void reportAsCommandLine_data() { test::addProtocolRows(); }
    void reportAsCommandLine()
    {
        QFETCH(link::Protocol, protocol);
        const bool modbus = protocol == link::Protocol::Modbus;
        Live live;
        app::TFormMain &form = live.start(protocol, 5);
        QVERIFY(QTest::qWaitFor([&] { return live.allShown(); }, WaitMs));
        QTemporaryDir dir;
        const QString shown = dir.filePath("window.txt"), written = dir.filePath("cli.txt");
        form.findChild<app::ShortReportAction *>()->setFileChooser([&] { return shown; });
        test::action(form, "ActionTxt")->trigger();
        test::action(form, "ActionDisconnect")->trigger();

        const QStringList link{"--port", live.server.devicePath(), "--protocol", modbus ? "modbus" : "rs485",
                               "--parity", modbus ? "even" : "none", "--address", "5", "--timeout", "300"};
        QCOMPARE(runCli(QStringList{"report", "--out", written} + link), 0);
        const QByteArray report = test::readFile(shown);
        QCOMPARE(report.count("\r\n"), 47 + 3);  // three display items ticked
        const QByteArray fromCli = test::readFile(written);
        QCOMPARE(withoutClock(fromCli), withoutClock(report));

        live.server.setFaults([] { sim::Faults f; f.silent = true; return f; }());
        QCOMPARE(runCli(QStringList{"report", "--out", written} + link), 2);
        QCOMPARE(test::readFile(written), fromCli);
    }

    void benchModeHasNoByteTrace()
    {
        Live live;
        live.start(link::Protocol::Rs485, 0);
        QVERIFY(QTest::qWaitFor([&] { return live.allShown(); }, WaitMs));
        const QStringList lines = live.protocolLines();
        QVERIFY(std::none_of(lines.cbegin(), lines.cend(), [](const QString &l) { return l.contains("Send"); }));
    }
};

KELVAR_WINDOW_TEST_MAIN(TestFormLive)

#include "tst_formlive.moc"
