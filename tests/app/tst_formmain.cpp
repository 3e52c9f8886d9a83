// The main window without a meter: layout and captions, actions, start modes,
// persisted settings, port and speed selection, help.

#include "support/FormRig.h"
#include "app/ConnectionPanel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

using namespace kelvar;
using kelvar::test::FormRig;

namespace {
QStringList menuTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}
} // namespace

class TestFormMain : public QObject {
    Q_OBJECT
private slots:
    void init() { test::clearStore(); }

    void windowLayout()
    {
        FormRig rig;
        app::TFormMain &form = rig.open();
        QCOMPARE(form.windowTitle(), QStringLiteral("Программирование Kelvar 517"));
        // Fixed size; the client area below the menu bar is 792 x 624.
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(form.width(), 792);
        QCOMPARE(form.height() - form.menuBar()->sizeHint().height(), 624);
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));

        auto *pages = rig.find<QTabWidget>("PageControlMain");
        QVERIFY(pages);
        const QStringList names{"TabAbout", "TabSet", "TabSched", "TabJournal", "TabDb", "TabProtocol", "TabCalibr"};
        const QStringList captions{"О счетчике", "Установка", "Тарифное расписание", "Журналы", "База данных",
                                   "Протокол", "Коэффициенты калибровки"};
        QCOMPARE(pages->count(), 7);
        for (int i = 0; i < pages->count(); ++i) {
            QCOMPARE(pages->widget(i)->objectName(), names[i]);
            QCOMPARE(pages->tabText(i), captions[i]);
        }
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabAbout"));

        const QList<QMenu *> menus = {form.menuBar()->actions()[0]->menu(), form.menuBar()->actions()[1]->menu(),
                                      form.menuBar()->actions()[2]->menu(), form.menuBar()->actions()[3]->menu()};
        QCOMPARE(menus[0]->title(), QStringLiteral("&Связь"));
        QCOMPARE(menuTexts(menus[0]), (QStringList{"&Порт", "&Скорость", "-", "&Установить", "&Разорвать", "-",
                                                   "Поиск &адреса", "Поиск счетчиков на &линии", "-", "В&ыход"}));
        QCOMPARE(menus[1]->title(), QStringLiteral("&Установки"));
        QCOMPARE(menuTexts(menus[1]), (QStringList{"&Записать", "Зафиксировать в Б&Д", "-", "Краткий отчет", "&Протокол программирования..."}));
        QCOMPARE(menus[2]->objectName(), QStringLiteral("NSched"));
        QCOMPARE(menuTexts(menus[2]), (QStringList{"&Новое", "&Загрузить из файла", "&Сохранить как файл", "-",
                                                   "З&аписать в счетчик", "&Прочитать из счетчика"}));
        QCOMPARE(menus[3]->title(), QStringLiteral("&?"));
        QCOMPARE(menuTexts(menus[3]), (QStringList{"&Справка", "-", "&О программе"}));
        QCOMPARE(menuTexts(rig.find<QMenu>("NBaud")), (QStringList{"4800", "9600", "19200", "38400"}));

        auto *main = rig.find<QTableWidget>("ListMain");
        auto *addi = rig.find<QTableWidget>("ListAddi");
        QVERIFY(main && addi);
        QCOMPARE(main->rowCount(), 21);
        QCOMPARE(addi->rowCount(), 21);
        QCOMPARE(main->item(6, 0)->text(), QStringLiteral("Дата / время"));
        QCOMPARE(addi->item(19, 0)->text(), QStringLiteral("Пиковая мощность на РДЧ Pрдч, Вт"));
        QCOMPARE(main->columnWidth(0), 200);

        // The status bar has its two panels, both empty.
        auto *panel0 = rig.find<QLabel>("StatusPanel0");
        auto *panel1 = rig.find<QLabel>("StatusPanel1");
        QVERIFY(panel0 && panel1);
        QCOMPARE(panel0->width(), 250);
        QCOMPARE(panel1->width(), 420);
        QVERIFY(panel1->text().isEmpty());

        for (const char *name : {"ComboMode", "ComboPort", "ComboBaud", "ComboParity", "ComboScaner"})
            QVERIFY2(rig.find<QComboBox>(name), name);
        for (const char *name : {"SpinAddr", "SpinTimer"})
            QVERIFY2(rig.find<QSpinBox>(name), name);
        QVERIFY(rig.find<QLineEdit>("LabeledPass2"));
        QCOMPARE(rig.find<QLineEdit>("LabeledPass2")->maxLength(), 5);
        QVERIFY(rig.find<QCheckBox>("CheckScaner"));
        QVERIFY(rig.find<QWidget>("Shape1"));
        QVERIFY(rig.find<QWidget>("CheckListIndi"));
    }

    void actions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("enabled");
        const QKeySequence none;
        QTest::newRow("connect") << "ActionConnect" << "&Установить" << "Установить связь" << none << true;
        QTest::newRow("disconnect") << "ActionDisconnect" << "&Разорвать" << "Разорвать связь" << none << false;
        QTest::newRow("find") << "ActionFindAddress" << "Поиск &адреса" << "Поиск адреса" << QKeySequence(Qt::Key_F3) << false;
        QTest::newRow("setting") << "ActionSetting" << "&Записать" << "Записать установки" << QKeySequence(Qt::Key_F12) << false;
        QTest::newRow("reset") << "ActionReset" << "&Сброс" << "Сброс" << none << true;
        QTest::newRow("fixdb") << "ActionFixDb" << "Зафиксировать в Б&Д" << "Зафиксировать в БД" << none << false;
        QTest::newRow("txt") << "ActionTxt" << "Краткий отчет" << "Краткий отчет" << none << false;
        QTest::newRow("new") << "ActionNewSched" << "&Новое" << "Новое тарифное расписание" << none << true;
        QTest::newRow("load") << "ActionLoadTariff" << "&Загрузить из файла" << "Загрузить тарифное расписание из файла" << none << true;
        QTest::newRow("save") << "ActionSaveTariff" << "&Сохранить как файл" << "Сохранить тарифное расписание как файл" << none << true;
        QTest::newRow("write") << "ActionWriteSched" << "З&аписать в счетчик" << "Записать расписание в счетчик" << none << false;
        QTest::newRow("read") << "ActionReadSched" << "&Прочитать из счетчика" << "Прочитать расписание из счетчика" << none << false;
    }
    void actions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, enabled);
        FormRig rig;
        rig.open();
        auto *action = rig.form->findChild<QAction *>(name);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->toolTip(), hint);
        QCOMPARE(action->shortcut(), shortcut);
        QCOMPARE(action->isEnabled(), enabled);
    }

    void firstStartDefaults()
    {
        FormRig rig;
        app::TFormMain &form = rig.open();
        QCOMPARE(rig.find<QComboBox>("ComboMode")->currentText(), QStringLiteral("Rs-485"));
        QCOMPARE(rig.find<QComboBox>("ComboBaud")->currentText(), QStringLiteral("4800"));
        QCOMPARE(rig.find<QSpinBox>("SpinAddr")->value(), 0);
        QCOMPARE(rig.find<QSpinBox>("SpinTimer")->value(), 500);
        QCOMPARE(rig.find<QLineEdit>("LabeledPass2")->text(), QStringLiteral("1"));
        QVERIFY(rig.find<QComboBox>("ComboParity")->isHidden());
        QVERIFY(rig.find<QLabel>("LabelParity")->isHidden());
        QCOMPARE(form.engine().protocol(), link::Protocol::Rs485);
        QCOMPARE(form.engine().baudIndex(), 0);
        QCOMPARE(form.engine().timeout(), 500);
        QVERIFY(!form.MasterMode());
        QVERIFY(!form.ProductionMode());
        // No port listed: nothing is selected, and rather than a port nobody
        // chose, connecting says that there is none; the controls stay usable.
        auto *ports = rig.find<QComboBox>("ComboPort");
        QCOMPARE(ports->currentIndex(), -1);
#ifndef Q_OS_WIN
        QCOMPARE(ports->placeholderText(), link::ExchangeEngine::NoSerialPortText);
        QVERIFY(form.engine().portName().isEmpty());
        test::action(form, "ActionConnect")->trigger();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].text, link::ExchangeEngine::NoSerialPortText);
        QVERIFY(test::action(form, "ActionConnect")->isEnabled());
        QVERIFY(!test::action(form, "ActionDisconnect")->isEnabled());
        QVERIFY(ports->isEnabled() && rig.find<QComboBox>("ComboBaud")->isEnabled());
