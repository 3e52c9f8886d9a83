#include "MeterScanDialog.h"

#include "link/ExchangeEngine.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kelvar::app {

const QString MeterScanDialog::UnsureNote = QStringLiteral("ответил не на все запросы");

namespace {
QPushButton *button(const QString &caption, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    return b;
}
} // namespace

MeterScanDialog::MeterScanDialog(link::LineLender &link, QWidget *parent)
    : QDialog(parent), m_scan(link)
{
    setObjectName(QStringLiteral("FormMeterScan"));
    setWindowTitle(QStringLiteral("Поиск счетчиков на линии"));
    setAccessibleName(windowTitle());

    LabelScanState = new QLabel(this);
    LabelScanState->setObjectName(QStringLiteral("LabelScanState"));
    LabelScanState->setAccessibleName(QStringLiteral("Ход поиска"));
    ProgressScan = new QProgressBar(this);
    ProgressScan->setObjectName(QStringLiteral("ProgressScan"));
    ProgressScan->setAccessibleName(QStringLiteral("Опрошено адресов"));
    ProgressScan->setFormat(QStringLiteral("%v из %m"));

    ListMeters = new QTreeWidget(this);
    ListMeters->setObjectName(QStringLiteral("ListMeters"));
    ListMeters->setAccessibleName(QStringLiteral("Найденные счетчики"));
    ListMeters->setRootIsDecorated(false);
    ListMeters->setUniformRowHeights(true);
    ListMeters->setAllColumnsShowFocus(true);
    ListMeters->setColumnCount(ColumnCount);
    ListMeters->setHeaderLabels({QStringLiteral("Адрес"), QStringLiteral("Тип"), QStringLiteral("Заводской номер"),
                                 QStringLiteral("Версия ПО"), QStringLiteral("Примечание")});
    ListMeters->setSortingEnabled(true);
    ListMeters->sortByColumn(ColumnAddress, Qt::AscendingOrder);
    for (const auto &[column, width] : {std::pair{ColumnAddress, 60}, {ColumnType, 120}, {ColumnNumber, 120},
                                        {ColumnVersion, 80}})
        ListMeters->setColumnWidth(column, width);

    BtnScanStop = button(QStringLiteral("Стоп"), "BtnScanStop", this);
    BtnScanChoose = button(QStringLiteral("Выбрать"), "BtnScanChoose", this);
    BtnScanClose = button(QStringLiteral("Закрыть"), "BtnScanClose", this);
    BtnScanChoose->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BtnScanStop);
    buttons->addWidget(BtnScanChoose);
    buttons->addStretch();
    buttons->addWidget(BtnScanClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelScanState);
    layout->addWidget(ProgressScan);
    layout->addWidget(ListMeters, 1);
    layout->addLayout(buttons);
    resize(600, 400);

    connect(BtnScanStop, &QPushButton::clicked, &m_scan, &meter::MeterScan::stop);
    connect(BtnScanChoose, &QPushButton::clicked, this, &MeterScanDialog::choose);
    connect(BtnScanClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListMeters, &QTreeWidget::itemDoubleClicked, this, &MeterScanDialog::choose);
    connect(ListMeters, &QTreeWidget::currentItemChanged, this, &MeterScanDialog::updateButtons);
    connect(&m_scan, &meter::MeterScan::meterFound, this, &MeterScanDialog::addMeter);
    connect(&m_scan, &meter::MeterScan::progress, this, &MeterScanDialog::showProgress);
    connect(&m_scan, &meter::MeterScan::finished, this, &MeterScanDialog::scanFinished);
    updateButtons();
}

MeterScanDialog::~MeterScanDialog() = default;

bool MeterScanDialog::startScan(const meter::ScanSettings &settings)
{
    ListMeters->clear();
    if (!m_scan.start(settings)) {
        LabelScanState->setText(QStringLiteral("Поиск невозможен: порт не открывается или идет запись в счетчик."));
        updateButtons();
        return false;
    }
    updateButtons();
    return true;
}

void MeterScanDialog::addMeter(const meter::ScannedMeter &meter)
{
    auto *item = new QTreeWidgetItem;
    item->setData(ColumnAddress, Qt::DisplayRole, meter.address);
    item->setText(ColumnType, meter.type);
    item->setText(ColumnNumber, meter.number);
    item->setText(ColumnVersion, meter.version);
    item->setText(ColumnNote, meter.sure ? QString() : UnsureNote);
    ListMeters->addTopLevelItem(item);
    if (!ListMeters->currentItem())
        ListMeters->setCurrentItem(item);
    showProgress(ProgressScan->value(), m_total);
}

void MeterScanDialog::showProgress(int done, int total)
{
    m_total = total;
    ProgressScan->setRange(0, total);
    ProgressScan->setValue(done);
    LabelScanState->setText(QStringLiteral("Опрошено адресов: %1 из %2. Найдено счетчиков: %3.")
                                .arg(done)
                                .arg(total)
                                .arg(ListMeters->topLevelItemCount()));
}

void MeterScanDialog::scanFinished(bool stopped)
{
    const int found = ListMeters->topLevelItemCount();
    LabelScanState->setText(
        (stopped ? QStringLiteral("Поиск остановлен. ") : QStringLiteral("Поиск завершен. "))
        + (found > 0 ? QStringLiteral("Найдено счетчиков: %1.").arg(found) : QStringLiteral("Счетчики не найдены.")));
    updateButtons();
}

void MeterScanDialog::choose()
{
    const QTreeWidgetItem *item = ListMeters->currentItem();
    if (!item)
        return;
    const int address = item->data(ColumnAddress, Qt::DisplayRole).toInt();
    m_scan.stop();
    emit meterChosen(address);
    accept();
}

void MeterScanDialog::updateButtons()
{
    BtnScanStop->setEnabled(m_scan.isRunning());
    BtnScanChoose->setEnabled(ListMeters->currentItem() != nullptr);
}

void MeterScanDialog::done(int result)
{
    m_scan.stop();
    QDialog::done(result);
}

LineScanAction::LineScanAction(link::ExchangeEngine &engine, std::function<void(int)> setAddress,
                               QAction *connectAction, QWidget *window)
    : QObject(window), m_engine(engine), m_setAddress(std::move(setAddress)), m_connect(connectAction),
      m_window(window)
{
    m_action = new QAction(QStringLiteral("Поиск счетчиков на &линии"), this);
    m_action->setObjectName(QStringLiteral("ActionScanLine"));
    m_action->setToolTip(QStringLiteral("Поиск счетчиков на линии"));
    m_action->setStatusTip(m_action->toolTip());
    connect(m_action, &QAction::triggered, this, &LineScanAction::open);
}

LineScanAction::~LineScanAction()
{
    delete m_dialog;
}

void LineScanAction::open()
{
    if (m_dialog)
        return;
    m_dialog = new MeterScanDialog(m_engine, m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &MeterScanDialog::meterChosen, this, &LineScanAction::choose);
    m_dialog->open();
    m_dialog->startScan({});
}

void LineScanAction::choose(int address)
{
    // The scan has given the line back by now: the address set here is the
    // one the link polls next.
    m_setAddress(address);
    if (!m_engine.isConnected())
        m_connect->trigger();
}

} // namespace kelvar::app
