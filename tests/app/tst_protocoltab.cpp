// The protocol tab driven by the exchange engine against the simulated
// meter: time stamps on new lines, the saved traffic log, clearing, and the
// link statistics beside the view; the request pause in the connection panel
// and the stored settings.

#include "app/AppSettings.h"
#include "app/ConnectionPanel.h"
#include "app/ProtocolTab.h"
#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/LinkStatistics.h"
#include "link/QSerialPortChannel.h"
#include "support/Control.h"
#include "support/MeterStart.h"

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar;

namespace {

struct Rig {
    sim::MeterServer meter;
    link::QSerialPortChannel channel;
    link::ExchangeEngine engine{&channel};
    QWidget page;
    app::ProtocolTab tab{&page};
    QPlainTextEdit *view = test::control<QPlainTextEdit>(page, "Memo_Terminal");

    Rig()
    {
        if (!test::startMeter(meter))
            qFatal("no simulated meter");
        engine.setPortName(meter.devicePath());
        engine.setMasterMode(true); // the byte trace fills the view
        engine.setRequestPause(0);
        QObject::connect(&engine, &link::ExchangeEngine::protocolLine, &tab, &app::ProtocolTab::addLine);
        tab.setStatistics(&engine.statistics());
    }
    ~Rig()
    {
        engine.ActionDisconnectExecute();
        meter.stop();
    }
    QStringList viewLines()
    {
        tab.flush();
        return view->toPlainText().split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

class TestProtocolTab : public QObject
{
    Q_OBJECT
private slots:
    // With "Время" the new lines get the time with milliseconds in front;
    // the saved file holds exactly what the view shows; "Очистить" empties it.
    void timeSaveClear()
    {
        Rig rig;
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(rig.viewLines().size() >= 6, 10000);
        test::control<QCheckBox>(rig.page, "CheckProtocolTime")->setChecked(true);
        const int plain = rig.viewLines().size();
        QTRY_VERIFY_WITH_TIMEOUT(rig.viewLines().size() >= plain + 6, 10000);
        rig.engine.ActionDisconnectExecute();
        const QStringList lines = rig.viewLines();
        // "12:00:00.123 Send 00" without, "12:00:00.125 12:00:00.123 Send 00" with the stamp.
        const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d[.:]\\d\\d\\d "));
        const QRegularExpression twice(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2(stamp.match(lines[i]).hasMatch(), qPrintable(lines[i]));
            if (i < plain)
                QVERIFY2(!twice.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        }
        QVERIFY(twice.match(lines.last()).hasMatch());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("протокол.txt"));
        rig.tab.setSaveFileChooser([&] { return path; });
        QTest::mouseClick(test::control<QPushButton>(rig.page, "BtnSaveProtocol"), Qt::LeftButton);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), rig.view->toPlainText());

        QTest::mouseClick(test::control<QPushButton>(rig.page, "BtnClearProtocol"), Qt::LeftButton);
        QCOMPARE(rig.view->toPlainText(), QString());
    }

    // A file that cannot be written is reported, and the view stays.
    void saveFailureReported()
    {
        QWidget page;
        app::ProtocolTab tab(&page);
        tab.addLine(QStringLiteral("line"));
        QTemporaryDir dir;
        tab.setSaveFileChooser([&] { return dir.filePath(QStringLiteral("missing/folder/log.txt")); });
        QStringList messages;
        tab.setMessageHandler([&](QMessageBox::Icon, const QString &, const QString &text) { messages << text; });
        tab.BtnSaveProtocolClick();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains(QStringLiteral("missing/folder/log.txt")));
        QCOMPARE(test::control<QPlainTextEdit>(page, "Memo_Terminal")->toPlainText(), QStringLiteral("line"));
    }

    // The statistics view follows the engine's counts once a second.
    void statisticsShown()
    {
        Rig rig;
        QVERIFY(rig.engine.ActionConnectExecute());
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine.statistics().repliesAccepted() >= 5, 10000);
        rig.engine.ActionDisconnectExecute(); // the counts stand still
        const QString report = rig.engine.statistics().report().join('\n');
        QTRY_COMPARE_WITH_TIMEOUT(test::control<QPlainTextEdit>(rig.page, "MemoStatistics")->toPlainText(), report, 3000);
        QVERIFY(report.contains(link::CommandName(0)));
    }

    // The stored pause (0..50, 50 when missing or unreadable) reaches the
    // panel and the engine; what the operator sets is stored again.
    void pauseSetting_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("pause");
        QTest::newRow("missing") << QVariant() << 50;
        QTest::newRow("zero") << QVariant(0) << 0;
        QTest::newRow("negative") << QVariant(-3) << 0;
        QTest::newRow("above 50") << QVariant(99) << 50;
        QTest::newRow("garbage") << QVariant("x") << 50;
        QTest::newRow("in range") << QVariant(20) << 20;
    }
    void pauseSetting()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, pause);
        QTemporaryDir dir;
        QSettings store(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        if (stored.isValid())
            store.setValue(QStringLiteral("Pause"), stored);
        app::AppSettings settings;
        settings.load(store);
        link::QSerialPortChannel channel;
        link::ExchangeEngine engine(&channel);
        app::ConnectionPanel panel(engine);
        panel.applySettings(settings);
        QCOMPARE(panel.findChild<QSpinBox *>("SpinPause")->value(), pause);
        QCOMPARE(engine.requestPause(), pause);
        panel.findChild<QSpinBox *>("SpinPause")->setValue(7);
        QCOMPARE(engine.requestPause(), 7);
        app::AppSettings out;
        panel.storeSettings(out);
        out.save(store);
        app::AppSettings back;
        back.load(store);
        QCOMPARE(back.pause, 7);
    }
};

QTEST_MAIN(TestProtocolTab)
#include "tst_protocoltab.moc"
