// The schedule editor of the main window driven as a screen-reader user
// drives it: accessibility on, every event looked at as a bridge would,
// seeded random clicks on the grid (plain, Shift, Ctrl), zone edits, commits
// and reverts, the question "Сохранить изменения?" answered in its real modal
// box. After each step, and while the box is open, every grid cell is asked
// for its interface, name, description, state and place, and after each step
// the whole window's accessibility tree is read as a screen reader's full
// refresh reads it. A dangling interface or a stale child index shows here
// (under the sanitizers as a memory error), and so does one met when the
// window closes.

#include "schedtab/EditorControls.h"
#include "support/FormRig.h"
#include "app/schedule/TFrameShedule.h"
#include "app/schedule/YearGrid.h"
#include "schedule/ScheduleModel.h"
#include "schedule/Tables.h"
#include "schedule/ZoneRecord.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using namespace kelvar;

namespace {

int g_events = 0;

// What a bridge does with an event: find the interface and read it.
void readEvent(QAccessibleEvent *event)
{
    ++g_events;
    if (event->type() == QAccessible::ObjectDestroyed)
        return;
    QAccessibleInterface *iface = event->accessibleInterface();
    if (!iface || !iface->isValid())
        return;
    if (event->child() >= 0)
        if (QAccessibleInterface *child = iface->child(event->child()))
            iface = child;
    (void)iface->text(QAccessible::Name);
    (void)iface->state();
    (void)iface->rect();
}

// Every cell of the grid as a screen reader lists it; false at the first one that is wrong.
bool readEveryCell(const app::YearGrid *grid, QString *why)
{
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(const_cast<app::YearGrid *>(grid));
    if (!table || table->childCount() != 96) {
        *why = QStringLiteral("no table of 96 cells");
        return false;
    }
    const schedule::ScheduleModel &model = grid->model();
    for (int i = 0; i < 96; ++i) {
        const int month = i % 12 + 1;
        const int dayType = i / 12 + 1;
        QAccessibleInterface *cell = table->child(i);
        if (!cell || !cell->isValid() || cell->parent() != table || table->indexOfChild(cell) != i) {
            *why = QStringLiteral("cell %1 lost").arg(i);
            return false;
        }
        const QAccessible::State state = cell->state();
        if (cell->text(QAccessible::Name) != schedule::monthName(month) + QStringLiteral(", ") + schedule::dayTypeName(dayType)
            || cell->text(QAccessible::Description) != grid->cellDescription(month, dayType)
            || bool(state.selected) != model.SelectedCells().at(month, dayType)
            || bool(state.active) != (model.CurMonth() == month && model.CurDayType() == dayType)
            || !cell->rect().contains(grid->mapToGlobal(grid->cellRect(month, dayType).center()))) {
            *why = QStringLiteral("cell %1 says what is not").arg(i);
            return false;
        }
        if (table->childAt(cell->rect().center().x(), cell->rect().center().y()) != cell) {
            *why = QStringLiteral("cell %1 not found at its place").arg(i);
            return false;
        }
    }
    return true;
}

// Every node below iface read as a screen reader's full refresh reads it;
// false at the first child that does not know its own place.
bool readTree(QAccessibleInterface *iface, QString *why)
{
    if (!iface || !iface->isValid())
        return true;
    (void)iface->text(QAccessible::Name);
    (void)iface->text(QAccessible::Description);
    (void)iface->text(QAccessible::Value);
    (void)iface->state();
    (void)iface->rect();
    for (int i = 0, count = iface->childCount(); i < count; ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (child && iface->indexOfChild(child) != i) {
            *why = QStringLiteral("child %1 of %2 lost").arg(i).arg(iface->text(QAccessible::Name));
            return false;
        }
        if (!readTree(child, why))
            return false;
    }
    return true;
}

} // namespace

