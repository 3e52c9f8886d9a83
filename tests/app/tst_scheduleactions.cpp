// The five schedule actions of the main window: schedule files through the
// actions, and the write and read against the simulated meter, with what the
// editor's schedule and lists show afterwards. With KELVAR_SCREENSHOTS=<folder>
// the programming record's preview is saved there as a PNG picture.

#include "support/Control.h"
#include "support/FormRig.h"
#include "support/MeterStart.h"
#include "TestUtil.h"
#include "app/ConnectionPanel.h"
#include "app/schedule/ScheduleTab.h"
#include "app/tabs/RecordAction.h"
#include "app/tabs/ScheduleActions.h"
#include "app/tabs/SettingsTab.h"
#include "metersim/MeterServer.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

using namespace kelvar;
using kelvar::test::FormRig;
using kelvar::test::hex;
using schedule::Holiday;
using schedule::Transfer;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QList<QByteArray> ThreeRecords{hex("10 00 00 00 FF FF 0F"), hex("21 07 30 0F 1F FF 0F"),
                                     hex("00 23 00 00 60 03 00")};

// The window with its file dialogs answered by `next`.
struct Window {
    FormRig rig;
    QString next;
    app::TFormMain &open(app::StartOptions options = {})
    {
        return chooseNext(rig.open(options));
    }
    template <typename MeterServer>
    app::TFormMain &openOnMeter(const MeterServer &server)
    {
        return chooseNext(rig.openOnMeter(server));
    }
    app::TFormMain &chooseNext(app::TFormMain &form)
    {
        test::part<app::ScheduleActions>(form).setFileChooser([this](bool) { return next; });
        return form;
    }
    schedule::ScheduleModel &model() { return rig.form->scheduleModel(); }
    schedule::ScheduleTables &tables() { return rig.form->scheduleTables(); }
    void fill(const QList<QByteArray> &records)
    {
        QVERIFY(model().SetShedule(records));
        tables().setHolidays({{8, 3}, {9, 5}});
        tables().setTransfers({{QDate(2031, 5, 3), 1}});
        tables().setLimitCoefficient(12);
    }
};

} // namespace

class TestScheduleActions : public QObject {
    Q_OBJECT
private slots:
    void init() { test::clearStore(); }

    // A new schedule saved is the 103-byte file: default holidays, no
    // transfers, coefficient 1, no record; load and save give the same bytes.
    void newSaveLoadSave()
    {
        Window w;
        app::TFormMain &form = w.open();
        w.fill(ThreeRecords);
        test::action(form, "ActionNewSched")->trigger();
        QCOMPARE(w.rig.find<QTabWidget>("PageControlMain")->currentWidget(), w.rig.find<QWidget>("TabSched"));
        QCOMPARE(w.model().recordCount(), 0);
        QVERIFY(w.tables().transfers().isEmpty());
        QCOMPARE(w.tables().limitCoefficient(), 12); // left as it was
        w.tables().setLimitCoefficient(1);

        QTemporaryDir dir;
        w.next = dir.filePath("empty.tsc");
        test::action(form, "ActionSaveTariff")->trigger();
        QCOMPARE(readAll(w.next), hex("01 01 02 01 03 01 04 01 05 01 07 01 23 02 08 03 01 05 09 05 12 06 04 11"
                                      "00 00 00 00 00 00 00 00 0D 0A")
                                      + QByteArray(64, '\0') + hex("0D 0A 01 0D 0A"));

        w.fill(ThreeRecords);
        w.next = dir.filePath("three.tsc");
        test::action(form, "ActionSaveTariff")->trigger();
        const QByteArray saved = readAll(w.next);
        QCOMPARE(saved.size(), 103 + 3 * 9);
        test::action(form, "ActionNewSched")->trigger();
        test::action(form, "ActionLoadTariff")->trigger();
        QCOMPARE(w.model().GetShedule(), ThreeRecords);
        QCOMPARE(w.tables().transfers(), QList<Transfer>({{QDate(2031, 5, 3), 1}}));
        QCOMPARE(w.tables().limitCoefficient(), 12);
        w.next = dir.filePath("again.tsc");
        test::action(form, "ActionSaveTariff")->trigger();
        QCOMPARE(readAll(w.next), saved);
        w.next.clear(); // cancelled dialogs change nothing
        test::action(form, "ActionLoadTariff")->trigger();
        test::action(form, "ActionSaveTariff")->trigger();
        QCOMPARE(w.model().GetShedule(), ThreeRecords);
        QVERIFY(w.rig.messages.isEmpty());
    }

