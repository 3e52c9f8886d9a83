// "Поиск счетчиков на линии" against four simulated meters on one
// pseudo-terminal (wire time on, one reply of one meter garbled), in both
// protocol types: the dialog lists exactly those meters with their numbers,
// the meter picked becomes the link's address, and a scan stopped early
// leaves the link polling the address it had.

#include "support/FormRig.h"
#include "support/MeterStart.h"
#include "support/ProtocolRows.h"
#include "app/MeterScanDialog.h"
#include "metersim/MeterServer.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

using namespace kelvar;
using kelvar::test::FormRig;

namespace {

constexpr int WaitMs = 30000;
const QList<int> Addresses{0, 17, 200, 255};

struct Line {
    sim::MeterServer server;
    FormRig rig;

    // The window connected at `address`, 38400 baud, polling.
    app::TFormMain &start(link::Protocol protocol, int address)
    {
        const bool started = test::startBus(server, Addresses, [protocol](sim::MeterState &s, sim::Faults &f) {
            s.protocol = protocol;
            s.baudIndex = 3;
            s.parity = protocol == link::Protocol::Modbus ? 1 : 0;
            f.wireBaud = -1;
            if (s.address == 17) { // its first reply garbled on the line
                f.corruptCrc = true;
                f.shots = 1;
            }
        });
        if (!started)
            qFatal("no simulated meter");
        return rig.openOnMeter(server, [address](QSettings &store) { store.setValue("Address", address); });
    }

    // The meter at this address takes requests again from now on.
    bool polled(int address)
    {
        const int meter = int(Addresses.indexOf(address));
        const qsizetype before = server.receivedRequests(meter).size();
        return QTest::qWaitFor([&] { return server.receivedRequests(meter).size() > before + 2; }, WaitMs);
    }

    app::MeterScanDialog *openScan()
    {
        rig.form->findChild<QAction *>(QStringLiteral("ActionScanLine"))->trigger();
        return rig.form->findChild<app::MeterScanDialog *>();
    }
};

QTreeWidget *list(app::MeterScanDialog *dialog)
{
    return dialog->findChild<QTreeWidget *>(QStringLiteral("ListMeters"));
}

} // namespace

class TestLineScan : public QObject
{
    Q_OBJECT
private slots:
    void findAndChoose_data() { test::addProtocolRows(); }
    void findAndChoose()
    {
        QFETCH(link::Protocol, protocol);
        Line line;
        app::TFormMain &form = line.start(protocol, 200);
        QVERIFY(line.polled(200));
        app::MeterScanDialog *dialog = line.openScan();
        QVERIFY(dialog && dialog->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->scan().isRunning(), WaitMs);

        // Exactly the four meters, each at its own address with its own number.
        QTreeWidget *meters = list(dialog);
        QCOMPARE(meters->topLevelItemCount(), Addresses.size());
        for (int row = 0; row < meters->topLevelItemCount(); ++row) {
            const QTreeWidgetItem *item = meters->topLevelItem(row);
            const int address = item->text(app::MeterScanDialog::ColumnAddress).toInt();
            QCOMPARE(address, Addresses[row]);
            QCOMPARE(item->text(app::MeterScanDialog::ColumnNumber), QString::number(100000 + address));
            QCOMPARE(item->text(app::MeterScanDialog::ColumnType), QStringLiteral("Kelvar 517.01"));
            QVERIFY(item->text(app::MeterScanDialog::ColumnNote).isEmpty());
        }
        QCOMPARE(dialog->findChild<QProgressBar *>(QStringLiteral("ProgressScan"))->value(), 256);
        QCOMPARE(line.server.tally(1).corruptCrc, 1);
        for (QWidget *control : dialog->findChildren<QWidget *>()) {
            if (control->focusPolicy() != Qt::NoFocus)
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
        if (const QString shot = qEnvironmentVariable("KELVAR_SCREENSHOT"); !shot.isEmpty())
            QVERIFY(dialog->grab().save(shot));

        // A double click picks the meter at 17: the link polls it.
        const QTreeWidgetItem *chosen = meters->topLevelItem(1);
        const QPoint at = meters->visualItemRect(chosen).center();
        QTest::mouseClick(meters->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(meters->viewport(), Qt::LeftButton, {}, at);
        QTRY_VERIFY(!line.rig.form->findChild<app::MeterScanDialog *>());
        QCOMPARE(line.rig.form->findChild<QSpinBox *>(QStringLiteral("SpinAddr"))->value(), 17);
        QCOMPARE(form.engine().address(), 17);
        QVERIFY(form.engine().isConnected());
        QVERIFY(line.polled(17));
    }

    // "Стоп" ends the scan with the meters found so far; the link goes on
    // polling the address it had before.
    void stopKeepsTheAddress()
    {
        Line line;
        app::TFormMain &form = line.start(link::Protocol::Rs485, 200);
        QVERIFY(line.polled(200));
        app::MeterScanDialog *dialog = line.openScan();
        QTRY_VERIFY_WITH_TIMEOUT(list(dialog)->topLevelItemCount() == 2, WaitMs);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("BtnScanStop")), Qt::LeftButton);
        QVERIFY(!dialog->scan().isRunning());
        QCOMPARE(list(dialog)->topLevelItemCount(), 2);
        QVERIFY(dialog->findChild<QProgressBar *>(QStringLiteral("ProgressScan"))->value() < 200);
        QVERIFY(form.engine().isConnected());
        QCOMPARE(form.engine().address(), 200);
        QVERIFY(line.polled(200));
        dialog->close();
        QTRY_VERIFY(!line.rig.form->findChild<app::MeterScanDialog *>());
        QCOMPARE(line.rig.form->findChild<QSpinBox *>(QStringLiteral("SpinAddr"))->value(), 200);
    }
};

KELVAR_WINDOW_TEST_MAIN(TestLineScan)
#include "tst_linescan.moc"
