#include "TFrameShedule.h"

#include "app/schedule/YearGrid.h"
#include "schedule/ScheduleModel.h"

#include <QAction>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvar::app {

using schedule::MinutesPerDay;
using schedule::ScheduleModel;
using schedule::Zone;

namespace {

constexpr int ColumnTime = 0;
constexpr int ColumnTariff = 1;
constexpr int ColumnLimit = 2;
constexpr int ColumnExceed = 3;
constexpr int ZoneRole = Qt::UserRole;

QToolButton *iconButton(const char *name, QStyle::StandardPixmap icon, const QString &hint, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    return button;
}

int minuteOf(const QTime &time)
{
    return time.hour() * 60 + time.minute();
}

} // namespace

TFrameShedule::TFrameShedule(ScheduleModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_question([this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    })
{
    setObjectName(QStringLiteral("FrameShedule"));
    setMinimumSize(572, 433);
    for (int n = 1; n <= 3; ++n)
        m_colors[n - 1] = defaultTariffColor(n);
    // Stored colours replace the start colours as soon as any is stored.
    {
        const auto store = schedule::openTariffColorStore();
        const schedule::ZoneColors stored = schedule::readZoneColors(*store);
        if (std::any_of(stored.cbegin(), stored.cend(), [](quint32 c) { return c != 0; }))
            for (int n = 1; n <= 3; ++n)
                m_colors[n - 1] = QColor(schedule::colorRefRed(stored[n - 1]), schedule::colorRefGreen(stored[n - 1]),
                                         schedule::colorRefBlue(stored[n - 1]));
    }
    m_chooseColor = [this](const QColor &initial) -> std::optional<QColor> {
        ColorDialogTarif->setCurrentColor(initial);
        if (ColorDialogTarif->exec() != QDialog::Accepted)
            return std::nullopt;
        return ColorDialogTarif->selectedColor();
    };
    buildControls();
    connectControls();
    applyTariffColors();
    GetSheduleDay();
    DayChange();
    showRecordCount();
}

QColor TFrameShedule::defaultTariffColor(int tariff)
{
    switch (tariff) {
    case 1:
        return QColor(0xFF, 0xFB, 0xF0);
    case 2:
        return QColor(0xA6, 0xCA, 0xF0);
    case 3:
        return QColor(0xFF, 0x8C, 0x1A);
    default:
        return QColor(0x80, 0x80, 0x80);
    }
}

QColor TFrameShedule::tariffColor(int tariff) const
{
    return PaintBoxDay->tariffColor(tariff);
}

void TFrameShedule::buildControls()
{
    StringGrid1 = new YearGrid(m_model, this);

    Label_0_00 = new QLabel(QStringLiteral("0:00"), this);
    Label_0_00->setObjectName(QStringLiteral("Label_0_00"));
    Label_12_00 = new QLabel(QStringLiteral("12:00"), this);
    Label_12_00->setObjectName(QStringLiteral("Label_12_00"));
    Label_12_00->setAlignment(Qt::AlignCenter);
    Label_23_59 = new QLabel(QStringLiteral("23:59"), this);
    Label_23_59->setObjectName(QStringLiteral("Label_23_59"));
    Label_23_59->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setAccessibleName(QStringLiteral("Время суток"));
    TrackBar1->setRange(0, MinutesPerDay - 1);
    TrackBar1->setPageStep(5);
    TrackBar1->setTickInterval(60);
    TrackBar1->setTickPosition(QSlider::TicksBelow);

    auto *dayPanel = new QFrame(this);
    dayPanel->setObjectName(QStringLiteral("PanelDay"));
    dayPanel->setFrameShape(QFrame::StyledPanel);
    dayPanel->setAutoFillBackground(true);
    QPalette gray = dayPanel->palette();
    gray.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    dayPanel->setPalette(gray);
    PaintBoxDay = new DayBar(dayPanel);
    auto *dayLayout = new QVBoxLayout(dayPanel);
    dayLayout->setContentsMargins(2, 2, 2, 2);
    dayLayout->addWidget(PaintBoxDay);
    dayPanel->setFixedHeight(28);

    DateTimeZone = new QTimeEdit(this);
    DateTimeZone->setObjectName(QStringLiteral("DateTimeZone"));
    DateTimeZone->setDisplayFormat(QStringLiteral("HH:mm"));
    DateTimeZone->setAccessibleName(QStringLiteral("Начало зоны"));
    QGroupBox *groupTariff = tariffGroup("GroupTariff", QStringLiteral(" Тариф по расписанию : "), "Tariff",
                                         QStringLiteral("Тариф %1"), DateTimeZone, m_tariffButtons);
    SpinLimit = new QSpinBox(this);
    SpinLimit->setObjectName(QStringLiteral("SpinLimit"));
    SpinLimit->setRange(0, 255);
    SpinLimit->setAccessibleName(QStringLiteral("Лимит мощности"));
    QGroupBox *groupLimit = tariffGroup("GroupLimit", QStringLiteral(" Тариф при превышении лимита : "), "TariffLimit",
                                        QStringLiteral("Тариф при превышении лимита %1"), SpinLimit, m_limitButtons);
    Tariff1 = m_tariffButtons[0];
    Tariff2 = m_tariffButtons[1];
    Tariff3 = m_tariffButtons[2];
    TariffLimit1 = m_limitButtons[0];
    TariffLimit2 = m_limitButtons[1];
    TariffLimit3 = m_limitButtons[2];

    ActionEdit = new QAction(style()->standardIcon(QStyle::SP_FileDialogNewFolder), QStringLiteral("Добавить"), this);
    ActionEdit->setObjectName(QStringLiteral("ActionEdit"));
    ActionEdit->setShortcut(QKeySequence(Qt::Key_Insert));
    ActionEdit->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ActionDelete = new QAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Удалить"), this);
    ActionDelete->setObjectName(QStringLiteral("ActionDelete"));
    ActionDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    ActionDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ActionDelete->setEnabled(false);
    addAction(ActionEdit);
    addAction(ActionDelete);

    BitBtnRedo = iconButton("BitBtnRedo", QStyle::SP_DialogSaveButton, QStringLiteral("Сохранить"), this);
    BitBtnUndo = iconButton("BitBtnUndo", QStyle::SP_DialogCancelButton, QStringLiteral("Отменить"), this);
    BitBtnRedo->setEnabled(false);
    BitBtnUndo->setEnabled(false);
    BitBtnEdit = iconButton("BitBtnEdit", QStyle::SP_FileDialogNewFolder, QStringLiteral("Добавить"), this);
    BitBtnEdit->setDefaultAction(ActionEdit);
    BitBtnDelete = iconButton("BitBtnDelete", QStyle::SP_TrashIcon, QStringLiteral("Удалить"), this);
    BitBtnDelete->setDefaultAction(ActionDelete);
    auto *buttons = new QHBoxLayout;
    for (QToolButton *b : {BitBtnRedo, BitBtnUndo, BitBtnEdit, BitBtnDelete})
        buttons->addWidget(b);
    buttons->addStretch(1);

    ListViewDays = new QTreeWidget(this);
    ListViewDays->setFixedWidth(300);
    ListViewDays->setObjectName(QStringLiteral("ListViewDays"));
    ListViewDays->setAccessibleName(QStringLiteral("Зоны текущего дня"));
    ListViewDays->setColumnCount(4);
    ListViewDays->setHeaderLabels({QStringLiteral("время"), QStringLiteral("тариф"), QStringLiteral("лимит мощности"),
                                   QStringLiteral("тариф (превышение лимита)")});
    ListViewDays->setRootIsDecorated(false);
    ListViewDays->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewDays->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewDays->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewDays->setSortingEnabled(true);
    ListViewDays->sortByColumn(ColumnTime, Qt::AscendingOrder);
    ListViewDays->header()->setSortIndicatorShown(false);
    ListViewDays->header()->setSectionsClickable(false);
    // Each of the four columns takes a quarter of the list's width.
    ListViewDays->header()->setSectionResizeMode(QHeaderView::Stretch);
    ListViewDays->header()->setTextElideMode(Qt::ElideRight);
    ListViewDays->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenuRecords = new QMenu(this);
    PopupMenuRecords->setObjectName(QStringLiteral("PopupMenuRecords"));
    PopupMenuRecords->addAction(ActionEdit);
    PopupMenuRecords->addAction(ActionDelete);

    ColorDialogTarif = new QColorDialog(this);
    ColorDialogTarif->setObjectName(QStringLiteral("ColorDialogTarif"));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    StatusPanel0->setAccessibleName(QStringLiteral("Число записей расписания"));
    StatusPanel0->setMinimumWidth(80);
    auto *panel1 = new QLabel(StatusBar1);
    panel1->setObjectName(QStringLiteral("StatusBar1Panel1"));
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(panel1, 1);

    // Grid on the left, zone inputs and list on the right; the day below.
    auto *right = new QVBoxLayout;
    right->addWidget(groupTariff);
    right->addWidget(groupLimit);
    right->addLayout(buttons);
    right->addWidget(ListViewDays, 1);
    auto *top = new QHBoxLayout;
    top->addWidget(StringGrid1, 1);
    top->addLayout(right, 0);
    auto *scale = new QHBoxLayout;
    scale->addWidget(Label_0_00);
    scale->addWidget(Label_12_00, 1);
    scale->addWidget(Label_23_59);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(top, 1);
    layout->addLayout(scale);
    layout->addWidget(TrackBar1);
    layout->addWidget(dayPanel);
    layout->addWidget(StatusBar1);
}

QGroupBox *TFrameShedule::tariffGroup(const char *name, const QString &caption, const char *buttonPrefix,
                                      const QString &accessible, QWidget *first, TariffButtons &buttons)
{
    auto *group = new QGroupBox(caption, this);
    group->setObjectName(QLatin1String(name));
    auto *layout = new QHBoxLayout(group);
    first->setParent(group);
    layout->addWidget(first);
    for (int n = 1; n <= 3; ++n) {
        auto *button = new QRadioButton(QString::number(n), group);
        button->setObjectName(QLatin1String(buttonPrefix) + QString::number(n));
        button->setAccessibleName(accessible.arg(n));
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        button->setAutoFillBackground(true);
        layout->addWidget(button);
        buttons[size_t(n - 1)] = button;
    }
    buttons[0]->setChecked(true);
    return group;
}

void TFrameShedule::connectControls()
{
    connect(StringGrid1, &YearGrid::cellClicked, this, &TFrameShedule::StringGrid1Click);
    connect(TrackBar1, &QSlider::valueChanged, this, &TFrameShedule::TrackBar1Change);
    connect(DateTimeZone, &QTimeEdit::timeChanged, this, &TFrameShedule::DateTimeZoneChange);
    connect(ListViewDays, &QTreeWidget::itemSelectionChanged, this, &TFrameShedule::ListViewDaysSelectItem);
    connect(ListViewDays, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenuRecords->popup(ListViewDays->viewport()->mapToGlobal(pos)); });
    for (int n = 1; n <= 3; ++n) {
        connect(m_tariffButtons[size_t(n - 1)], &QRadioButton::clicked, this, [this, n] { TariffClick(n); });
        connect(m_limitButtons[size_t(n - 1)], &QRadioButton::clicked, this, &TFrameShedule::checkEntry);
        for (const QRadioButton *b : {m_tariffButtons[size_t(n - 1)], m_limitButtons[size_t(n - 1)]})
            connect(b, &QWidget::customContextMenuRequested, this, [this, n] { chooseTariffColor(n); });
    }
    connect(SpinLimit, &QSpinBox::valueChanged, this, &TFrameShedule::SpinLimitChange);
    connect(ActionEdit, &QAction::triggered, this, &TFrameShedule::ActionEditExecute);
    connect(ActionDelete, &QAction::triggered, this, &TFrameShedule::ActionDeleteExecute);
    connect(BitBtnRedo, &QToolButton::clicked, this, &TFrameShedule::BitBtnRedoClick);
    connect(BitBtnUndo, &QToolButton::clicked, this, &TFrameShedule::BitBtnUndoClick);

    connect(&m_model, &ScheduleModel::uncommittedChangesChanged, this, [this](bool uncommitted) {
        BitBtnRedo->setEnabled(uncommitted);
        BitBtnUndo->setEnabled(uncommitted);
        repaintGrid();
    });
    connect(&m_model, &ScheduleModel::recordCountChanged, this, &TFrameShedule::showRecordCount);
    connect(&m_model, &ScheduleModel::scheduleReplaced, this, &TFrameShedule::scheduleReplaced);
}

