// The schedule editor driven as the operator drives it: mouse on the year
// grid, keyboard and clicks on the zone inputs, with what it draws checked in
// grabbed images and what it reports to screen readers.

#include "TestUtil.h"
#include "schedtab/EditorControls.h"
#include "schedtab/NamedControls.h"
#include "app/schedule/GridGeometry.h"
#include "app/schedule/TFrameShedule.h"
#include "app/schedule/YearGrid.h"
#include "schedule/ScheduleModel.h"
#include "schedule/TariffColors.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace kelvar;
using schedule::CellFlags;
using schedule::Zone;
using schedule::ZoneRecord;

namespace {

const QColor Gray(0xA0, 0xA0, 0xA4);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Cream(0xFF, 0xFF, 0xE6);
const QColor SkyBlue(0xA6, 0xCA, 0xF0);
const QColor BarGray(0x80, 0x80, 0x80);

QByteArray image(int start, int tariff, int limit, int exceed, int days, int months)
{
    return schedule::encodeRecord({Zone{start, quint8(tariff), quint8(limit), quint8(exceed)}, quint8(days),
                                   quint16(months)});
}

// The whole year at tariff 1 from midnight, and (3, 2) with a second zone,
// 07:00 at tariff 2: (3, 2) differs from every other cell.
QList<QByteArray> yearWithOneRichCell()
{
    return {image(0, 1, 0, 1, 0xFF, 0x0FFF), image(7 * 60, 2, 0, 2, 0x02, 0x0004)};
}

// A left click on a radio button's circle.
void press(QWidget *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(7, button->height() / 2));
}

// The context-menu gesture as the platform delivers it.
void rightClick(QWidget *w)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &event);
}

struct Editor {
    schedule::ScheduleModel model;
    app::TFrameShedule frame{model};
    test::EditorControls ui{frame};
    QStringList questions;
    bool answer = false;

    Editor()
    {
        frame.setQuestionHandler([this](const QString &title, const QString &text) {
            questions << title + QLatin1Char('|') + text;
            return answer;
        });
        frame.resize(780, 500);
        frame.show();
    }
    void load(const QList<QByteArray> &records) { QVERIFY(model.SetShedule(records)); }
    void click(int month, int dayType, Qt::KeyboardModifiers modifiers = {})
    {
        app::YearGrid *grid = ui.StringGrid1;
        QTest::mouseClick(grid, Qt::LeftButton, modifiers, grid->cellRect(month, dayType).center());
    }
    QColor gridPixel(int month, int dayType, QPoint offsetFromTopLeft)
    {
        const QImage img = ui.StringGrid1->grab().toImage();
        return img.pixelColor(ui.StringGrid1->cellRect(month, dayType).topLeft() + offsetFromTopLeft);
    }
    QColor gridCentre(int month, int dayType)
    {
        const QImage img = ui.StringGrid1->grab().toImage();
        return img.pixelColor(ui.StringGrid1->cellRect(month, dayType).center());
    }
    QStringList lines() const
    {
        QStringList out;
        for (int i = 0; i < ui.ListViewDays->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = ui.ListViewDays->topLevelItem(i);
            out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join(QLatin1Char(' '));
        }
        return out;
    }
    QAccessibleInterface *cell(int month, int dayType)
    {
        QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(ui.StringGrid1);
        return grid ? grid->child((dayType - 1) * 12 + month - 1) : nullptr;
    }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void gridGeometry_data()
    {
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QPoint>("cell"); // (0, 0): no cell
        // 400 x 200: columns 30 wide, the header column 40; rows 22 high, the header row 24.
        const QSize p(400, 200);
        QTest::newRow("header column's last pixel") << p << QPoint(39, 30) << QPoint();
        QTest::newRow("header row's last pixel") << p << QPoint(50, 23) << QPoint();
        QTest::newRow("first cell's first pixel") << p << QPoint(40, 24) << QPoint(1, 1);
        QTest::newRow("first cell's last pixel") << p << QPoint(69, 45) << QPoint(1, 1);
        QTest::newRow("next cell across and down") << p << QPoint(70, 46) << QPoint(2, 2);
        QTest::newRow("bottom-right corner") << p << QPoint(399, 199) << QPoint(12, 8);
        QTest::newRow("right of the grid") << p << QPoint(400, 100) << QPoint();
        QTest::newRow("left of the grid") << p << QPoint(-5, 100) << QPoint();
        QTest::newRow("no remainder") << QSize(390, 180) << QPoint(30, 20) << QPoint(1, 1);
        QTest::newRow("too small to hold cells") << QSize(12, 8) << QPoint(5, 5) << QPoint();
    }
    void gridGeometry()
    {
        QFETCH(QSize, panel);
        QFETCH(QPoint, pos);
        QFETCH(QPoint, cell);
        const app::YearGridGeometry g{panel.width(), panel.height()};
        QCOMPARE(g.cellAt(pos).value_or(QPoint()), cell);
        if (!cell.isNull())
            QVERIFY(g.cellRect(cell.x(), cell.y()).contains(pos));
    }

