#include "HolidaysPage.h"

#include "app/Controls.h"
#include "common/TextFormat.h"
#include "schedule/ScheduleTables.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvar::app {

using schedule::ScheduleTables;

namespace {

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QTreeWidget *reportList(const char *name, const QStringList &columns, const QString &accessible, QWidget *parent)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setAccessibleName(accessible);
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionResizeMode(QHeaderView::Stretch);
    list->header()->setSectionsClickable(false);
    return list;
}

QStringList names(QString (*name)(int), int count)
{
    QStringList out;
    for (int n = 1; n <= count; ++n)
        out << name(n);
    return out;
}

QList<int> selectedRows(const QTreeWidget *list)
{
    QList<int> rows;
    for (QTreeWidgetItem *item : list->selectedItems())
        rows << list->indexOfTopLevelItem(item);
    return rows;
}

QLabel *buddyLabel(const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(caption).remove(QLatin1Char(':')).trimmed());
    return label;
}

} // namespace

HolidaysPage::HolidaysPage(ScheduleTables &tables, QWidget *parent)
    : QWidget(parent), m_tables(tables), m_today([] { return QDate::currentDate(); })
{
    setObjectName(QStringLiteral("HolidaysPage"));

    // Holidays.
    GroupBox6 = new QGroupBox(QStringLiteral(" Праздники "), this);
    GroupBox6->setObjectName(QStringLiteral("GroupBox6"));
    ComboM = dropDown("ComboM", names(schedule::monthName, 12), GroupBox6);
    SpinD = new QSpinBox(GroupBox6);
    SpinD->setObjectName(QStringLiteral("SpinD"));
    SpinD->setRange(1, 31);
    BtnInsCel = button("BtnInsCel", QStringLiteral("Добавить"), GroupBox6);
    BtnDelCel = button("BtnDelCel", QStringLiteral("Удалить"), GroupBox6);
    BtnDelCel->setEnabled(false);
    BtnTemplet = button("BtnTemplet", QStringLiteral("Праздники по умолчанию"), GroupBox6);
    BtnInsCel->setAccessibleName(QStringLiteral("Добавить праздник"));
    BtnDelCel->setAccessibleName(QStringLiteral("Удалить праздники"));
    ListCel = reportList("ListCel", {QStringLiteral("Месяц"), QStringLiteral("День")}, QStringLiteral("Праздники"),
                         GroupBox6);
    auto *holidayInputs = new QHBoxLayout;
    holidayInputs->addWidget(buddyLabel(QStringLiteral("месяц:"), ComboM, GroupBox6));
    holidayInputs->addWidget(ComboM, 1);
    holidayInputs->addWidget(buddyLabel(QStringLiteral("день:"), SpinD, GroupBox6));
    holidayInputs->addWidget(SpinD);
    auto *holidayButtons = new QHBoxLayout;
    holidayButtons->addWidget(BtnInsCel);
    holidayButtons->addWidget(BtnDelCel);
    holidayButtons->addWidget(BtnTemplet);
    auto *holidays = new QVBoxLayout(GroupBox6);
    holidays->addLayout(holidayInputs);
    holidays->addLayout(holidayButtons);
    holidays->addWidget(ListCel, 1);

    // Transfers.
    GroupBox7 = new QGroupBox(QStringLiteral(" Переносы "), this);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    DTPTrans = new QDateEdit(GroupBox7);
    DTPTrans->setObjectName(QStringLiteral("DTPTrans"));
    DTPTrans->setAccessibleName(QStringLiteral("Дата переноса"));
    DTPTrans->setCalendarPopup(true);
    DTPTrans->setDisplayFormat(text::shortDateFormat());
    DTPTrans->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
    DTPTrans->setDate(m_today());
    ComboTrans = dropDown("ComboTrans", names(schedule::dayTypeName, 8), GroupBox7);
    BtnInsTrans = button("BtnInsTrans", QStringLiteral("Добавить"), GroupBox7);
    BtnDelTrans = button("BtnDelTrans", QStringLiteral("Удалить"), GroupBox7);
    BtnDelTrans->setEnabled(false);
    BtnInsTrans->setAccessibleName(QStringLiteral("Добавить перенос"));
    BtnDelTrans->setAccessibleName(QStringLiteral("Удалить переносы"));
    ListTransfer = reportList("ListTransfer", {QStringLiteral("День"), QStringLiteral("По графику")},
                              QStringLiteral("Переносы"), GroupBox7);
    auto *transferInputs = new QHBoxLayout;
    transferInputs->addWidget(DTPTrans, 1);
    transferInputs->addWidget(buddyLabel(QStringLiteral("по графику:"), ComboTrans, GroupBox7));
    transferInputs->addWidget(ComboTrans, 1);
    auto *transferButtons = new QHBoxLayout;
    transferButtons->addWidget(BtnInsTrans);
    transferButtons->addWidget(BtnDelTrans);
    transferButtons->addStretch(1);
    auto *transfers = new QVBoxLayout(GroupBox7);
    transfers->addLayout(transferInputs);
    transfers->addLayout(transferButtons);
    transfers->addWidget(ListTransfer, 1);

    // The limit coefficient.
    GroupBox12 = new QGroupBox(QStringLiteral(" Коэффициент лимита тарифного расписания "), this);
    GroupBox12->setObjectName(QStringLiteral("GroupBox12"));
    auto *explanation = new QLabel(QStringLiteral("Лимит мощности определяется как значение поля лимита тарифного "
                                                  "расписания, умноженное на тысячу и деленное на коэффициент (Вт)"),
                                   GroupBox12);
    explanation->setWordWrap(true);
    SpinLimit = new QSpinBox(GroupBox12);
    SpinLimit->setObjectName(QStringLiteral("SpinLimit"));
    SpinLimit->setRange(1, 255);
    SpinLimit->setValue(m_tables.limitCoefficient());
    SpinLimit->setAccessibleName(QStringLiteral("Коэффициент лимита тарифного расписания"));
    explanation->setBuddy(SpinLimit);
    auto *coefficient = new QHBoxLayout(GroupBox12);
    coefficient->addWidget(explanation, 1);
    coefficient->addWidget(SpinLimit);

    auto *lists = new QHBoxLayout;
    lists->addWidget(GroupBox6, 1);
    lists->addWidget(GroupBox7, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(GroupBox12);

    connect(ComboM, &QComboBox::currentIndexChanged, this, &HolidaysPage::ComboMChange);
    connect(BtnInsCel, &QPushButton::clicked, this, &HolidaysPage::BtnInsCelClick);
    connect(BtnDelCel, &QPushButton::clicked, this, &HolidaysPage::BtnDelCelClick);
    connect(BtnTemplet, &QPushButton::clicked, this, &HolidaysPage::BtnTempletClick);
    connect(ListCel, &QTreeWidget::itemSelectionChanged, this,
            [this] { BtnDelCel->setEnabled(!ListCel->selectedItems().isEmpty()); });
    connect(DTPTrans, &QDateEdit::dateChanged, this, &HolidaysPage::DTPTransChange);
    connect(BtnInsTrans, &QPushButton::clicked, this, &HolidaysPage::BtnInsTransClick);
    connect(BtnDelTrans, &QPushButton::clicked, this, &HolidaysPage::BtnDelTransClick);
    connect(ListTransfer, &QTreeWidget::itemSelectionChanged, this,
            [this] { BtnDelTrans->setEnabled(!ListTransfer->selectedItems().isEmpty()); });
    connect(SpinLimit, &QSpinBox::valueChanged, &m_tables, &ScheduleTables::setLimitCoefficient);
    connect(&m_tables, &ScheduleTables::limitCoefficientChanged, SpinLimit, &QSpinBox::setValue);
    connect(&m_tables, &ScheduleTables::holidaysChanged, this, &HolidaysPage::listHolidays);
    connect(&m_tables, &ScheduleTables::transfersChanged, this, &HolidaysPage::listTransfers);
    listHolidays();
    listTransfers();
}

void HolidaysPage::listHolidays()
{
    ListCel->clear();
    for (const schedule::Holiday &h : m_tables.holidays())
        new QTreeWidgetItem(ListCel, {schedule::monthName(h.month), QString::number(h.day)});
    BtnInsCel->setEnabled(schedule::canAddEntry(ListCel->topLevelItemCount()));
    BtnDelCel->setEnabled(false);
}

void HolidaysPage::listTransfers()
{
    ListTransfer->clear();
    for (const schedule::Transfer &t : m_tables.transfers())
        new QTreeWidgetItem(ListTransfer, {text::shortDate(t.date), schedule::dayTypeName(t.dayType)});
    BtnInsTrans->setEnabled(schedule::canAddEntry(ListTransfer->topLevelItemCount()));
    BtnDelTrans->setEnabled(false);
}

void HolidaysPage::ComboMChange()
{
    SpinD->setMaximum(schedule::lastHolidayDay(ComboM->currentIndex() + 1));
}

void HolidaysPage::BtnInsCelClick()
{
    m_tables.insertHoliday({SpinD->value(), ComboM->currentIndex() + 1});
}

void HolidaysPage::BtnDelCelClick()
{
    m_tables.removeHolidays(selectedRows(ListCel));
}

void HolidaysPage::BtnTempletClick()
{
    m_tables.loadDefaultHolidays();
}

void HolidaysPage::DTPTransChange()
{
    const QDate today = m_today();
    if (DTPTrans->date() < today)
        DTPTrans->setDate(today);
}

void HolidaysPage::BtnInsTransClick()
{
    m_tables.insertTransfer({DTPTrans->date(), ComboTrans->currentIndex() + 1});
}

void HolidaysPage::BtnDelTransClick()
{
    m_tables.removeTransfers(selectedRows(ListTransfer));
}

} // namespace kelvar::app
