#pragma once
// The schedule tab ("Тарифное расписание"): a thin progress bar over two
// pages, the editor "Расписание" and "Праздники и коэффициент лимита". It
// receives only the schedule model and the schedule tables it shows.

#include <QObject>

class QProgressBar;
class QTabWidget;
class QWidget;

namespace kelvar::schedule {
class ScheduleModel;
class ScheduleTables;
}

namespace kelvar::app {

class HolidaysPage;
class TFrameShedule;

class ScheduleTab : public QObject
{
    Q_OBJECT
public:
    ScheduleTab(QWidget *page, schedule::ScheduleModel &model, schedule::ScheduleTables &tables);

    // Brings the editor page forward (a new, loaded or read schedule is shown there).
    void showEditor();
    // A schedule read's progress on the gauge over the pages (hidden otherwise).
    void showReadProgress(int done, int total);
    void setReadProgressVisible(bool visible);

private:
    QProgressBar *GaugeSched;
    QTabWidget *PageTariff;
    QWidget *TabTariff;
    QWidget *TabSheet6;
    TFrameShedule *m_frame;
    HolidaysPage *m_holidays;
};

} // namespace kelvar::app
