#include "InfoTab.h"

#include "meter/SettingsBatch.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QToolButton>

namespace kelvar::app {

namespace {

constexpr int RowHeight = 18;

// A report-style list of caption and value: no headers, grid lines,
// read-only, whole-row selection.
QTableWidget *makeList(const char *name, const QStringList &captions, QWidget *parent)
{
    auto *list = new QTableWidget(captions.size(), 2, parent);
    list->setObjectName(QLatin1String(name));
    list->horizontalHeader()->hide();
    list->verticalHeader()->hide();
    list->setShowGrid(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setWordWrap(false);
    list->setColumnWidth(0, 200);
    list->setColumnWidth(1, 180);
    list->horizontalHeader()->setStretchLastSection(true);
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(RowHeight);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int row = 0; row < captions.size(); ++row) {
        auto *caption = new QTableWidgetItem(captions[row]);
        caption->setToolTip(captions[row]);
        list->setItem(row, 0, caption);
        list->setItem(row, 1, new QTableWidgetItem);
    }
    list->setFixedHeight(captions.size() * RowHeight + 2 * list->frameWidth());
    return list;
}

void setValue(QTableWidget *list, int row, const QString &text)
{
    if (QTableWidgetItem *item = list->item(row, 1))
        item->setText(text);
}

} // namespace

InfoTab::InfoTab(QWidget *page, meter::MeterInfo &info, QAction *reset)
    : QObject(page)
    , m_info(info)
{
    ListMain = makeList("ListMain", meter::MeterInfo::mainCaptions(), page);
    ListAddi = makeList("ListAddi", meter::MeterInfo::addiCaptions(), page);
    for (int row = 0; row < meter::MeterInfo::RowCount; ++row) {
        setValue(ListMain, row, info.mainValue(row));
        setValue(ListAddi, row, info.addiValue(row));
    }

    CheckListIndi = new QListWidget(page);
    CheckListIndi->setObjectName(QStringLiteral("CheckListIndi"));
    QFont bold = CheckListIndi->font();
    bold.setBold(true);
    CheckListIndi->setFont(bold);
    CheckListIndi->setFlow(QListView::TopToBottom);
    CheckListIndi->setWrapping(true);
    CheckListIndi->setResizeMode(QListView::Adjust);
    for (const QString &text : meter::displayItemTexts()) {
        auto *item = new QListWidgetItem(text, CheckListIndi);
        item->setFlags(Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    CheckListIndi->setEnabled(false);
    CheckListIndi->setFixedHeight(3 * RowHeight + 8);
    showMask(info.displayMask());

    m_deltaBox = new QWidget(page);
    EditDelta = new QLineEdit(m_deltaBox);
    EditDelta->setObjectName(QStringLiteral("EditDelta"));
    EditDelta->setReadOnly(true);
    EditDelta->setFont(bold);
    QPalette navy = EditDelta->palette();
    navy.setColor(QPalette::Text, QColor(0, 0, 128));
    EditDelta->setPalette(navy);
    EditDelta->setMaximumWidth(120);
    auto *deltaLabel = new QLabel(QStringLiteral("Отклонение времени:"), m_deltaBox);
    deltaLabel->setBuddy(EditDelta);
    auto *deltaLayout = new QHBoxLayout(m_deltaBox);
    deltaLayout->setContentsMargins(0, 0, 0, 0);
    deltaLayout->addWidget(deltaLabel);
    deltaLayout->addWidget(EditDelta);

    auto *resetButton = new QToolButton(page);
    resetButton->setObjectName(QStringLiteral("BtnReset"));
    resetButton->setDefaultAction(reset);
    resetButton->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto *indicatorLabel = new QLabel(QStringLiteral("Индикатор :"), page);
    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setVerticalSpacing(4);
    layout->addWidget(ListMain, 0, 0);
    layout->addWidget(ListAddi, 0, 1);
    layout->addWidget(indicatorLabel, 1, 0, 1, 2);
    layout->addWidget(CheckListIndi, 2, 0, 1, 2);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_deltaBox);
    bottom->addStretch();
    bottom->addWidget(resetButton);
    layout->addLayout(bottom, 3, 0, 1, 2);
    layout->setRowStretch(4, 1);

    connect(&info, &meter::MeterInfo::mainRowChanged, this, [this](int row, const QString &text) {
        setValue(ListMain, row, text);
    });
    connect(&info, &meter::MeterInfo::addiRowChanged, this, [this](int row, const QString &text) {
        setValue(ListAddi, row, text);
    });
    connect(&info, &meter::MeterInfo::displayMaskChanged, this, &InfoTab::showMask);
    connect(&info, &meter::MeterInfo::deltaChanged, EditDelta, &QLineEdit::setText);
    setProductionMode(false);
}

meter::ShortReportInput InfoTab::reportInput(const QDateTime &now) const
{
    return meter::shortReportInput(m_info, now);
}

void InfoTab::setProductionMode(bool on)
{
    m_deltaBox->setVisible(on);
}

void InfoTab::showMask(quint8 mask)
{
    for (int i = 0; i < CheckListIndi->count(); ++i)
        CheckListIndi->item(i)->setCheckState(mask & (1u << i) ? Qt::Checked : Qt::Unchecked);
}

} // namespace kelvar::app