    // A damaged file is refused with its name and the reason; nothing of it
    // reaches the editor, its lists included.
    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too short") << QByteArray(102, '\0') << "слишком короткий";
        QByteArray badTime = hex("01 01").leftJustified(32, '\0') + hex("0D 0A") + QByteArray(64, '\0')
            + hex("0D 0A 05 0D 0A") + hex("10 00 00 00 FF FF 0F 0D 0A") + hex("10 24 00 00 FF FF 0F 0D 0A");
        QTest::newRow("hour 24 in the second record") << badTime << "Запись 2";
    }
    void damagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Window w;
        app::TFormMain &form = w.open();
        w.fill(ThreeRecords);
        QTemporaryDir dir;
        w.next = dir.filePath("damaged.tsc");
        writeFile(w.next, bytes);
        test::action(form, "ActionLoadTariff")->trigger();
        QCOMPARE(w.rig.messages.size(), 1);
        QVERIFY(w.rig.messages[0].text.contains(QStringLiteral("damaged.tsc")));
        QVERIFY2(w.rig.messages[0].text.contains(reason), qPrintable(w.rig.messages[0].text));
        QCOMPARE(w.model().GetShedule(), ThreeRecords);
        QCOMPARE(w.tables().holidays(), QList<Holiday>({{8, 3}, {9, 5}}));
        QCOMPARE(w.tables().transfers().size(), 1);
        QCOMPARE(w.tables().limitCoefficient(), 12);
    }

    // Against the simulated meter: refusals, a write with its notice of
    // records left out, a read of an empty meter, and a read that stops.
    void withTheMeter()
    {
        sim::MeterServer server;
        QVERIFY(test::startMeter(server, [](sim::MeterState &s) {
            s.zones.fill(QByteArray());
            s.transfers[0] = hex("31 02 27 01"); // no such date: no line
            s.transfers[1] = hex("01 05 27 06");
        }));
        Window w;
        app::TFormMain &form = w.openOnMeter(server);
        QSignalSpy finished(&form.scheduleExchange(), &schedule::ScheduleExchange::finished);
        QProgressBar *gauge = w.rig.find<QProgressBar>("GaugeSched");
        QTRY_VERIFY_WITH_TIMEOUT(test::action(form, "ActionReadSched")->isEnabled(), 10000);

        // The read of a meter without zones empties the editor.
        w.fill(ThreeRecords);
        test::action(form, "ActionReadSched")->trigger();
        QVERIFY(!test::action(form, "ActionReadSched")->isEnabled());
        QTRY_VERIFY(gauge->isVisible());
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.last().at(0).toBool());
        QCOMPARE(gauge->value(), 288);
        QCOMPARE(w.model().recordCount(), 0);
        QCOMPARE(w.tables().transfers(), QList<Transfer>({{QDate(2027, 5, 1), 6}}));
        QCOMPARE(w.tables().holidays(), schedule::defaultHolidays());
        QTRY_VERIFY(!gauge->isVisible()); // gone with the first poll reply

        // Refused before anything is queued.
        QList<QByteArray> tooMany;
        for (int i = 0; i < 255; ++i)
            tooMany << hex("00 00 00 00 01 01 00");
        w.fill(tooMany);
        QTRY_VERIFY(test::action(form, "ActionWriteSched")->isEnabled());
        test::action(form, "ActionWriteSched")->trigger();
        QCOMPARE(w.rig.messages.size(), 1);
        QVERIFY(w.rig.messages[0].text.contains(QStringLiteral("(255)")));
        w.rig.find<QLineEdit>("LabeledPass2")->setText(QStringLiteral("x1"));
        w.fill(ThreeRecords);
        test::action(form, "ActionWriteSched")->trigger();
        QCOMPARE(w.rig.messages.size(), 2);
        QCOMPARE(w.rig.messages[1].text, QStringLiteral("Недопустимый пароль"));
        QVERIFY(!form.scheduleExchange().isBusy());

        // The write; a record that applies to no day is left out, with a notice.
        w.rig.find<QLineEdit>("LabeledPass2")->setText(QStringLiteral("1"));
        QVERIFY(w.model().SetShedule(ThreeRecords + QList<QByteArray>{hex("10 00 00 00 00 FF 0F")}));
        test::action(form, "ActionWriteSched")->trigger();
        QCOMPARE(w.rig.messages.size(), 3);
        QCOMPARE(w.rig.messages[2].icon, QMessageBox::Information);
        QVERIFY(w.rig.messages[2].text.contains(QStringLiteral(": 1.")));
        // While it is pending no other write can start.
        for (QAction *action : {test::action(form, "ActionWriteSched"), test::action(form, "ActionSetting")})
            QVERIFY2(!action->isEnabled(), qPrintable(action->objectName()));
        QCOMPARE(test::part<app::SettingsTab>(form).owner().ActionSettingExecute(QStringLiteral("1")),
                 meter::SettingsOwner::Start::Busy);
        QVERIFY(finished.wait(30000));
        QVERIFY(finished.last().at(0).toBool());
        QTRY_COMPARE(form.indicator(), app::Indicator::Green);
        QCOMPARE(server.state().zones[2], ThreeRecords[0]);
        QCOMPARE(server.state().zones[4], ThreeRecords[2]);
        QVERIFY(server.state().zones[5].isEmpty());
        QCOMPARE(server.state().limitCoefficient, 12);

        // A read that stops at the transfers leaves the editor as it was.
        sim::Faults faults;
        faults.silentFunction = link::fn::ReadTransfer;
        server.setFaults(faults);
        w.tables().setHolidays({{1, 9}});
        QTRY_VERIFY(test::action(form, "ActionReadSched")->isEnabled());
        test::action(form, "ActionReadSched")->trigger();
        QVERIFY(finished.wait(60000));
        QVERIFY(!finished.last().at(0).toBool());
        QCOMPARE(w.model().recordCount(), 4);
        QCOMPARE(w.tables().holidays(), QList<Holiday>({{1, 9}}));
        QCOMPARE(w.tables().transfers(), QList<Transfer>({{QDate(2031, 5, 3), 1}}));
        QVERIFY(w.rig.find<QLabel>("StatusPanel0")->text().contains(QStringLiteral("прежнее расписание")));
        QCOMPARE(w.rig.messages.size(), 3); // a read shows no write failure
    }

    // The programming record: its read leaves the editor's schedule alone and
    // shows the preview; without a printer "Печать" saves the PDF; a read
    // that stops shows the error and no preview.
    void programmingRecord()
    {
        sim::MeterServer server;
        QVERIFY(test::startMeter(server, [](sim::MeterState &s) { s.serialNumber = 4711; }));
        Window w;
        app::TFormMain &form = w.openOnMeter(server);
        auto *action = form.findChild<app::RecordAction *>(QStringLiteral("RecordAction"));
        QVERIFY(action);
        QList<report::ProgrammingRecord> shown;
        action->setPreview([&](const report::ProgrammingRecord &r) { shown << r; });
        w.fill(ThreeRecords);
        QTRY_VERIFY_WITH_TIMEOUT(test::action(form, "ActionRecord")->isEnabled(), 10000);
        test::action(form, "ActionRecord")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 60000);
        QCOMPARE(shown[0].serialNumber, QStringLiteral("004711"));
        QCOMPARE(shown[0].reportedChecksum, QString::number(server.state().scheduleChecksum()));
        QVERIFY(!shown[0].checksumsDiffer());
        QCOMPARE(shown[0].programmes.size(), 1); // the factory schedule
        QCOMPARE(w.model().recordCount(), 3);

        app::RecordPreview preview(shown[0]);
        if (const QString shots = qEnvironmentVariable("KELVAR_SCREENSHOTS"); !shots.isEmpty()) {
            preview.show();
            QVERIFY(QTest::qWaitForWindowExposed(&preview));
            preview.grab().save(shots + "/record-preview.png");
        }
        QTemporaryDir dir;
        preview.setFileChooser([&](const QString &) { return dir.filePath("record"); });
        preview.setPrinterAvailable(false);
        test::control<QPushButton>(preview, "BtnRecordPrint")->click();
        QProcess text;
        text.start("pdftotext", {dir.filePath("record.pdf"), "-"});
        QVERIFY(text.waitForFinished());
        QVERIFY(QString::fromUtf8(text.readAllStandardOutput()).contains(QStringLiteral("Лист 1 из ")));

        sim::Faults faults;
        faults.silentFunction = link::fn::ReadHoliday;
        server.setFaults(faults);
        QTRY_VERIFY(test::action(form, "ActionRecord")->isEnabled());
        test::action(form, "ActionRecord")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.rig.messages.size(), 1, 60000);
        QCOMPARE(w.rig.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(shown.size(), 1);
    }
};

KELVAR_WINDOW_TEST_MAIN(TestScheduleActions)
#include "tst_scheduleactions.moc"