class TestEditorAccess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A test bridge: the platform's accessibility switched on, its events read here.
        QAccessible::installUpdateHandler(readEvent);
        QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        QVERIFY(platform);
        platform->setActive(true);
        QVERIFY(QAccessible::isActive());
    }

    void randomEditing_data()
    {
        QTest::addColumn<quint32>("seed");
        QList<quint32> seeds{1u, 7u, 28u, 517u};
        // KELVAR_EDITOR_SEEDS=N adds N seeds: a longer run under the sanitizers.
        for (int i = 0; i < qEnvironmentVariableIntValue("KELVAR_EDITOR_SEEDS"); ++i)
            seeds << quint32(1000 + i);
        for (quint32 seed : std::as_const(seeds))
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void randomEditing()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        test::FormRig rig;
        app::TFormMain &form = rig.open();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        rig.find<QTabWidget>("PageControlMain")->setCurrentWidget(rig.find<QWidget>("TabSched"));
        app::TFrameShedule &editor = test::part<app::TFrameShedule>(form);
        const test::EditorControls frame{editor};
        schedule::ScheduleModel &model = form.scheduleModel();
        // Every cell at tariff 1, September's holidays with a second zone.
        QVERIFY(model.SetShedule({schedule::encodeRecord({{0, 1, 0, 1}, 0xFF, 0x0FFF}),
                                  schedule::encodeRecord({{7 * 60, 2, 0, 2}, 0x80, 0x0100})}));

        // The question box: read every cell under it, then answer (mostly "Нет").
        int questions = 0;
        bool answerNo = false;
        QString underBox;
        QTimer answerer;
        answerer.setInterval(5);
        connect(&answerer, &QTimer::timeout, &editor, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            ++questions;
            QString why;
            if (underBox.isEmpty() && !readEveryCell(frame.StringGrid1, &why))
                underBox = why;
            box->button(answerNo || random.bounded(4) != 0 ? QMessageBox::No : QMessageBox::Yes)->click();
        });
        answerer.start();

        app::YearGrid *grid = frame.StringGrid1;
        // Every run starts as the reported death did: a zone edited, then a
        // Shift-click on September's holiday row answered "Нет".
        for (int step = 0; step < 150; ++step) {
            answerNo = step == 1;
            switch (step < 2 ? 6 + step : int(random.bounded(6))) {
            case 0:
            case 1:
            case 2: {
                const int month = random.bounded(1, 13);
                const int dayType = random.bounded(4) == 0 ? 8 : random.bounded(1, 9);
                const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier};
                QTest::mouseClick(grid, Qt::LeftButton, modifiers[random.bounded(3)],
                                  grid->cellRect(month, dayType).center());
                break;
            }
            case 3:
                frame.DateTimeZone->setTime(QTime(int(random.bounded(24)), int(random.bounded(4)) * 15));
                frame.SpinLimit->setValue(0);
                (random.bounded(2) ? frame.Tariff2 : frame.Tariff3)->click();
                frame.ActionEdit->trigger();
                break;
            case 4:
                frame.ActionDelete->trigger();
                break;
            case 5:
                (random.bounded(2) ? frame.BitBtnRedo : frame.BitBtnUndo)->click();
                break;
            case 6:
                frame.DateTimeZone->setTime(QTime(12, 0));
                frame.Tariff2->click();
                frame.ActionEdit->trigger();
                QVERIFY(model.hasUncommittedChanges());
                break;
            case 7:
                QTest::mouseClick(grid, Qt::LeftButton, Qt::ShiftModifier, grid->cellRect(9, 8).center());
                QCOMPARE(questions, 1);
                QVERIFY(!model.hasUncommittedChanges());
                break;
            }
            QString why;
            QVERIFY2(readTree(QAccessible::queryAccessibleInterface(&form), &why),
                     qPrintable(QStringLiteral("step %1: %2").arg(step).arg(why)));
            QVERIFY2(readEveryCell(grid, &why), qPrintable(QStringLiteral("step %1: %2").arg(step).arg(why)));
            QVERIFY2(underBox.isEmpty(), qPrintable(QStringLiteral("under the question: ") + underBox));
        }
        QVERIFY(questions > 0);
        QVERIFY(g_events > 0);
        rig.close();
        qInfo("150 actions, %d questions answered, every cell read after each", questions);
    }
};

KELVAR_WINDOW_TEST_MAIN(TestEditorAccess)
#include "tst_editoraccess.moc"