#endif
        QCOMPARE(test::part<app::ConnectionPanel>(form).meterPortNumber(), 1);
        QCOMPARE(test::part<app::ConnectionPanel>(form).scanerPortNumber(), 2);
        QCOMPARE(form.helpFilePath(), QDir(rig.startDir.path()).filePath("Setting_Kelvar_517.chm"));
        QCOMPARE(form.operationLogPath(), QDir(rig.startDir.path()).filePath("Setting_Kelvar_517.log"));
    }

    void settingsSurviveRestart()
    {
        FormRig rig;
        app::StartOptions options;
        options.ports = QStringList{"ttyS0", "ttyUSB0", "COM3"};
        rig.open(options);
        rig.find<QSpinBox>("SpinAddr")->setValue(17);
        rig.find<QComboBox>("ComboBaud")->setCurrentIndex(2);
        rig.find<QSpinBox>("SpinTimer")->setValue(1200);
        rig.find<QComboBox>("ComboMode")->setCurrentIndex(1);
        rig.find<QComboBox>("ComboParity")->setCurrentIndex(2);
        rig.find<QComboBox>("ComboPort")->setCurrentIndex(1);
        rig.find<QCheckBox>("CheckScaner")->setChecked(true);
        rig.close();

        app::TFormMain &form = rig.open(options);
        QCOMPARE(rig.find<QSpinBox>("SpinAddr")->value(), 17);
        QCOMPARE(rig.find<QComboBox>("ComboBaud")->currentText(), QStringLiteral("19200"));
        QCOMPARE(rig.find<QSpinBox>("SpinTimer")->value(), 1200);
        QCOMPARE(rig.find<QComboBox>("ComboMode")->currentText(), QStringLiteral("MODBUS"));
        QCOMPARE(rig.find<QComboBox>("ComboParity")->currentText(), QStringLiteral("нечетн."));
        QVERIFY(!rig.find<QComboBox>("ComboParity")->isHidden());
        QCOMPARE(rig.find<QComboBox>("ComboPort")->currentText(), QStringLiteral("ttyUSB0"));
        QVERIFY(rig.find<QCheckBox>("CheckScaner")->isChecked());
        QCOMPARE(form.engine().portName(), QStringLiteral("ttyUSB0"));
        QCOMPARE(form.engine().address(), 17);
        QCOMPARE(form.engine().baudIndex(), 2);
        QCOMPARE(form.engine().timeout(), 1200);
        QCOMPARE(form.engine().protocol(), link::Protocol::Modbus);
        QCOMPARE(form.engine().parityIndex(), 2);
    }

    void storedValues_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("address");
        const QStringList com{"COM1", "COM3", "COM12"};
        QTest::newRow("port by number") << QVariantMap{{"Port", 3}} << com << "COM3" << 0 << 500 << 0;
        QTest::newRow("two-digit port") << QVariantMap{{"Port", 12}} << com << "COM12" << 0 << 500 << 0;
        QTest::newRow("port 1 when listed") << QVariantMap{} << com << "COM1" << 0 << 500 << 0;
        QTest::newRow("saved port gone") << QVariantMap{{"Port", 7}} << com << "" << 0 << 500 << 0;
        QTest::newRow("name before number") << QVariantMap{{"Port", 3}, {"PortName", "COM12"}} << com << "COM12" << 0 << 500 << 0;
        QTest::newRow("name no longer listed") << QVariantMap{{"Port", 3}, {"PortName", "ttyUSB1"}} << com << "COM3" << 0 << 500 << 0;
        QTest::newRow("lower-case Baudrate") << QVariantMap{{"Baudrate", 3}} << com << "COM1" << 3 << 500 << 0;
        QTest::newRow("upper-case BaudRate") << QVariantMap{{"BaudRate", 1}} << com << "COM1" << 1 << 500 << 0;
        QTest::newRow("garbage keeps defaults") << QVariantMap{{"Timeout", "abc"}, {"BaudRate", "x"}, {"Address", ""}}
                                                << com << "COM1" << 0 << 500 << 0;
        QTest::newRow("out of range clamped") << QVariantMap{{"Timeout", 99999}, {"BaudRate", 9}, {"Address", 300}}
                                              << com << "COM1" << 3 << 30000 << 255;
        QTest::newRow("too short time-out") << QVariantMap{{"Timeout", 50}} << com << "COM1" << 0 << 200 << 0;
    }
    void storedValues()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QStringList, ports);
        QFETCH(QString, port);
        QFETCH(int, baud);
        QFETCH(int, timeout);
        QFETCH(int, address);
        test::clearStore([&](QSettings &store) {
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                store.setValue(it.key(), it.value());
        });
        FormRig rig;
        app::StartOptions options;
        options.ports = ports;
        rig.open(options);
        QCOMPARE(rig.find<QComboBox>("ComboPort")->currentText(), port);
        QCOMPARE(rig.find<QComboBox>("ComboBaud")->currentIndex(), baud);
        QCOMPARE(rig.find<QSpinBox>("SpinTimer")->value(), timeout);
        QCOMPARE(rig.find<QSpinBox>("SpinAddr")->value(), address);
        // The radio item of the selected port is checked with it.
        for (QAction *item : rig.find<QMenu>("NPort")->actions())
            QCOMPARE(item->isChecked(), item->text() == port);
    }

    void exitWritesOneSpelling()
    {
        test::clearStore([](QSettings &store) { store.setValue("BaudRate", 1); });
        FormRig rig;
        rig.open();
        rig.find<QComboBox>("ComboBaud")->setCurrentIndex(3);
        rig.close();
        const std::unique_ptr<QSettings> store(app::AppSettings::openStore());
        QVERIFY(!store->contains("BaudRate"));
        QCOMPARE(store->value("Baudrate").toInt(), 3);
        QVERIFY(!store->contains("Master"));
        QVERIFY(!store->contains("Calibr"));
    }

    void commandLinePort()
    {
        FormRig rig;
        app::StartOptions options;
        options.ports = QStringList{"COM1", "COM2"};
        options.portName = QStringLiteral("/dev/pts/77");
        app::TFormMain &form = rig.open(options);
        QCOMPARE(rig.find<QComboBox>("ComboPort")->count(), 3);
        QCOMPARE(rig.find<QComboBox>("ComboPort")->currentText(), options.portName);
        QCOMPARE(form.engine().portName(), options.portName);
    }

    // The simulated meter's pseudo-terminal is for one run: the port the
    // operator chose stays stored.
    void temporaryPortIsNotStored()
    {
        test::clearStore([](QSettings &store) {
            store.setValue("Port", 3);
            store.setValue("PortName", "ttyUSB0");
        });
        FormRig rig;
        app::StartOptions options;
        options.ports = QStringList{"ttyUSB0", "COM3"};
        options.portName = QStringLiteral("/dev/pts/77");
        options.temporaryPort = true;
        rig.open(options);
        rig.find<QSpinBox>("SpinAddr")->setValue(9);
        rig.close();
        const std::unique_ptr<QSettings> store(app::AppSettings::openStore());
        QCOMPARE(store->value("PortName").toString(), QStringLiteral("ttyUSB0"));
        QCOMPARE(store->value("Port").toInt(), 3);
        QCOMPARE(store->value("Address").toInt(), 9);
    }

    void modes_data()
    {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("production");
        QTest::addColumn<bool>("master");
        QTest::addColumn<bool>("calibr");
        QTest::newRow("bench") << false << QStringList{} << false << false << false;
        QTest::newRow("Master value") << false << QStringList{"Master"} << false << true << false;
        QTest::newRow("marker file") << true << QStringList{} << true << true << false;
        QTest::newRow("Calibr value") << false << QStringList{"Calibr"} << false << false << true;
        QTest::newRow("calibr in production") << true << QStringList{"Calibr"} << true << true << true;
        QTest::newRow("Master in production") << true << QStringList{"Master"} << true << true << false;
    }
    void modes()
    {
        QFETCH(bool, marker);
        QFETCH(QStringList, values);
        QFETCH(bool, production);
        QFETCH(bool, master);
        QFETCH(bool, calibr);
        test::clearStore([&](QSettings &store) {
            for (const QString &name : values)
                store.setValue(name, QString()); // any type, any data
        });
        FormRig rig;
        if (marker)
            touch(QDir(rig.startDir.path()).filePath("SettingSql.kelvar"));
        app::TFormMain &form = rig.open();
        QCOMPARE(form.ProductionMode(), production);
        QCOMPARE(form.MasterMode(), master);
        QCOMPARE(form.engine().MasterMode(), master);
        // Password bytes in the trace only where the operator asked for it.
        QCOMPARE(form.engine().TracePasswords(), values.contains("Master"));
        QCOMPARE(form.engine().ProductionMode(), production);
        QCOMPARE(form.meterInfo().productionMode(), production);

        auto *pages = rig.find<QTabWidget>("PageControlMain");
        const auto tabVisible = [&](const char *name) {
            return pages->isTabVisible(pages->indexOf(rig.find<QWidget>(name)));
        };
        QCOMPARE(tabVisible("TabSched"), !production);
        QCOMPARE(tabVisible("TabDb"), !production);
        QCOMPARE(tabVisible("TabCalibr"), calibr);
        QVERIFY(tabVisible("TabAbout") && tabVisible("TabSet") && tabVisible("TabJournal") && tabVisible("TabProtocol"));
        QCOMPARE(rig.find<QMenu>("NSched")->menuAction()->isVisible(), !production);
        for (const char *name : {"ToolButton12", "ToolButton14", "ToolButton15", "ToolButton18", "ToolButton19"})
            QCOMPARE(rig.find<QToolButton>(name)->defaultAction()->isVisible(), !production);
        QCOMPARE(rig.find<QToolButton>("ToolFixDb")->defaultAction()->isVisible(), production);
        QCOMPARE(test::action(form, "ActionFixDb")->isVisible(), production); // the menu entry NFixDb
        QCOMPARE(!rig.find<QWidget>("PanelScaner")->isHidden(), production);
        QCOMPARE(!rig.find<QWidget>("EditDelta")->isHidden() && !rig.find<QWidget>("EditDelta")->parentWidget()->isHidden(),
                 production);

        // The connection panel's texts show whole in both protocol types,
        // the scanner panel included: no caption narrower than its text, no
        // two controls on top of each other.
        auto *panel = rig.find<QWidget>("PanelConnect");
        form.show();
        for (int protocol : {0, 1}) {
            rig.find<QComboBox>("ComboMode")->setCurrentIndex(protocol);
            QCoreApplication::processEvents();
            QList<QRect> taken;
            for (QWidget *w : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (!w->isVisible() || qobject_cast<QMenu *>(w))
                    continue;
                if (auto *label = qobject_cast<QLabel *>(w))
                    QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
                QVERIFY2(panel->rect().contains(w->geometry()), qPrintable(w->objectName()));
                for (const QRect &other : std::as_const(taken))
                    QVERIFY2(!other.intersects(w->geometry()), qPrintable(w->objectName()));
                taken << w->geometry();
            }
        }
    }

    void portAndSpeedInStep()
    {
        FormRig rig;
        app::StartOptions options;
        options.ports = QStringList{"COM1", "COM4", "ttyUSB0"};
        app::TFormMain &form = rig.open(options);
        auto *combo = rig.find<QComboBox>("ComboPort");
        auto *ports = rig.find<QMenu>("NPort");
        QCOMPARE(combo->currentText(), QStringLiteral("COM1"));

        ports->actions()[1]->trigger(); // PortMenuItemClick
        QCOMPARE(combo->currentText(), QStringLiteral("COM4"));
        QCOMPARE(form.engine().portName(), QStringLiteral("COM4"));
        QCOMPARE(test::part<app::ConnectionPanel>(form).meterPortNumber(), 4);

        combo->setCurrentIndex(2);        // ComboPortChange: a device without a number
        QVERIFY(ports->actions()[2]->isChecked());
        QVERIFY(!ports->actions()[1]->isChecked());
        QCOMPARE(form.engine().portName(), QStringLiteral("ttyUSB0"));
        QCOMPARE(test::part<app::ConnectionPanel>(form).meterPortNumber(), 4);

        auto *baud = rig.find<QComboBox>("ComboBaud");
        auto *speeds = rig.find<QMenu>("NBaud");
        baud->setCurrentIndex(3);         // ComboBaudChange
        QVERIFY(speeds->actions()[3]->isChecked());
        QCOMPARE(form.engine().baudIndex(), 3);
        speeds->actions()[1]->trigger();  // N12001Click
        QCOMPARE(baud->currentIndex(), 1);
        QVERIFY(!speeds->actions()[3]->isChecked());
        QCOMPARE(form.engine().baudIndex(), 1);

        auto *mode = rig.find<QComboBox>("ComboMode");
        mode->setCurrentIndex(1);         // ComboModeChange
        QVERIFY(!rig.find<QComboBox>("ComboParity")->isHidden());
        QCOMPARE(form.engine().protocol(), link::Protocol::Modbus);
        mode->setCurrentIndex(0);
        QVERIFY(rig.find<QComboBox>("ComboParity")->isHidden());
        QCOMPARE(form.engine().protocol(), link::Protocol::Rs485);

        rig.find<QSpinBox>("SpinTimer")->setValue(2000); // SpinTimerChange
        QCOMPARE(form.engine().timeout(), 2000);
        rig.find<QSpinBox>("SpinAddr")->setValue(42);
        QCOMPARE(form.engine().address(), 42);
    }

    void connectFailure()
    {
        FormRig rig;
        app::StartOptions options;
        options.portName = QStringLiteral("/nonexistent/port");
        app::TFormMain &form = rig.open(options);
        test::action(form, "ActionConnect")->trigger();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.messages[0].title, QStringLiteral("Ошибка"));
        QCOMPARE(rig.messages[0].text, QStringLiteral("Ошибка открытия порта /nonexistent/port"));
        QVERIFY(test::action(form, "ActionConnect")->isEnabled());
        QVERIFY(!test::action(form, "ActionDisconnect")->isEnabled());
        QVERIFY(rig.find<QComboBox>("ComboPort")->isEnabled());
    }

    void help()
    {
        FormRig rig;
        app::TFormMain &form = rig.open();
        form.N20Click();
        QVERIFY(rig.opened.isEmpty());
        QCOMPARE(rig.messages.size(), 1);
        QVERIFY(rig.messages[0].text.contains("Setting_Kelvar_517.chm"));
        QCOMPARE(rig.messages[0].icon, QMessageBox::Warning);

        touch(form.helpFilePath());
        form.N20Click();
        QCOMPARE(rig.messages.size(), 1);
        QCOMPARE(rig.opened, QList<QUrl>{QUrl::fromLocalFile(form.helpFilePath())});
    }
};

KELVAR_WINDOW_TEST_MAIN(TestFormMain)

#include "tst_formmain.moc"
