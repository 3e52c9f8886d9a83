// The window in production mode against the test database, the simulated
// meter and the simulated scanner: the start-up check ends the program or
// lets it run, the scanner fills the number field, "Зафиксировать в БД"
// records under that number (green only when written) and the programming
// record names the operation written, and the clock deviation of a meter
// programmed earlier is shown.

#include "support/FormRig.h"
#include "support/MeterStart.h"
#include "app/ConnectionPanel.h"
#include "app/ProductionBench.h"
#include "app/TAboutBox.h"
#include "app/tabs/RecordAction.h"
#include "db/ClockSetter.h"
#include "support/DbFixture.h"
#include "metersim/MeterServer.h"
#include "metersim/ScannerServer.h"
#include "report/RecordDocument.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

using namespace kelvar;
using kelvar::test::DbFixture;
using kelvar::test::FormRig;

namespace {

constexpr int WaitMs = 15000;

struct RecordingClock : db::ClockSetter {
    QList<QDateTime> set;
    bool setLocalTime(const QDateTime &t) override
    {
        set << t;
        return true;
    }
};

struct Bench {
    sim::MeterServer meter;
    sim::ScannerServer scanner;
    RecordingClock clock;
    FormRig rig;

    app::TFormMain &start(const std::function<void(sim::MeterState &)> &change = {})
    {
        const bool started = test::startMeter(meter, [&](sim::MeterState &s) {
            s.serialNumber = 4711;
            s.address = 0;
            if (change)
                change(s);
        });
        QString error;
        if (!started || !scanner.start(&error))
            qFatal("simulated meter or scanner: %s", qPrintable(error));
        QFile marker(QDir(rig.startDir.path()).filePath("SettingSql.kelvar"));
        marker.open(QIODevice::WriteOnly);
        marker.close();
        app::StartOptions options;
        options.ports = QStringList{scanner.devicePath()};
        options.clock = &clock;
        return rig.openOnMeter(meter, [&](QSettings &store) {
            store.setValue("ScanerName", scanner.devicePath());
            store.setValue("Scan", true);
        }, options);
    }
};

// Keeps the news of activation from the main window, as a window manager
// that never gives it the focus would.
struct NoActivation : QObject {
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return event->type() == QEvent::ActivationChange && qobject_cast<app::TFormMain *>(watched);
    }
};

} // namespace

