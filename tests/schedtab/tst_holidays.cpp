// The page "Праздники и коэффициент лимита" driven by its buttons, and kept in
// step with the schedule tables whoever changes them.

#include "TestUtil.h"
#include "schedtab/NamedControls.h"
#include "support/Control.h"
#include "app/schedule/HolidaysPage.h"
#include "common/TextFormat.h"
#include "app/schedule/ScheduleTab.h"
#include "app/schedule/TFrameShedule.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace kelvar;
using kelvar::test::hex;
using schedule::Holiday;

namespace {

struct Page {
    schedule::ScheduleTables tables;
    app::HolidaysPage page{tables};
    QComboBox *ComboM = test::control<QComboBox>(page, "ComboM");
    QSpinBox *SpinD = test::control<QSpinBox>(page, "SpinD");
    QPushButton *BtnInsCel = test::control<QPushButton>(page, "BtnInsCel");
    QPushButton *BtnDelCel = test::control<QPushButton>(page, "BtnDelCel");
    QPushButton *BtnTemplet = test::control<QPushButton>(page, "BtnTemplet");
    QTreeWidget *ListCel = test::control<QTreeWidget>(page, "ListCel");
    QDateEdit *DTPTrans = test::control<QDateEdit>(page, "DTPTrans");
    QComboBox *ComboTrans = test::control<QComboBox>(page, "ComboTrans");
    QPushButton *BtnInsTrans = test::control<QPushButton>(page, "BtnInsTrans");
    QPushButton *BtnDelTrans = test::control<QPushButton>(page, "BtnDelTrans");
    QTreeWidget *ListTransfer = test::control<QTreeWidget>(page, "ListTransfer");
    QSpinBox *SpinLimit = test::control<QSpinBox>(page, "SpinLimit");
    Page()
    {
        tables.clearHolidays(); // the lists start from the default holidays
        page.show();
    }

    void addHoliday(int day, int month)
    {
        ComboM->setCurrentIndex(month - 1);
        SpinD->setValue(day);
        QTest::mouseClick(BtnInsCel, Qt::LeftButton);
    }
    QStringList holidayLines() const { return lines(ListCel); }
    static QStringList lines(const QTreeWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(0) + QLatin1Char(' ') + list->topLevelItem(i)->text(1);
        return out;
    }
    void select(QTreeWidget *list, const QList<int> &rows)
    {
        list->clearSelection();
        for (int row : rows)
            list->topLevelItem(row)->setSelected(true);
    }
};

} // namespace

class TestHolidays : public QObject {
    Q_OBJECT
private slots:
    void orderedInsertion()
    {
        Page p;
        p.addHoliday(1, 1);
        p.addHoliday(1, 5);
        p.addHoliday(23, 2);
        p.addHoliday(8, 3);
        QCOMPARE(p.holidayLines(), (QStringList{"январь 1", "февраль 23", "март 8", "май 1"}));
        p.addHoliday(1, 5); // the same date again: allowed, the new line first
        QCOMPARE(p.tables.holidays().size(), 5);
        QCOMPARE(p.tables.GetCel().left(10), hex("0101 2302 0803 0105 0105"));
    }

    // Sixteen lines fill the table: "Добавить" goes off until one is deleted.
    void sixteenEntries()
    {
        Page p;
        for (int day = 1; day <= 16; ++day)
            p.addHoliday(day, 7);
        QCOMPARE(p.tables.holidays().size(), 16);
        QVERIFY(!p.BtnInsCel->isEnabled());
        QVERIFY(!p.BtnDelCel->isEnabled());

        p.select(p.ListCel, {3, 0, 15});
        QVERIFY(p.BtnDelCel->isEnabled());
        QTest::mouseClick(p.BtnDelCel, Qt::LeftButton);
        QCOMPARE(p.tables.holidays().size(), 13);
        QCOMPARE(p.holidayLines().first(), QStringLiteral("июль 2"));
        QVERIFY(p.BtnInsCel->isEnabled());
        QVERIFY(!p.BtnDelCel->isEnabled());

        QTest::mouseClick(p.BtnTemplet, Qt::LeftButton);
        QCOMPARE(p.holidayLines().size(), 12);
        QCOMPARE(p.tables.GetCel(), hex("0101 0201 0301 0401 0501 0701 2302 0803 0105 0905 1206 0411 0000000000000000"));
        QVERIFY(p.BtnInsCel->isEnabled());
    }

