#include "ScheduleTab.h"

#include "app/schedule/HolidaysPage.h"
#include "app/schedule/TFrameShedule.h"

#include <QProgressBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kelvar::app {

namespace {

QWidget *pageWith(QWidget *content, QTabWidget *tabs, const char *name, const QString &caption)
{
    auto *page = new QWidget(tabs);
    page->setObjectName(QLatin1String(name));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    content->setParent(page);
    layout->addWidget(content);
    tabs->addTab(page, caption);
    return page;
}

} // namespace

ScheduleTab::ScheduleTab(QWidget *page, schedule::ScheduleModel &model, schedule::ScheduleTables &tables)
    : QObject(page)
{
    GaugeSched = new QProgressBar(page);
    GaugeSched->setObjectName(QStringLiteral("GaugeSched"));
    GaugeSched->setAccessibleName(QStringLiteral("Чтение тарифного расписания"));
    GaugeSched->setTextVisible(false);
    GaugeSched->setFixedHeight(6);
    GaugeSched->setVisible(false);

    PageTariff = new QTabWidget(page);
    PageTariff->setObjectName(QStringLiteral("PageTariff"));
    m_frame = new TFrameShedule(model);
    m_holidays = new HolidaysPage(tables);
    TabTariff = pageWith(m_frame, PageTariff, "TabTariff", QStringLiteral("Расписание"));
    TabSheet6 = pageWith(m_holidays, PageTariff, "TabSheet6", QStringLiteral("Праздники и коэффициент лимита"));
    PageTariff->setCurrentWidget(TabTariff);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(GaugeSched);
    layout->addWidget(PageTariff, 1);
}

void ScheduleTab::showEditor()
{
    PageTariff->setCurrentWidget(TabTariff);
}

void ScheduleTab::showReadProgress(int done, int total)
{
    GaugeSched->setMaximum(total);
    GaugeSched->setValue(done);
}

void ScheduleTab::setReadProgressVisible(bool visible)
{
    GaugeSched->setVisible(visible);
}

} // namespace kelvar::app