// --- The year grid ------------------------------------------------------------

void TFrameShedule::StringGrid1Click(int month, int dayType, bool shift, bool ctrl)
{
    const GridClickResult click =
        gridClick(m_model.SelectedCells(), m_model.CurMonth(), m_model.CurDayType(), month, dayType, shift, ctrl);
    m_model.setSelectedCells(click.selected);
    m_model.setCurrentCell(click.month, click.dayType);
    if (m_model.hasUncommittedChanges()) {
        StringGrid1->repaint();
        if (m_question(QStringLiteral("Внимание"), QStringLiteral("Сохранить изменения?")))
            BitBtnRedoClick();
        else
            BitBtnUndoClick();
    }
    GetSheduleDay();
    DayChange();
    m_model.EquivalentDays();
    m_model.EditDays();
    showRecordCount();
    repaintGrid();
}

void TFrameShedule::repaintGrid()
{
    StringGrid1->announceChange();
}

void TFrameShedule::showRecordCount()
{
    StatusPanel0->setText(QString::number(m_model.recordCount()));
}

void TFrameShedule::scheduleReplaced()
{
    GetSheduleDay();
    DayChange();
    showRecordCount();
    repaintGrid();
}

// --- The zone list and the day bar ----------------------------------------------

void TFrameShedule::setLine(QTreeWidgetItem *line, const Zone &zone)
{
    line->setText(ColumnTime, zone.time());
    line->setText(ColumnTariff, QString::number(zone.tariff));
    line->setText(ColumnLimit, QString::number(zone.limit));
    line->setText(ColumnExceed, QString::number(zone.exceedTariff));
    line->setData(ColumnTime, ZoneRole, QVariant::fromValue(QList<int>{zone.start, zone.tariff, zone.limit,
                                                                        zone.exceedTariff}));
}