class TestFormProduction : public kelvar::test::DbTestCase
{
    Q_OBJECT

private slots:
    // "never activated": a window manager that does not give the new window
    // the focus; the check still runs once the window is shown.
    void startupCheck_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("activated");
        const QString unknown = QStringLiteral("Компьютер \"%1\" не описан в БД.");
        QTest::newRow("described: runs") << QString() << QString() << true;
        QTest::newRow("unknown computer: ends") << "UPDATE computer SET name = 'another-bench'" << unknown << true;
        QTest::newRow("plant of another type: ends") << "UPDATE plant SET type_id = 4" << "Установка не описана в БД.%1" << true;
        QTest::newRow("never activated: runs") << QString() << QString() << false;
        QTest::newRow("never activated, unknown computer: ends") << "UPDATE computer SET name = 'another-bench'" << unknown
                                                                 << false;
    }
    void startupCheck()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(bool, activated);
        if (!setup.isEmpty())
            QVERIFY(DbFixture::exec({setup}));
        NoActivation noActivation;
        if (!activated)
            qApp->installEventFilter(&noActivation);
        Bench bench;
        app::TFormMain &form = bench.start();
        if (activated)
            QVERIFY(QTest::qWaitForWindowActive(&form));
        if (message.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(bench.clock.set.size(), 1, WaitMs);
            QVERIFY(bench.rig.messages.isEmpty());
            QVERIFY(form.isVisible());
            if (!activated)
                return;
            // Back from a message box: no new check; back from the About window: checked again.
            QMessageBox box(QMessageBox::Information, QStringLiteral("x"), QStringLiteral("x"), QMessageBox::Ok, &form);
            box.show();
            QVERIFY(QTest::qWaitForWindowActive(&box));
            box.close();
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
            QCOMPARE(bench.clock.set.size(), 1);
            app::TAboutBox &about = test::part<app::TAboutBox>(form);
            about.show();
            QVERIFY(QTest::qWaitForWindowActive(&about));
            about.close();
            form.activateWindow();
            QTRY_COMPARE_WITH_TIMEOUT(bench.clock.set.size(), 2, 5000);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!form.isVisible(), 5000);
        QCOMPARE(bench.rig.messages.size(), 1);
        QCOMPARE(bench.rig.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(bench.rig.messages[0].title, QStringLiteral("Приложение остановлено"));
        QCOMPARE(bench.rig.messages[0].text, message.arg(message.contains("Компьютер") ? platform::computerName() : QString()));
        QVERIFY(bench.clock.set.isEmpty());
    }

    // The operator scans a meter's code and fixes its state; an undescribed
    // number gives only the message.
    void scanAndFix()
    {
        Bench bench;
        app::TFormMain &form = bench.start();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *number = bench.rig.find<QSpinBox>("SpinEdit_Number");
        QVERIFY(bench.rig.find<QCheckBox>("CheckScaner")->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(test::action(form, "ActionFixDb")->isEnabled(), WaitMs);
        // The first read of the meter's own number fills the field; a code
        // scanned before that would be overwritten by it.
        QTRY_COMPARE_WITH_TIMEOUT(number->value(), 4711, WaitMs);

        bench.scanner.sendCode(QStringLiteral("999"), 2, sim::ScannerServer::LineEnding::CrLf);
        QTRY_COMPARE_WITH_TIMEOUT(number->value(), 999, 5000);
        test::action(form, "ActionFixDb")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(bench.rig.messages.size(), 1, 5000);
        QCOMPARE(bench.rig.messages[0].text, QStringLiteral("Номер прибора не описан в БД. Установите его."));
        QVERIFY(!bench.rig.find<QWidget>("Shape1")->isVisible());
        QCOMPARE(DbFixture::count("operation"), 0);

        bench.scanner.sendCode(QStringLiteral("1234"), 3, sim::ScannerServer::LineEnding::CrLf);
        QTRY_COMPARE_WITH_TIMEOUT(number->value(), 1234, 5000);
        test::action(form, "ActionFixDb")->trigger();
        QVERIFY(bench.rig.find<QWidget>("Shape1")->isVisible());
        const auto rows = DbFixture::rows("SELECT e.number FROM operation JOIN electrometer e USING (electro_id)");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["number"].toInt(), 1234);
        QCOMPARE(bench.rig.messages.size(), 1);
        // The indicator hides and the meter is read afresh.
        QTRY_VERIFY_WITH_TIMEOUT(!bench.rig.find<QWidget>("Shape1")->isVisible(), 5000);
    }

    // The programming record made after "Зафиксировать в БД" names the
    // operation written, on its data and on its page.
    void recordNamesTheOperation()
    {
        Bench bench;
        app::TFormMain &form = bench.start();
        QTRY_COMPARE_WITH_TIMEOUT(bench.rig.find<QSpinBox>("SpinEdit_Number")->value(), 4711, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(test::action(form, "ActionFixDb")->isEnabled(), WaitMs);
        test::action(form, "ActionFixDb")->trigger();
        const auto rows = DbFixture::rows("SELECT operation_id FROM operation");
        QCOMPARE(rows.size(), 1);
        const QString id = rows[0]["operation_id"].toString();

        QList<report::ProgrammingRecord> shown;
        test::part<app::RecordAction>(form).setPreview([&](const report::ProgrammingRecord &r) { shown << r; });
        QTRY_VERIFY_WITH_TIMEOUT(!bench.rig.find<QWidget>("Shape1")->isVisible(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(test::action(form, "ActionRecord")->isEnabled(), WaitMs);
        test::action(form, "ActionRecord")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 60000);
        QCOMPARE(shown[0].context.operationNumber, id);

        QTemporaryDir dir;
        QVERIFY(report::writeRecordPdf(shown[0], dir.filePath("record.pdf")));
        QProcess pdfText;
        pdfText.start("pdftotext", {"-layout", dir.filePath("record.pdf"), "-"});
        QVERIFY(pdfText.waitForFinished());
        const QString text = QString::fromUtf8(pdfText.readAllStandardOutput());
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Номер операции +%1\n").arg(id))), qPrintable(text));
    }

    // A meter programmed two days ago whose clock runs 4 s fast: its deviation
    // is shown. With KELVAR_SCREENSHOT set, the window is saved there.
    void deviationShown()
    {
        const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
        QVERIFY(DbFixture::exec({"INSERT INTO operation(type_id, electro_id, plant_id, person_id, success) "
                                 "SELECT 3, electro_id, 9, 8, true FROM electrometer WHERE number = 4711 AND type_id = 43"}));
        QVERIFY(DbFixture::insert("INSERT INTO set_kelvar(operation_id, date_time) SELECT MAX(operation_id), ? FROM operation",
                                  {twoDaysAgo}));
        Bench bench;
        app::TFormMain &form = bench.start([](sim::MeterState &s) { s.clockOffset = 4; });
        auto *delta = bench.rig.find<QLineEdit>("EditDelta");
        QVERIFY(delta->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!delta->text().isEmpty(), WaitMs);
        const double shown = db::readDelta(delta->text()).value_or(0);
        QVERIFY2(shown > 1.4 && shown <= 2.05, qPrintable(delta->text()));
        bench.scanner.sendCode(QStringLiteral("4711"));
        QTRY_COMPARE_WITH_TIMEOUT(bench.rig.find<QSpinBox>("SpinEdit_Number")->value(), 4711, 5000);
        const QString shot = qEnvironmentVariable("KELVAR_SCREENSHOT");
        if (!shot.isEmpty()) {
            // The picture shows a meter read through once.
            QTRY_VERIFY_WITH_TIMEOUT(!form.meterInfo().addiValue(meter::MeterInfo::RowBillingPeakTime).isEmpty()
                                         && !form.meterInfo().mainValue(meter::MeterInfo::RowOperatingTime).isEmpty(),
                                     WaitMs);
            QVERIFY(form.grab().save(shot));
        }
    }
};

KELVAR_WINDOW_TEST_MAIN(TestFormProduction)
#include "tst_formproduction.moc"
