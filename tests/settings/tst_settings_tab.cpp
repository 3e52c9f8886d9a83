// The programming pages in the main window: controls and their rules, the
// settings write against the simulated meter with its outcome on screen, the
// calibration page, the short report file and the operation log view.

#include "app/ConnectionPanel.h"
#include "support/FormRig.h"
#include "support/MeterStart.h"
#include "app/InfoTab.h"
#include "app/ProtocolTab.h"
#include "app/tabs/CalibrationTab.h"
#include "app/tabs/DbTab.h"
#include "app/tabs/SettingsTab.h"
#include "app/tabs/ShortReportAction.h"
#include "meter/OperationLog.h"
#include "meter/SettingsTemplate.h"
#include "meter/ShortReport.h"
#include "metersim/MeterServer.h"
#include "schedule/EditorImage.h"
#include "TestUtil.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>

using namespace kelvar;
using kelvar::test::FormRig;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray cp1251(const QString &text)
{
    auto encode = QStringEncoder("windows-1251");
    return encode(text);
}

// Every tick on, and values the test templates do not hold; the clock set by hand.
void fillEverything(FormRig &rig)
{
    for (QCheckBox *box : rig.find<QGroupBox>("GroupTask")->findChildren<QCheckBox *>())
        box->setChecked(true);
    rig.find<QSpinBox>("SpinDay")->setValue(9);
    rig.find<QSpinBox>("SpinIntegra")->setValue(44);
    rig.find<QLineEdit>("EditComment")->setText(QStringLiteral("прежнее"));
    rig.find<QComboBox>("ComboNewBaud")->setCurrentIndex(3);
    rig.find<QTimeEdit>("TimePicker")->setTime(QTime(1, 2, 3));
}

// A window connected to the simulated meter, with the programming pages at hand.
struct MeterRig : FormRig {
    sim::MeterServer server;

    app::TFormMain &connectToMeter(bool calibr = false)
    {
        if (!test::startMeter(server))
            qFatal("no simulated meter");
        return openOnMeter(server, [calibr](QSettings &s) {
            if (calibr)
                s.setValue("Calibr", 1);
        });
    }
    app::SettingsTab &settings() { return test::part<app::SettingsTab>(*form); }
    bool waitUntilRead()
    {
        return QTest::qWaitFor([this] { return test::action(*form, "ActionSetting")->isEnabled()
                                            && !form->meterInfo().mainValue(meter::MeterInfo::RowNumber).isEmpty(); },
                               10000);
    }
};

} // namespace

class TestSettingsTab : public QObject {
    Q_OBJECT
private slots:
    void init() { test::clearStore(); }

    void captions()
    {
        FormRig rig;
        rig.open();
        QStringList checks;
        for (QCheckBox *box : rig.find<QGroupBox>("GroupTask")->findChildren<QCheckBox *>())
            checks << box->text() + (box->isChecked() ? "+" : "");
        QCOMPARE(checks, (QStringList{"Записать параметры связи", "Установить время+", "Установить расч. день и час",
                                      "Сброс тарифного расписания", "Установить время интегр. мощности", "Описание",
                                      "Записать новый пароль", "Установить индикацию"}));
        QCOMPARE(rig.find<QGroupBox>("GroupTask")->title(), QStringLiteral(" Установки для записи "));
        QCOMPARE(rig.find<QCheckBox>("CheckBoxClock")->text(), QStringLiteral("Автопереход на летнее время"));
        QCOMPARE(rig.find<QDateEdit>("DatePicker")->displayFormat(), QStringLiteral("ddd d MMMM yyyy"));
        auto *indi = rig.find<QListWidget>("CheckSetIndi");
        QCOMPARE(indi->count(), 6);
        QCOMPARE(indi->item(1)->text(), QStringLiteral("показания на РДЧ "));
        QCOMPARE(rig.find<QComboBox>("ComboNewBaud")->currentText(), QStringLiteral("4800"));
        QCOMPARE(rig.find<QComboBox>("ComboModeW")->currentText(), QStringLiteral("Rs-485"));
        QCOMPARE(rig.find<QComboBox>("ComboParityW")->currentText(), QStringLiteral("нет"));
        QCOMPARE(rig.find<QLineEdit>("EditComment")->maxLength(), 48);
        QCOMPARE(rig.find<QLineEdit>("LabeledPassW")->maxLength(), 6);
        QCOMPARE(rig.find<QPushButton>("BtnReadCalibr")->text(), QStringLiteral("Прочитать"));
        QVERIFY(!rig.find<QPushButton>("BtnWriteCalibr")->isEnabled());
        QVERIFY(rig.find<QPlainTextEdit>("MemoDb")->toPlainText().isEmpty());
    }