Zone TFrameShedule::lineZone(const QTreeWidgetItem *line) const
{
    const QList<int> v = line->data(ColumnTime, ZoneRole).value<QList<int>>();
    if (v.size() != 4)
        return {};
    return Zone{v[0], quint8(v[1]), quint8(v[2]), quint8(v[3])};
}

QTreeWidgetItem *TFrameShedule::lineAt(const QString &time) const
{
    const QList<QTreeWidgetItem *> found = ListViewDays->findItems(time, Qt::MatchExactly, ColumnTime);
    return found.isEmpty() ? nullptr : found.first();
}

QTreeWidgetItem *TFrameShedule::selectedLine() const
{
    const QList<QTreeWidgetItem *> selected = ListViewDays->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TFrameShedule::GetSheduleDay()
{
    ListViewDays->clear();
    for (const Zone &zone : m_model.zonesOf(m_model.CurMonth(), m_model.CurDayType())) {
        auto *line = new QTreeWidgetItem;
        setLine(line, zone);
        ListViewDays->addTopLevelItem(line);
    }
    if (QTreeWidgetItem *first = ListViewDays->topLevelItem(0))
        ListViewDays->setCurrentItem(first);
    DayChoice();
}

void TFrameShedule::DayChange()
{
    QList<DayBar::Zone> zones;
    for (int i = 0; i < ListViewDays->topLevelItemCount(); ++i) {
        const Zone z = lineZone(ListViewDays->topLevelItem(i));
        zones.append({z.start, z.tariff, z.exceedTariff});
    }
    PaintBoxDay->setZones(zones);
}

void TFrameShedule::applyTariffColors()
{
    for (int n = 1; n <= 3; ++n) {
        for (QRadioButton *button : {m_tariffButtons[size_t(n - 1)], m_limitButtons[size_t(n - 1)]}) {
            QPalette pal = button->palette();
            pal.setColor(QPalette::Window, m_colors[n - 1]);
            pal.setColor(QPalette::Button, m_colors[n - 1]);
            button->setPalette(pal);
        }
    }
    PaintBoxDay->setTariffColors({m_colors[0], m_colors[1], m_colors[2]});
}

void TFrameShedule::chooseTariffColor(int tariff)
{
    if (tariff < 1 || tariff > 3)
        return;
    const std::optional<QColor> chosen = m_chooseColor(m_colors[tariff - 1]);
    if (!chosen || !chosen->isValid())
        return;
    m_colors[tariff - 1] = *chosen;
    applyTariffColors();
    std::array<quint32, 3> refs{};
    for (int n = 0; n < 3; ++n)
        refs[size_t(n)] = schedule::colorRef(m_colors[n].red(), m_colors[n].green(), m_colors[n].blue());
    const auto store = schedule::openTariffColorStore();
    schedule::writeTariffColors(*store, refs); // a store that cannot be written is passed over
}

// --- Time of day and the entry ------------------------------------------------------

QString TFrameShedule::enteredTime() const
{
    return schedule::timeText(minuteOf(DateTimeZone->time()));
}

int TFrameShedule::checkedNumber(const TariffButtons &buttons)
{
    for (int n = 3; n >= 2; --n)
        if (buttons[size_t(n - 1)]->isChecked())
            return n;
    return 1;
}

int TFrameShedule::enteredTariff() const
{
    return checkedNumber(m_tariffButtons);
}

int TFrameShedule::enteredExceedTariff() const
{
    return checkedNumber(m_limitButtons);
}

bool TFrameShedule::entryValid() const
{
    return (enteredTariff() == enteredExceedTariff()) == (SpinLimit->value() == 0);
}

void TFrameShedule::TrackBar1Change(int position)
{
    if (m_syncing)
        return;
    m_syncing = true;
    DateTimeZone->setTime(QTime(position / 60, position % 60));
    m_syncing = false;
    DayChoice();
}

void TFrameShedule::DateTimeZoneChange()
{
    if (m_syncing)
        return;
    m_syncing = true;
    TrackBar1->setValue(minuteOf(DateTimeZone->time()));
    m_syncing = false;
    DayChoice();
}

void TFrameShedule::DayChoice()
{
    if (QTreeWidgetItem *line = lineAt(enteredTime())) {
        if (!line->isSelected())
            ListViewDays->setCurrentItem(line);
        return;
    }
    ListViewDays->clearSelection();
    ActionEdit->setEnabled(entryValid());
}

void TFrameShedule::ListViewDaysSelectItem()
{
    QTreeWidgetItem *line = selectedLine();
    if (line) {
        const Zone zone = lineZone(line);
        m_syncing = true;
        DateTimeZone->setTime(QTime(zone.start / 60, zone.start % 60));
        TrackBar1->setValue(zone.start);
        SpinLimit->setValue(zone.limit);
        if (zone.tariff >= 1 && zone.tariff <= 3)
            m_tariffButtons[zone.tariff - 1]->setChecked(true);
        if (zone.exceedTariff >= 1 && zone.exceedTariff <= 3)
            m_limitButtons[zone.exceedTariff - 1]->setChecked(true);
        m_syncing = false;
        ActionEdit->setEnabled(false);
    }
    ActionDelete->setEnabled(line != nullptr);
}

void TFrameShedule::TariffClick(int tariff)
{
    if (SpinLimit->value() == 0) {
        m_limitButtons[size_t(tariff - 1)]->setChecked(true);
    }
    checkEntry();
}

void TFrameShedule::SpinLimitChange()
{
    if (m_syncing)
        return;
    if (lineAt(enteredTime()))
        checkEntry();
    else
        DayChoice();
}

void TFrameShedule::checkEntry()
{
    if (const QTreeWidgetItem *line = selectedLine()) {
        const Zone z = lineZone(line);
        if (z.tariff == enteredTariff() && z.limit == SpinLimit->value() && z.exceedTariff == enteredExceedTariff()) {
            ActionEdit->setEnabled(false);
            return;
        }
    }
    ActionEdit->setEnabled(entryValid());
}

// --- Edits, commit and revert --------------------------------------------------------

void TFrameShedule::ActionEditExecute()
{
    ActionEdit->setEnabled(false);
    const Zone zone{minuteOf(DateTimeZone->time()), quint8(enteredTariff()), quint8(SpinLimit->value()),
                    quint8(enteredExceedTariff())};
    if (QTreeWidgetItem *line = lineAt(zone.time())) {
        setLine(line, zone);
        m_model.UpdateTZone(zone);
        ListViewDaysSelectItem();
    } else {
        auto *added = new QTreeWidgetItem;
        setLine(added, zone);
        ListViewDays->addTopLevelItem(added);
        ListViewDays->setCurrentItem(added);
        m_model.InsertTZone(zone);
    }
    DayChange();
    showRecordCount();
    repaintGrid();
}

void TFrameShedule::ActionDeleteExecute()
{
    QTreeWidgetItem *line = selectedLine();
    if (!line)
        return;
    m_model.DeleteTZone(lineZone(line).start);
    {
        // The list must not pick another line on its own: the picker keeps the deleted zone's time.
        const QSignalBlocker quiet(ListViewDays);
        delete line;
        ListViewDays->clearSelection();
    }
    DayChange();
    showRecordCount();
    repaintGrid();
    ActionDelete->setEnabled(selectedLine() != nullptr);
    DayChoice();
}

void TFrameShedule::BitBtnRedoClick()
{
    BitBtnRedo->setEnabled(false);
    BitBtnUndo->setEnabled(false);
    m_model.commit();
    showRecordCount();
    repaintGrid();
}

void TFrameShedule::BitBtnUndoClick()
{
    m_model.revert();
    BitBtnRedo->setEnabled(false);
    BitBtnUndo->setEnabled(false);
    GetSheduleDay();
    DayChange();
    showRecordCount();
    repaintGrid();
}

} // namespace kelvar::app