    void lastDayOfTheMonth_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("maximum");
        QTest::newRow("February") << 2 << 29;
        QTest::newRow("April") << 4 << 30;
        QTest::newRow("November") << 11 << 30;
        QTest::newRow("December") << 12 << 31;
    }
    void lastDayOfTheMonth()
    {
        QFETCH(int, month);
        QFETCH(int, maximum);
        Page p;
        p.ComboM->setCurrentIndex(0);
        p.SpinD->setValue(31);
        p.ComboM->setCurrentIndex(month - 1);
        QCOMPARE(p.SpinD->maximum(), maximum);
        QCOMPARE(p.SpinD->value(), maximum);
    }

    // Transfers: entered for today or later, in date order, encoded for the meter.
    void transfers()
    {
        Page p;
        p.page.setToday([] { return QDate(2027, 4, 20); });
        p.DTPTrans->setDate(QDate(2027, 4, 1));
        QCOMPARE(p.DTPTrans->date(), QDate(2027, 4, 20));
        p.DTPTrans->setDate(QDate(2027, 5, 1));
        p.ComboTrans->setCurrentIndex(5);
        QTest::mouseClick(p.BtnInsTrans, Qt::LeftButton);
        p.DTPTrans->setDate(QDate(2027, 4, 30));
        p.ComboTrans->setCurrentIndex(7);
        QTest::mouseClick(p.BtnInsTrans, Qt::LeftButton);
        QCOMPARE(p.tables.GetTrans().left(8), hex("30042708 01052706"));
        const QStringList lines = Page::lines(p.ListTransfer);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(1), text::shortDate(QDate(2027, 5, 1)) + QStringLiteral(" суббота"));

        // The table keeps the year in two digits: no date past 2099 gets in.
        p.DTPTrans->setDate(QDate(2100, 1, 5));
        QTest::mouseClick(p.BtnInsTrans, Qt::LeftButton);
        QCOMPARE(p.tables.transfers().size(), 3);
        QVERIFY(p.tables.transfers().last().date.year() <= 2099);
        QCOMPARE(schedule::decodeTransferTable(p.tables.GetTrans())->size(), 3);

        p.select(p.ListTransfer, {0, 2});
        QTest::mouseClick(p.BtnDelTrans, Qt::LeftButton);
        QCOMPARE(p.tables.transfers().size(), 1);
        QVERIFY(!p.BtnDelTrans->isEnabled());
    }

    // Tables from a meter or a file: bad entries skipped, a wrong length ignored.
    void tablesFromOutside()
    {
        Page p;
        p.tables.loadDefaultHolidays();
        p.tables.SetCel(hex("0000 3102").leftJustified(32, '\0'));
        QCOMPARE(p.holidayLines(), QStringList{"февраль 31"});
        p.tables.SetCel(QByteArray(31, '\x01'));
        QCOMPARE(p.holidayLines(), QStringList{"февраль 31"});
        p.tables.SetTrans(hex("31022701").leftJustified(64, '\0'));
        QCOMPARE(p.ListTransfer->topLevelItemCount(), 0);
    }

    void limitCoefficient()
    {
        Page p;
        QCOMPARE(p.SpinLimit->value(), 1);
        p.SpinLimit->setValue(40);
        QCOMPARE(p.tables.limitCoefficient(), 40);
        p.tables.setLimitCoefficient(0); // a 0 from a file shows as 1
        QCOMPARE(p.SpinLimit->value(), 1);
        p.tables.setLimitCoefficient(200);
        QCOMPARE(p.SpinLimit->value(), 200);
    }

    // The whole tab: both pages, one model and one set of tables; a new
    // schedule (empty records, default holidays, no transfers) shows on both.
    void tabFollowsANewSchedule()
    {
        schedule::ScheduleModel model;
        schedule::ScheduleTables tables;
        QWidget page;
        app::ScheduleTab tab(&page, model, tables);
        page.resize(780, 520);
        page.show();
        auto *pages = page.findChild<QTabWidget *>("PageTariff");
        auto *editorPage = page.findChild<QWidget *>("TabTariff");
        QCOMPARE(pages->currentWidget(), editorPage);
        QCOMPARE(pages->tabText(1), QStringLiteral("Праздники и коэффициент лимита"));
        QVERIFY(!page.findChild<QWidget *>("GaugeSched")->isVisible());

        tables.SetTrans(hex("01052706").leftJustified(64, '\0'));
        model.SetShedule({hex("00000000FFFF0F")});
        auto *zones = test::control<QTreeWidget>(page, "ListViewDays");
        QCOMPARE(zones->topLevelItemCount(), 1);
        pages->setCurrentWidget(page.findChild<QWidget *>("TabSheet6"));

        // What a new schedule does.
        model.SetShedule({});
        tables.loadDefaultHolidays();
        tables.clearTransfers();
        tab.showEditor();
        QCOMPARE(pages->currentWidget(), editorPage);
        QCOMPARE(zones->topLevelItemCount(), 0);
        QCOMPARE(test::control<QTreeWidget>(page, "ListCel")->topLevelItemCount(), 12);
        QCOMPARE(test::control<QTreeWidget>(page, "ListTransfer")->topLevelItemCount(), 0);
    }

    void everyControlIsNamed()
    {
        Page p;
        test::verifyEveryControlNamed(&p.page);
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings.path());
    QApplication app(argc, argv);
    TestHolidays test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_holidays.moc"