    void parityOnlyForModbus()
    {
        FormRig rig;
        rig.open();
        auto *mode = rig.find<QComboBox>("ComboModeW");
        QVERIFY(rig.find<QComboBox>("ComboParityW")->isHidden());
        QVERIFY(rig.find<QLabel>("LabelParityW")->isHidden());
        mode->setCurrentIndex(1);
        QVERIFY(!rig.find<QComboBox>("ComboParityW")->isHidden());
        QVERIFY(!rig.find<QLabel>("LabelParityW")->isHidden());
        mode->setCurrentIndex(0);
        QVERIFY(rig.find<QComboBox>("ComboParityW")->isHidden());
    }

    // The field keeps what the operator types ('<' is a backspace).
    void newPasswordField_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("digits") << "123456" << "123456";
        QTest::newRow("at most six") << "1234567" << "123456";
        QTest::newRow("a letter is not taken") << "12a" << "12";
        QTest::newRow("emptied stays empty") << "5<" << "";
        QTest::newRow("emptied, then typed") << "5<4242" << "4242";
    }
    void newPasswordField()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        FormRig rig;
        rig.open();
        auto *edit = rig.find<QLineEdit>("LabeledPassW");
        for (const QChar key : keys) {
            if (key == '<')
                QTest::keyClick(edit, Qt::Key_Backspace);
            else
                QTest::keyClicks(edit, QString(key));
        }
        QCOMPARE(edit->text(), text);
    }

    void pickersFollowTheClock()
    {
        FormRig rig;
        rig.open();
        app::SettingsTab &tab = test::part<app::SettingsTab>(*rig.form);
        QDateTime now(QDate(2027, 5, 6), QTime(7, 8, 9));
        tab.setClock([&] { return now; });
        tab.TimerDateTimer();
        QCOMPARE(rig.find<QDateEdit>("DatePicker")->date(), now.date());
        QCOMPARE(rig.find<QTimeEdit>("TimePicker")->time(), now.time());

        rig.find<QTimeEdit>("TimePicker")->setTime(QTime(1, 2, 3));   // the operator edits the time
        now = now.addDays(1).addSecs(5);
        tab.TimerDateTimer();
        QCOMPARE(rig.find<QTimeEdit>("TimePicker")->time(), QTime(1, 2, 3));
        QCOMPARE(rig.find<QDateEdit>("DatePicker")->date(), now.date());
        QVERIFY(!tab.timePickerFollowsClock());
        QVERIFY(tab.datePickerFollowsClock());

        rig.find<QDateEdit>("DatePicker")->setDate(QDate(2030, 1, 1));
        test::action(*rig.form, "ActionReset")->trigger();            // a new meter is expected
        QTRY_COMPARE(rig.find<QTimeEdit>("TimePicker")->time(), now.time());  // the 500 ms timer runs
        QCOMPARE(rig.find<QDateEdit>("DatePicker")->date(), now.date());
    }

    void numberField_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<bool>("master");
        QTest::addColumn<int>("newAddress");
        QTest::newRow("bench") << false << false << 1;
        QTest::newRow("master") << false << true << 1;
        QTest::newRow("production") << true << true << 56;
    }
    void numberField()
    {
        QFETCH(bool, production);
        QFETCH(bool, master);
        QFETCH(int, newAddress);
        test::clearStore([master, production](QSettings &s) {
            if (master && !production)
                s.setValue("Master", 1);
        });
        FormRig rig;
        if (production) {
            QFile marker(QDir(rig.startDir.path()).filePath("SettingSql.kelvar"));
            QVERIFY(marker.open(QIODevice::WriteOnly));
        }
        rig.open();
        app::SettingsTab &tab = test::part<app::SettingsTab>(*rig.form);
        QCOMPARE(rig.find<QCheckBox>("CheckAddr")->isChecked(), production);
        QCOMPARE(rig.find<QSpinBox>("SpinEdit_Number")->isReadOnly(), !master);
        const QPalette palette = rig.find<QSpinBox>("SpinEdit_Number")->palette();
        QCOMPARE(palette.color(QPalette::Base) == palette.color(QPalette::Window), !master);

        rig.find<QSpinBox>("SpinEdit_Number")->setValue(123456);
        QCOMPARE(rig.find<QSpinBox>("SpinNewAddr")->value(), newAddress);

        // Only a meter without a number takes one.
        tab.meterNumberRead(42, true);
        QVERIFY(!rig.find<QSpinBox>("SpinEdit_Number")->isEnabled());
        QCOMPARE(rig.find<QSpinBox>("SpinEdit_Number")->value(), production ? 42 : 123456);
        tab.meterNumberRead(0, true);
        QVERIFY(rig.find<QSpinBox>("SpinEdit_Number")->isEnabled());
    }

    void unusableAccessPassword()
    {
        FormRig rig;
        rig.open();
        rig.find<QLineEdit>("LabeledPass2")->setText("abc");
        app::SettingsTab &tab = test::part<app::SettingsTab>(*rig.form);
        tab.ActionSettingExecute();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(rig.messages[0].title, QStringLiteral("Ошибка записи"));
        QCOMPARE(rig.messages[0].text, QStringLiteral("Недопустимый пароль"));
        QVERIFY(!rig.form->engine().SettingsWriteActive());
        QVERIFY(rig.form->engine().queue().isEmpty());

        test::part<app::CalibrationTab>(*rig.form).BtnWriteCalibrClick();
        QCOMPARE(rig.messages.size(), 2);
        QCOMPARE(rig.messages[1].text, QStringLiteral("Недопустимый пароль"));

        // Nothing ticked: nothing is checked and nothing happens.
        rig.find<QCheckBox>("CheckTime")->setChecked(false);
        tab.ActionSettingExecute();
        QCOMPARE(rig.messages.size(), 2);
    }

    void fullWriteThroughTheWindow()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter();
        QVERIFY(rig.waitUntilRead());
        for (QCheckBox *box : rig.find<QGroupBox>("GroupTask")->findChildren<QCheckBox *>())
            box->setChecked(true);
        rig.find<QListWidget>("CheckSetIndi")->item(4)->setCheckState(Qt::Checked);
        rig.find<QSpinBox>("SpinDay")->setValue(12);
        rig.find<QSpinBox>("SpinHour")->setValue(3);
        rig.find<QSpinBox>("SpinIntegra")->setValue(15);
        rig.find<QSpinBox>("SpinLimitIntegra")->setValue(20);
        rig.find<QLineEdit>("EditComment")->setText(QStringLiteral("Стенд 1"));
        QTest::keyClicks(rig.find<QLineEdit>("LabeledPassW"), "777");
        rig.find<QSpinBox>("SpinEdit_Number")->setValue(4711);
        rig.find<QSpinBox>("SpinNewAddr")->setValue(8);
        rig.find<QComboBox>("ComboNewBaud")->setCurrentIndex(3);

        test::action(form, "ActionSetting")->trigger();
        QVERIFY(!test::action(form, "ActionSetting")->isEnabled());
        QVERIFY(!test::action(form, "ActionTxt")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Green, 15000);
        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.serialNumber, 4711u);
        QCOMPARE(s.billingDay, 12);
        QCOMPARE(s.billingHour, 3);
        QCOMPARE(s.displayMask, quint8(0x10));
        QCOMPARE(s.integrationMinutes, 15);
        QCOMPARE(s.averagingSeconds, 20);
        QCOMPARE(s.password, quint16(777));
        QCOMPARE(s.address, quint8(8));
        QCOMPARE(s.baudIndex, 3);
        QCOMPARE(rig.find<QSpinBox>("SpinAddr")->value(), 8);
        QCOMPARE(rig.find<QComboBox>("ComboBaud")->currentIndex(), 3);

        // The indicator goes after two seconds and the meter is read afresh.
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Hidden, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.find<QTableWidget>("ListMain")->item(meter::MeterInfo::RowNumber, 1)->text(),
                                  QStringLiteral("004711"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.find<QTableWidget>("ListMain")->item(meter::MeterInfo::RowDescription, 1)->text(),
                                  QStringLiteral("Стенд 1"), 10000);

        // The log view shows the entries of the meter that had no number yet.
        rig.find<QSpinBox>("SpinFilter")->setValue(1);
        QVERIFY(rig.find<QPlainTextEdit>("MemoDb")->toPlainText().isEmpty());
        rig.find<QSpinBox>("SpinFilter")->setValue(0);
        const QStringList shown = rig.find<QPlainTextEdit>("MemoDb")->toPlainText().split('\n');
        QCOMPARE(shown.size(), 10);
        QVERIFY(shown.first().startsWith('['));
        QCOMPARE(shown.filter(QRegularExpression(QStringLiteral("^\\[.*\\] Номер=4711$"))).size(), 1);
        QVERIFY(shown.last().endsWith(QStringLiteral("] Адрес=8 Скорость=38400")));
        QVERIFY(rig.messages.isEmpty());
    }

    // What keeps an operator from harming a live meter: a description the
    // meter cannot hold is refused before anything is queued; an empty
    // new-password field sends the default and the log shows the value sent;
    // while the write runs, its accepted replies leave every write action off
    // and a second write is refused.
    void operatorSafetyOnAWrite()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter();
        QVERIFY(rig.waitUntilRead());
        app::SettingsTab &tab = rig.settings();

        rig.find<QCheckBox>("CheckComment")->setChecked(true);
        rig.find<QLineEdit>("EditComment")->setText(QStringLiteral("Щит ä 😀"));
        rig.server.clearReceived();
        test::action(form, "ActionSetting")->trigger();
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(rig.messages[0].text.contains(QStringLiteral("ä")));
        QVERIFY(rig.messages[0].text.contains(QStringLiteral("😀")));
        QVERIFY(!form.engine().writeBatchPending());
        for (const QByteArray &entry : form.engine().queue())   // only polling goes on
            QVERIFY(!meter::SettingsOwner::codes().contains(quint8(entry.at(0))));
        rig.find<QCheckBox>("CheckComment")->setChecked(false);

        sim::Faults slow;
        slow.delayMs = 40;   // a batch long enough to press F12 again
        rig.server.setFaults(slow);
        rig.find<QCheckBox>("CheckPassword")->setChecked(true);
        rig.find<QCheckBox>("CheckShedule")->setChecked(true);
        QVERIFY(rig.find<QLineEdit>("LabeledPassW")->text().isEmpty());
        test::action(form, "ActionSetting")->trigger();
        QVERIFY(form.engine().SettingsWriteActive());
        const auto received = [&rig](int code) {
            int n = 0;
            for (const QByteArray &r : rig.server.receivedRequests())
                n += quint8(r.at(0)) == code;
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(received(link::fn::WriteTime) == 1, 10000);
        for (QAction *action : {test::action(form, "ActionSetting"), test::action(form, "ActionFixDb"), test::action(form, "ActionWriteSched")})
            QVERIFY2(!action->isEnabled(), qPrintable(action->objectName()));
        QCOMPARE(tab.owner().ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::Busy);
        QCOMPARE(form.scheduleExchange().startWrite(schedule::takeImage(form.scheduleModel(), form.scheduleTables()),
                                                    QStringLiteral("1")),
                 schedule::ScheduleExchange::Start::Busy);
        tab.ActionSettingExecute();
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Green, 15000);
        QTRY_VERIFY(test::action(form, "ActionSetting")->isEnabled());
        QCOMPARE(received(link::fn::WriteTime), 1);
        QCOMPARE(received(link::fn::WriteBilling), 1);
        QCOMPARE(rig.server.state().password, quint16(meter::DefaultPassword));
        QVERIFY(rig.find<QLineEdit>("LabeledPassW")->text().isEmpty());
        QVERIFY(form.operationLog().entriesFor(form.meterState().MeterNumber).join('\n').contains(QStringLiteral("] Пароль на запись=1")));
        QCOMPARE(rig.messages.size(), 1);
    }

    // A meter locked with another password refuses the coefficients: the
    // result shows red with the meter's error, not as a silent success.
    void refusedCalibrationWrite()
    {
        MeterRig rig;
        rig.server.updateState([](sim::MeterState &s) { s.password = 4242; });
        app::TFormMain &form = rig.connectToMeter(true);
        QVERIFY(rig.waitUntilRead());
        QTRY_VERIFY(rig.find<QPushButton>("BtnWriteCalibr")->isEnabled());
        const auto before = rig.server.state().calibration;
        rig.find<QSpinBox>("SpinCalibrA")->setValue(before[0] + 5);
        QTest::mouseClick(rig.find<QPushButton>("BtnWriteCalibr"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Red, 10000);
        QTRY_COMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].icon, QMessageBox::Critical);
        QVERIFY2(rig.messages[0].text.contains(link::errorCodeMessage(6)), qPrintable(rig.messages[0].text));
        QVERIFY(rig.server.state().calibration == before);
        QTRY_VERIFY(rig.find<QPushButton>("BtnWriteCalibr")->isEnabled());
    }

    void wrongAccessPasswordShowsTheFailure()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter();
        QVERIFY(rig.waitUntilRead());
        const quint8 mask = rig.server.state().displayMask;
        form.setMessageHandler({});                     // the real, task-modal box
        rig.find<QLineEdit>("LabeledPass2")->setText("2");
        rig.find<QCheckBox>("CheckTime")->setChecked(false);
        rig.find<QCheckBox>("CheckIndi")->setChecked(true);
        rig.find<QListWidget>("CheckSetIndi")->item(0)->setCheckState(Qt::Checked);

        QString boxText, boxTitle;
        QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
        app::Indicator shownWithBox = app::Indicator::Hidden;
        QTimer closer;
        closer.setInterval(50);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxText = box->text();
                boxTitle = box->windowTitle();
                boxIcon = box->icon();
                shownWithBox = form.indicator();
                box->done(QMessageBox::Ok);
            }
        });
        closer.start();
        test::action(form, "ActionSetting")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!boxText.isEmpty(), 10000);
        QCOMPARE(boxText, QStringLiteral("Во время записи установок произошла ошибка. Описание смотрите на закладке Протокол."));
        QCOMPARE(boxTitle, QStringLiteral("Ошибка"));
        QCOMPARE(boxIcon, QMessageBox::Critical);
        QCOMPARE(shownWithBox, app::Indicator::Red);
        QTRY_VERIFY(rig.find<QPlainTextEdit>("Memo_Terminal")->toPlainText().contains(
            QStringLiteral("Ошибка: Нет доступа для записи (ввод пароля)")));
        QCOMPARE(rig.server.state().displayMask, mask);
        QVERIFY(!rig.server.receivedRequests().contains(QByteArray::fromHex("0e0301")));
        QVERIFY(!form.engine().SettingsWriteActive());
    }

    void shortReport()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter();
        app::ShortReportAction &report = test::part<app::ShortReportAction>(form);
        QTemporaryDir dir;
        QString path = dir.filePath("before.txt");
        QList<QUrl> opened;
        report.setFileChooser([&] { return path; });
        report.setUrlOpener([&](const QUrl &url) { opened << url; return true; });

        // Before any meter answered: the fixed lines and nothing after "Индикатор".
        test::action(form, "ActionReset")->trigger();
        report.ActionTxtExecute();
        QByteArray expected;
        for (int row = 0; row < 21; ++row)
            expected += cp1251(meter::MeterInfo::mainCaptions()[row] + "\t\r\n");
        expected += "\t\r\n";
        for (int row = 0; row < 21; ++row)
            expected += cp1251(meter::MeterInfo::addiCaptions()[row] + "\t\r\n");
        expected += cp1251("\t\r\nИндикатор\t\r\n");
        QByteArray bytes = readFile(path);
        QVERIFY(bytes.startsWith(cp1251("Системное время\t")));
        QCOMPARE(bytes.count("\r\n"), 47);
        QCOMPARE(bytes.mid(bytes.indexOf("\r\n") + 2), "\t\r\n" + expected);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(path)});

        // The simulated meter shows three display items.
        QVERIFY(rig.waitUntilRead());
        QTRY_VERIFY_WITH_TIMEOUT(!form.meterInfo().mainValue(meter::MeterInfo::RowTemperature).isEmpty()
                                     && !form.meterInfo().addiValue(meter::MeterInfo::RowLoadPower).isEmpty(), 10000);
        path = dir.filePath("after.txt");
        report.ActionTxtExecute();
        bytes = readFile(path);
        QCOMPARE(bytes.count("\r\n"), 50);
        QVERIFY(bytes.endsWith(cp1251("Индикатор\t\r\n\tсуммарные показания\r\n\tдата / время\r\n\tмощность\r\n")));
        QVERIFY(bytes.contains(cp1251("\r\nТемпература\t" + form.meterInfo().mainValue(meter::MeterInfo::RowTemperature) + "\r\n")));

        // A file that cannot be written: the system's message, nothing opened.
        path = dir.filePath("no/such/folder/x.txt");
        report.ActionTxtExecute();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].icon, QMessageBox::Critical);
        QVERIFY(!rig.messages[0].text.isEmpty());
        QCOMPARE(opened.size(), 2);

        // Cancelled: nothing at all.
        path.clear();
        report.ActionTxtExecute();
        QCOMPARE(opened.size(), 2);
    }

    void calibrationPage()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter(true);
        QVERIFY(rig.waitUntilRead());
        QTRY_VERIFY(rig.find<QPushButton>("BtnWriteCalibr")->isEnabled());
        rig.find<QSpinBox>("SpinCalibrA")->setValue(-32768);
        rig.find<QSpinBox>("SpinCalibrB")->setValue(32767);
        rig.find<QSpinBox>("SpinCalibrC")->setValue(-1);
        QTest::mouseClick(rig.find<QPushButton>("BtnWriteCalibr"), Qt::LeftButton);
        QVERIFY(!rig.find<QPushButton>("BtnWriteCalibr")->isEnabled());     // until the write batch ends
        QTRY_VERIFY_WITH_TIMEOUT(rig.server.state().calibration == (std::array<qint16, 3>{-32768, 32767, -1}), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Green, 5000);
        QVERIFY(rig.messages.isEmpty());
        QTRY_VERIFY(rig.find<QPushButton>("BtnReadCalibr")->isEnabled());

        for (QSpinBox *box : {rig.find<QSpinBox>("SpinCalibrA"), rig.find<QSpinBox>("SpinCalibrB"), rig.find<QSpinBox>("SpinCalibrC")})
            box->setValue(0);
        QTest::mouseClick(rig.find<QPushButton>("BtnReadCalibr"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(rig.find<QSpinBox>("SpinCalibrA")->value(), -32768, 5000);
        QCOMPARE(rig.find<QSpinBox>("SpinCalibrB")->value(), 32767);
        QCOMPARE(rig.find<QSpinBox>("SpinCalibrC")->value(), -1);

        rig.find<QSpinBox>("SpinFilter")->setValue(1);
        rig.find<QSpinBox>("SpinFilter")->setValue(0);
        QVERIFY(rig.find<QPlainTextEdit>("MemoDb")->toPlainText().endsWith(QStringLiteral("] Коэффициенты калибровки=-32768,32767,-1")));
    }

    // A template loaded into the tab ticks exactly its settings and fills
    // their controls, whatever the tab held before; the controls of other
    // settings keep their values; saving then gives the same file back.
    void templateLoadThenSave_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ticked");
        const QString head = QStringLiteral("; Kelvar 517 settings template\n[settings]\n");
        QTest::newRow("every setting, clock fixed")
            << head + "protocol = modbus\naddress = 17\nbaud = 9600\nparity = odd\nclock = 2031-05-06 07:08:09\n"
                      "summer_time = yes\nbilling_day = 25\nbilling_hour = 17\ndisplay = total, clock, power\n"
                      "peak_minutes = 30\npenalty_seconds = 10\ndescription = \"Щит 2, подъезд 4\"\n"
                      "password = 4242\nnumber = 123456\nreset_schedule = yes\n"
            << QStringList{"CheckAddr", "CheckTime", "CheckShedule", "CheckResetTariff", "CheckIntegra",
                           "CheckComment", "CheckPassword", "CheckIndi"};
        QTest::newRow("workstation clock, billing")
            << head + "clock = workstation\nsummer_time = no\nbilling_day = 3\nbilling_hour = 0\n"
            << QStringList{"CheckTime", "CheckShedule"};
        QTest::newRow("Rs-485 link, nothing shown")
            << head + "protocol = rs485\naddress = 0\nbaud = 38400\ndisplay = \n"
            << QStringList{"CheckAddr", "CheckIndi"};
    }
    void templateLoadThenSave()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, ticked);
        FormRig rig;
        app::SettingsTab &tab = test::part<app::SettingsTab>(rig.open());
        fillEverything(rig);

        app::SettingsTemplateActions &templates = tab.templates();
        QString next = rig.startDir.filePath("in.ini");
        QVERIFY(test::writeFile(next, text.toUtf8()));
        templates.setFileChooser([&next](bool) { return next; });
        rig.find<QPushButton>("BtnLoadTemplate")->click();
        QVERIFY2(rig.messages.isEmpty(), qPrintable(rig.messages.value(0).text));
        QStringList now;
        for (QCheckBox *box : rig.find<QGroupBox>("GroupTask")->findChildren<QCheckBox *>()) {
            if (box->isChecked())
                now << box->objectName();
        }
        QCOMPARE(now, ticked);
        if (!ticked.contains("CheckShedule"))
            QCOMPARE(rig.find<QSpinBox>("SpinDay")->value(), 9);
        if (!ticked.contains("CheckIntegra"))
            QCOMPARE(rig.find<QSpinBox>("SpinIntegra")->value(), 44);
        if (!ticked.contains("CheckComment"))
            QCOMPARE(rig.find<QLineEdit>("EditComment")->text(), QStringLiteral("прежнее"));

        next = rig.startDir.filePath("out.ini");
        rig.find<QPushButton>("BtnSaveTemplate")->click();
        QCOMPARE(QString::fromUtf8(readFile(next)), text);
    }

    // A template the program cannot use: a message naming the line and the
    // key (or the file), and the tab exactly as it was.
    void badTemplateChangesNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << "billing_day = 1\nbilling_hour = 2\nbiling_day = 3\n"
                                     << "t.ini:3: biling_day: unknown key";
        QTest::newRow("out of range") << "\npeak_minutes = 61\npenalty_seconds = 5\n" << "t.ini:2: peak_minutes:";
        QTest::newRow("unreadable") << QString() << "t.ini: cannot be read";
    }
    void badTemplateChangesNothing()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        FormRig rig;
        app::SettingsTab &tab = test::part<app::SettingsTab>(rig.open());
        fillEverything(rig);
        app::SettingsTemplateActions &templates = tab.templates();
        const QString before = meter::serialiseTemplate({tab.values(), tab.clockFixed()});

        const QString path = rig.startDir.filePath("t.ini");
        if (!text.isNull())
            QVERIFY(test::writeFile(path, text.toUtf8()));
        templates.setFileChooser([&path](bool) { return path; });
        rig.find<QPushButton>("BtnLoadTemplate")->click();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages.first().icon, QMessageBox::Critical);
        QVERIFY2(rig.messages.first().text.contains(message), qPrintable(rig.messages.first().text));
        QCOMPARE(meter::serialiseTemplate({tab.values(), tab.clockFixed()}), before);
    }

    // Written from a template through the window, compared: every setting
    // matches; changed behind the program's back: exactly the changed
    // settings differ, with the meter's value and the template's.
    void compareNamesTheChangedSettings()
    {
        MeterRig rig;
        app::TFormMain &form = rig.connectToMeter();
        QVERIFY(rig.waitUntilRead());
        app::SettingsTemplateActions &templates = rig.settings().templates();
        const QString path = rig.startDir.filePath("bench.ini");
        QVERIFY(test::writeFile(path, "clock = workstation\nsummer_time = yes\nbilling_day = 25\nbilling_hour = 17\n"
                                      "display = total, clock, power\npeak_minutes = 30\npenalty_seconds = 10\n"
                                      "description = \"Щит 2\"\n"));
        templates.setFileChooser([&path](bool) { return path; });
        rig.find<QPushButton>("BtnLoadTemplate")->click();
        test::action(form, "ActionSetting")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(form.indicator(), app::Indicator::Green, 15000);

        QSignalSpy shown(&templates, &app::SettingsTemplateActions::comparisonShown);
        const auto compare = [&]() -> QMap<QString, QStringList> {
            rig.find<QPushButton>("BtnCompareTemplate")->click();
            if (!shown.wait(20000))
                return {};
            QMap<QString, QStringList> rows;
            const QTableWidget *grid = templates.comparisonGrid();
            for (int r = 0; r < grid->rowCount(); ++r)
                rows.insert(grid->item(r, 0)->text(),
                            {grid->item(r, 1)->text(), grid->item(r, 2)->text(), grid->item(r, 3)->text()});
            return rows;
        };
        QMap<QString, QStringList> rows = compare();
        QCOMPARE(rows.keys(), (QStringList{"billing_day", "billing_hour", "clock", "description", "display",
                                           "peak_minutes", "penalty_seconds", "summer_time"}));
        for (auto it = rows.cbegin(); it != rows.cend(); ++it)
            QVERIFY2(it.value().at(2) == "совпадает", qPrintable(it.key() + ": " + it.value().join(" | ")));
        QVERIFY(templates.comparisonDialog()->isVisible());

        rig.server.updateState([](sim::MeterState &s) {
            s.billingHour = 3;
            s.displayMask = 0x01;
            s.summerTime = false;
        });
        rows = compare();
        QStringList differing;
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            if (it.value().at(2) != "совпадает")
                differing << it.key();
        }
        QCOMPARE(differing, (QStringList{"billing_hour", "display", "summer_time"}));
        QCOMPARE(rows.value("billing_hour"), (QStringList{"3", "17", "отличается"}));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestSettingsTab test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_tab.moc"