    void cellsTileThePanel()
    {
        const app::YearGridGeometry g{577, 433};
        int covered = 0;
        for (int c = 0; c < 13; ++c)
            for (int r = 0; r < 9; ++r)
                covered += g.cellRect(c, r).width() * g.cellRect(c, r).height();
        QCOMPARE(covered, 577 * 433);
        QCOMPARE(g.cellRect(12, 8).bottomRight(), QPoint(576, 432));
        QCOMPARE(app::dayBarX(1439, 7 * 60), 420);
        QCOMPARE(app::dayBarX(300, 1439), 300);
    }

    // Shift from (3, 2) to (1, 5): 12 cells selected and given (3, 2)'s
    // programme at once; the ones that differed show red circles until the
    // change is committed.
    void shiftRectangleCopiesTheProgramme()
    {
        Editor e;
        e.load(yearWithOneRichCell());
        e.click(3, 2);
        QCOMPARE(e.lines(), (QStringList{"00:00 1 0 1", "07:00 2 0 2"}));
        QVERIFY(!e.ui.BitBtnRedo->isEnabled());

        e.click(1, 5, Qt::ShiftModifier);
        QCOMPARE(e.model.SelectedCells(), CellFlags::rectangle(1, 2, 3, 5));
        QCOMPARE(e.model.SelectedCells().count(), 12);
        QCOMPARE(e.model.CurMonth(), 3);
        QCOMPARE(e.model.CurDayType(), 2);
        QCOMPARE(e.model.ChangedCells().count(), 11);
        for (int m = 1; m <= 3; ++m)
            for (int d = 2; d <= 5; ++d)
                QCOMPARE(e.model.zonesOf(m, d), e.model.zonesOf(3, 2));
        QVERIFY(e.ui.BitBtnRedo->isEnabled());
        QVERIFY(e.ui.BitBtnUndo->isEnabled());
        QCOMPARE(e.gridCentre(1, 5), QColor(Qt::red));
        QCOMPARE(e.gridCentre(3, 2), QColor(Qt::black));
        QCOMPARE(e.gridPixel(1, 5, {3, 3}), SkyBlue);
        QCOMPARE(e.gridPixel(3, 2, {3, 3}), Yellow);
        QCOMPARE(e.gridPixel(4, 2, {3, 3}), Cream);

        // Screen readers hear the same.
        QAccessibleInterface *changed = e.cell(1, 5);
        QVERIFY(changed);
        QCOMPARE(changed->role(), QAccessible::Cell);
        QCOMPARE(changed->text(QAccessible::Name), QStringLiteral("январь, пятница"));
        QVERIFY(changed->state().selected);
        QVERIFY(changed->text(QAccessible::Description).contains(QStringLiteral("изменена")));
        QVERIFY(!e.cell(4, 2)->state().selected);
        QVERIFY(e.cell(3, 2)->text(QAccessible::Description).startsWith(QStringLiteral("текущая, выбрана")));
        QCOMPARE(QAccessible::queryAccessibleInterface(e.ui.StringGrid1)->childCount(), 96);

        e.ui.BitBtnRedo->click();
        QVERIFY(!e.ui.BitBtnRedo->isEnabled());
        QCOMPARE(e.gridCentre(1, 5), QColor(Qt::black));
        QCOMPARE(e.model.SavedList(), e.model.WorkList());
        QCOMPARE(e.ui.StatusPanel0->text(), QString::number(e.model.recordCount()));
        QVERIFY(e.questions.isEmpty());
    }

