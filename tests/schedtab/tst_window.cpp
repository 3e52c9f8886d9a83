// The schedule tab in the main window: one schedule shown on both pages, the
// default holidays at start, and the editor following a schedule replaced
// from outside the tab.

#include "TestUtil.h"
#include "support/Control.h"
#include "support/FormRig.h"
#include "app/schedule/HolidaysPage.h"
#include "app/schedule/TFrameShedule.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

using namespace kelvar;
using kelvar::test::FormRig;
using kelvar::test::hex;

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void oneScheduleOnBothPages()
    {
        FormRig rig;
        app::TFormMain &form = rig.open();
        auto *tabSched = rig.find<QWidget>("TabSched");
        QVERIFY(tabSched);
        auto *pages = rig.find<QWidget>("PageTariff");
        QVERIFY(tabSched->isAncestorOf(pages));
        auto &frame = test::part<app::TFrameShedule>(form);
        auto &holidays = test::part<app::HolidaysPage>(form);
        QVERIFY(pages->isAncestorOf(&frame));

        // The default holidays are listed from the start.
        QCOMPARE(test::control<QTreeWidget>(holidays, "ListCel")->topLevelItemCount(), 12);
        QCOMPARE(form.scheduleTables().holidays().size(), 12);

        // A schedule loaded or read elsewhere shows in the editor at once.
        QVERIFY(form.scheduleModel().SetShedule({hex("00000000FFFF0F"), hex("11070000FFFF0F")}));
        QCOMPARE(test::control<QTreeWidget>(frame, "ListViewDays")->topLevelItemCount(), 2);
        auto *limit = test::control<QSpinBox>(holidays, "SpinLimit");
        form.scheduleTables().setLimitCoefficient(25);
        QCOMPARE(limit->value(), 25);
        limit->setValue(30);
        QCOMPARE(form.scheduleTables().limitCoefficient(), 30);
    }
};

KELVAR_WINDOW_TEST_MAIN(TestWindow)
#include "tst_window.moc"
