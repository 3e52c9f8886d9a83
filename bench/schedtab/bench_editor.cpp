// Times what the operator does in the schedule editor on a schedule of 254
// records (the most the meter takes), from the mouse or key event to the
// repainted grid and day bar: a plain click on a cell, a Shift rectangle over
// the whole year (the programme copied to all 96 cells), "Добавить" with the
// whole year selected, and "Отменить". Prints figures; the goal is < 20 ms.

#include "../schedule/Schedules.h"
#include "app/TFormMain.h"
#include "app/schedule/TFrameShedule.h"
#include "app/schedule/YearGrid.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace kelvar;
using namespace kelvar::schedule;

namespace {

constexpr int Repeats = 30;

struct Rig {
    ScheduleModel model;
    app::TFrameShedule frame{model};
    app::YearGrid *grid = frame.findChild<app::YearGrid *>(QStringLiteral("StringGrid1"));
    Rig()
    {
        frame.setQuestionHandler([](const QString &, const QString &) { return false; });
        frame.resize(780, 500);
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame))
            std::fprintf(stderr, "the editor was not shown\n");
    }
    void click(int month, int dayType, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(grid, Qt::LeftButton, modifiers, grid->cellRect(month, dayType).center());
    }
    // Paints what the action left to paint, as the event loop would.
    void repaint()
    {
        grid->repaint();
        frame.findChild<QWidget *>(QStringLiteral("PaintBoxDay"))->repaint();
    }
};

void measure(const char *what, Rig &rig, const std::function<void()> &prepare, const std::function<void()> &action)
{
    QList<double> ms;
    int records = 0;
    for (int n = 0; n < Repeats; ++n) {
        prepare();
        rig.repaint();
        QElapsedTimer timer;
        timer.start();
        action();
        rig.repaint();
        ms.append(timer.nsecsElapsed() / 1e6);
        records = rig.model.recordCount();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-52s -> %4d records   min %7.3f ms   median %7.3f ms   max %7.3f ms\n", what, records, ms.first(),
                ms.at(ms.size() / 2), ms.last());
}

// Two tariffs on weekdays (1 at night, 2 by day with a limit above which
// tariff 3 applies), tariff 1 all day at weekends and on holidays.
QList<QByteArray> realisticSchedule()
{
    const auto record = [](int start, int tariff, int limit, int exceed, int days) {
        return encodeRecord({Zone{start, quint8(tariff), quint8(limit), quint8(exceed)}, quint8(days), AllMonths});
    };
    return {record(0, 1, 0, 1, 0xFF), record(7 * 60, 2, 15, 3, 0x1F), record(23 * 60, 1, 0, 1, 0x1F)};
}

// The main window on the schedule tab with a realistic schedule, saved as
// pictures of both pages.
int screenshot(const QString &path)
{
    QTemporaryDir config; // the window's own settings stay out of the user's
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    app::StartOptions options;
    options.ports = QStringList{};
    app::TFormMain form(options);
    form.scheduleModel().SetShedule(realisticSchedule());
    form.scheduleTables().setTransfers({{QDate(2027, 1, 9), 5}});
    form.findChild<QTabWidget *>(QStringLiteral("PageControlMain"))
        ->setCurrentWidget(form.findChild<QWidget *>(QStringLiteral("TabSched")));
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    auto *grid = form.findChild<app::YearGrid *>(QStringLiteral("StringGrid1"));
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(3, 2).center());
    form.findChild<QSlider *>(QStringLiteral("TrackBar1"))->setValue(7 * 60);
    const bool saved = form.grab().save(path);
    form.findChild<QTabWidget *>(QStringLiteral("PageTariff"))
        ->setCurrentWidget(form.findChild<QWidget *>(QStringLiteral("TabSheet6")));
    const bool saved2 = form.grab().save(QString(path).replace(QLatin1String(".png"), QLatin1String("-holidays.png")));
    return saved && saved2 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings; // the tariff colours are read from a store of our own
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settings.path());
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--screenshot")
        return screenshot(QString::fromLocal8Bit(argv[2]));
    const QList<QByteArray> schedule = kelvar::bench::distinctRecords();
    Rig rig;
    const auto fresh = [&] {
        rig.model.SetShedule(schedule);
        rig.click(1, 1);
    };

    std::printf("Schedule editor, %d records, %d runs each, repaint included\n", int(schedule.size()), Repeats);
    measure("plain click on another cell", rig, fresh, [&] { rig.click(7, 5); });
    measure("Shift rectangle over the whole year", rig, fresh, [&] { rig.click(12, 8, Qt::ShiftModifier); });
    measure("\"Добавить\" with the whole year selected", rig,
            [&] {
                fresh();
                rig.click(12, 8, Qt::ShiftModifier);
                rig.frame.findChild<QTimeEdit *>(QStringLiteral("DateTimeZone"))->setTime(QTime(13, 1));
            },
            [&] { rig.frame.findChild<QAction *>(QStringLiteral("ActionEdit"))->trigger(); });
    measure("\"Отменить\" after the whole-year copy", rig,
            [&] {
                fresh();
                rig.click(12, 8, Qt::ShiftModifier);
            },
            [&] { rig.frame.findChild<QToolButton *>(QStringLiteral("BitBtnUndo"))->click(); });
    return 0;
}