    // Shift or Ctrl on the current cell leaves it alone selected; Ctrl elsewhere toggles.
    void ctrlClicks()
    {
        Editor e;
        e.load({image(0, 1, 0, 1, 0xFF, 0x0FFF)}); // every cell alike: selecting copies nothing
        e.click(2, 2);
        e.click(4, 4, Qt::ControlModifier);
        e.click(5, 5, Qt::ControlModifier);
        QCOMPARE(e.model.SelectedCells(), CellFlags::single(2, 2) | CellFlags::single(4, 4) | CellFlags::single(5, 5));
        e.click(4, 4, Qt::ControlModifier);
        QCOMPARE(e.model.SelectedCells(), CellFlags::single(2, 2) | CellFlags::single(5, 5));
        e.click(2, 2, Qt::ControlModifier);
        QCOMPARE(e.model.SelectedCells(), CellFlags::single(2, 2));
        e.click(6, 8, Qt::ShiftModifier);
        QCOMPARE(e.model.SelectedCells().count(), 35);
        e.click(2, 2, Qt::ShiftModifier);
        QCOMPARE(e.model.SelectedCells(), CellFlags::single(2, 2));
        QCOMPARE(e.model.CurMonth(), 2);
        QVERIFY(e.questions.isEmpty());
    }

    // A plain click with changes pending asks; No restores the committed
    // schedule and shows the newly clicked cell as current; Yes keeps them.
    void pendingChangesQuestion_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("No restores") << false;
        QTest::newRow("Yes commits") << true;
    }
    void pendingChangesQuestion()
    {
        QFETCH(bool, answer);
        Editor e;
        e.load(yearWithOneRichCell());
        const QList<ZoneRecord> committed = e.model.SavedList();
        e.click(3, 2);
        e.click(1, 5, Qt::ShiftModifier);
        e.answer = answer;
        e.click(7, 7);
        QCOMPARE(e.questions, QStringList{QStringLiteral("Внимание|Сохранить изменения?")});
        QCOMPARE(e.model.CurMonth(), 7);
        QCOMPARE(e.model.CurDayType(), 7);
        QCOMPARE(e.model.SelectedCells(), CellFlags::single(7, 7));
        QVERIFY(!e.ui.BitBtnRedo->isEnabled());
        QCOMPARE(e.lines(), QStringList{"00:00 1 0 1"});
        QCOMPARE(e.model.zonesOf(1, 5).size(), answer ? 2 : 1);
        if (!answer)
            QCOMPARE(e.model.WorkList(), committed);
        QCOMPARE(e.gridPixel(7, 7, {3, 3}), Yellow);
    }

    void tariffAndLimitRules()
    {
        Editor e;
        e.ui.SpinLimit->setValue(0);
        press(e.ui.Tariff3);
        QVERIFY(e.ui.TariffLimit3->isChecked());
        QVERIFY(e.ui.ActionEdit->isEnabled());

        e.ui.SpinLimit->setValue(5);
        QVERIFY(!e.ui.ActionEdit->isEnabled()); // a limit with the same exceed tariff
        press(e.ui.Tariff2);
        QVERIFY(e.ui.TariffLimit3->isChecked()); // with a limit the exceed tariff stays
        QVERIFY(e.ui.ActionEdit->isEnabled());
        press(e.ui.TariffLimit2);
        QVERIFY(!e.ui.ActionEdit->isEnabled());
        press(e.ui.TariffLimit1);
        QVERIFY(e.ui.ActionEdit->isEnabled());
    }

    // A time for which a line exists shows that line; same values leave
    // "Добавить" off, a changed limit turns it on when valid.
    void existingLineAndItsValues()
    {
        Editor e;
        e.load({image(0, 1, 0, 1, 0x01, 0x0001), image(8 * 60, 2, 10, 3, 0x01, 0x0001)});
        e.click(1, 1);
        e.ui.DateTimeZone->setTime(QTime(12, 0));
        QVERIFY(e.ui.ListViewDays->selectedItems().isEmpty());
        QVERIFY(!e.ui.ActionDelete->isEnabled());
        e.ui.TrackBar1->setValue(8 * 60);
        QCOMPARE(e.ui.ListViewDays->selectedItems().size(), 1);
        QCOMPARE(e.ui.ListViewDays->selectedItems().first()->text(0), QStringLiteral("08:00"));
        QCOMPARE(e.ui.SpinLimit->value(), 10);
        QVERIFY(e.ui.Tariff2->isChecked());
        QVERIFY(e.ui.TariffLimit3->isChecked());
        QVERIFY(!e.ui.ActionEdit->isEnabled());
        QVERIFY(e.ui.ActionDelete->isEnabled());
        e.ui.SpinLimit->setValue(12);
        QVERIFY(e.ui.ActionEdit->isEnabled());
        e.ui.SpinLimit->setValue(10);
        QVERIFY(!e.ui.ActionEdit->isEnabled());
    }

    void sliderAndPicker_data()
    {
        QTest::addColumn<int>("slider");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<bool>("fromSlider");
        QTest::newRow("slider at the last minute") << 1439 << QTime(23, 59) << true;
        QTest::newRow("slider at the start") << 0 << QTime(0, 0) << true;
        QTest::newRow("picker at noon") << 720 << QTime(12, 0) << false;
        QTest::newRow("picker at 07:05") << 425 << QTime(7, 5) << false;
    }
    void sliderAndPicker()
    {
        QFETCH(int, slider);
        QFETCH(QTime, time);
        QFETCH(bool, fromSlider);
        Editor e;
        e.ui.TrackBar1->setValue(fromSlider ? 1 : 2); // start away from the value under test
        if (fromSlider)
            e.ui.TrackBar1->setValue(slider);
        else
            e.ui.DateTimeZone->setTime(time);
        QCOMPARE(e.ui.TrackBar1->value(), slider);
        QCOMPARE(e.ui.DateTimeZone->time(), time);
    }

    // A cell whose only zone starts at 07:00: the diagonal in the grid, a bar gray up to 07:00.
    void noMidnightZoneDrawn()
    {
        Editor e;
        e.load({image(7 * 60, 2, 0, 2, 0x04, 0x0002)}); // February, Wednesday
        QCOMPARE(e.gridPixel(2, 3, {3, 3}), Gray);       // upper-left triangle
        const QRect r = e.ui.StringGrid1->cellRect(2, 3);
        QCOMPARE(e.gridPixel(2, 3, {r.width() - 4, r.height() - 4}), Cream);
        QCOMPARE(e.gridPixel(2, 4, {r.width() - 4, r.height() - 4}), Gray); // an empty cell: no diagonal

        e.click(2, 3);
        QCOMPARE(e.gridPixel(2, 3, {3, 3}), Gray);
        QCOMPARE(e.gridPixel(2, 3, {r.width() - 4, r.height() - 4}), Yellow);
        QWidget *bar = e.ui.PaintBoxDay;
        const QImage img = bar->grab().toImage();
        const int x = app::dayBarX(bar->width(), 7 * 60);
        QCOMPARE(img.pixelColor(x - 2, bar->height() * 3 / 4), BarGray);
        QCOMPARE(img.pixelColor(x - 2, bar->height() / 4), BarGray);
        QCOMPARE(img.pixelColor(x + 2, bar->height() * 3 / 4), SkyBlue);
        QCOMPARE(img.pixelColor(bar->width() - 1, bar->height() / 4), SkyBlue);
    }

    // Ins adds a zone and Del removes it, with the list, the bar, the record
    // count and the commit buttons following.
    void keyboardEdits()
    {
        Editor e;
        e.click(1, 1);
        QVERIFY(QTest::qWaitForWindowActive(&e.frame) || true);
        e.ui.DateTimeZone->setTime(QTime(6, 30));
        press(e.ui.Tariff2);
        e.ui.ListViewDays->setFocus();
        QTest::keyClick(e.ui.ListViewDays, Qt::Key_Insert);
        QCOMPARE(e.lines(), QStringList{"06:30 2 0 2"});
        QCOMPARE(e.ui.StatusPanel0->text(), QStringLiteral("1"));
        QVERIFY(e.ui.BitBtnUndo->isEnabled());
        QVERIFY(!e.ui.ActionEdit->isEnabled());
        QVERIFY(e.ui.ActionDelete->isEnabled());

        // A second zone at midnight with a limit.
        e.ui.TrackBar1->setValue(0);
        press(e.ui.Tariff1);
        e.ui.SpinLimit->setValue(20);
        press(e.ui.TariffLimit3);
        QTest::keyClick(e.ui.ListViewDays, Qt::Key_Insert);
        QCOMPARE(e.lines(), (QStringList{"00:00 1 20 3", "06:30 2 0 2"}));
        QCOMPARE(e.model.zonesOf(1, 1).first(), (Zone{0, 1, 20, 3}));

        e.ui.TrackBar1->setValue(6 * 60 + 30);
        QTest::keyClick(e.ui.ListViewDays, Qt::Key_Delete);
        QCOMPARE(e.lines(), QStringList{"00:00 1 20 3"});
        QCOMPARE(e.model.zonesOf(1, 1).size(), 1);
        QVERIFY(!e.ui.ActionDelete->isEnabled());
        QCOMPARE(e.ui.DateTimeZone->time(), QTime(6, 30));

        e.ui.BitBtnUndo->click();
        QVERIFY(e.lines().isEmpty());
        QCOMPARE(e.ui.StatusPanel0->text(), QStringLiteral("0"));
    }

    // A schedule loaded or read as a whole shows at once.
    void replacedScheduleShows()
    {
        Editor e;
        e.click(3, 2);
        e.load(yearWithOneRichCell());
        QCOMPARE(e.lines(), (QStringList{"00:00 1 0 1", "07:00 2 0 2"}));
        QCOMPARE(e.ui.StatusPanel0->text(), QStringLiteral("2"));
        QCOMPARE(e.gridCentre(3, 2), QColor(Qt::black));
        e.model.SetShedule({});
        QVERIFY(e.lines().isEmpty());
        QCOMPARE(e.gridPixel(3, 2, {3, 3}), Yellow);
        QCOMPARE(e.gridPixel(4, 2, {3, 3}), Gray);
    }

    // A right click on a tariff button offers a colour; the chosen one paints
    // both buttons of that number and the bar, and is stored for the next start.
    void tariffColours()
    {
        QList<QColor> offered;
        std::optional<QColor> pick = QColor(10, 200, 30);
        {
            Editor e;
            e.frame.setColorChooser([&](const QColor &initial) {
                offered << initial;
                return pick;
            });
            e.load({image(0, 2, 0, 2, 0x01, 0x0001)});
            e.click(1, 1);
            rightClick(e.ui.TariffLimit2);
            QCOMPARE(offered, QList<QColor>{SkyBlue});
            QCOMPARE(e.ui.Tariff2->palette().color(QPalette::Window), QColor(10, 200, 30));
            QCOMPARE(e.ui.PaintBoxDay->grab().toImage().pixelColor(5, 5), QColor(10, 200, 30));
            pick.reset(); // cancelled: nothing changes
            rightClick(e.ui.Tariff2);
            QCOMPARE(e.ui.TariffLimit2->palette().color(QPalette::Window), QColor(10, 200, 30));
        }
        const auto store = schedule::openTariffColorStore();
        QCOMPARE(schedule::readZoneColors(*store)[1], schedule::colorRef(10, 200, 30));
        Editor next;
        QCOMPARE(next.ui.TariffLimit2->palette().color(QPalette::Window), QColor(10, 200, 30));
        QCOMPARE(next.ui.Tariff1->palette().color(QPalette::Window), QColor(0xFF, 0xFB, 0xF0));
        store->clear();
    }

    void everyControlIsNamed()
    {
        Editor e;
        test::verifyEveryControlNamed(&e.frame);
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings.path());
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editor.moc"
