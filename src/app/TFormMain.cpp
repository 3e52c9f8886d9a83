#include "TFormMain.h"

#include "app/ConnectionPanel.h"
#include "app/Icons.h"
#include "app/InfoTab.h"
#include "app/ProductionBench.h"
#include "app/ProtocolTab.h"
#include "app/TAboutBox.h"
#include "app/tabs/JournalOutput.h"
#include "app/tabs/JournalTab.h"
#include "app/schedule/ScheduleTab.h"
#include "app/tabs/CalibrationTab.h"
#include "app/tabs/DbTab.h"
#include "app/tabs/RecordAction.h"
#include "app/tabs/ScheduleActions.h"
#include "app/tabs/SettingsTab.h"
#include "app/tabs/ShortReportAction.h"
#include "app/MeterScanDialog.h"
#include "journals/JournalOwner.h"
#include "meter/OperationLog.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSpinBox>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace kelvar::app {

const QString TFormMain::MarkerFileName = QStringLiteral("SettingSql.kelvar");
const QString TFormMain::HelpFileName = QStringLiteral("Setting_Kelvar_517.chm");

// --- The result indicator -----------------------------------------------------

TShape::TShape(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Shape1"));
    setFixedSize(24, 24);
    setVisible(false);
}

QColor TShape::color() const
{
    switch (m_indicator) {
    case Indicator::Green:
        return QColor(0, 255, 0);
    case Indicator::Red:
        return QColor(255, 0, 0);
    case Indicator::Hidden:
        break;
    }
    return {};
}

void TShape::setIndicator(Indicator indicator)
{
    m_indicator = indicator;
    setVisible(indicator != Indicator::Hidden);
    update();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color());
    p.drawEllipse(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

// --- The window -------------------------------------------------------------------

TFormMain::TFormMain(const StartOptions &options, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_channel(std::make_unique<link::QSerialPortChannel>())
    , m_engine(std::make_unique<link::ExchangeEngine>(m_channel.get()))
    , m_presenter(std::make_unique<EnginePresenter>(*m_engine))
    , m_dispatcher(std::make_unique<meter::ResponseDispatcher>(*m_engine))
    , m_info(std::make_unique<meter::MeterInfo>(m_state))
    , m_scheduleExchange(std::make_unique<schedule::ScheduleExchange>(*m_engine, *m_dispatcher, m_state))
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Программирование Kelvar 517"));
    setWindowIcon(appIcon());
    // The window's font; where it is not installed the nearest sans-serif face stands in.
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    meter::registerMeterInfo(*m_dispatcher, *m_info, m_scheduleExchange->recordReplies());

    m_panel = new ConnectionPanel(*m_engine, this);
    createActions();
    createMenus();
    createToolBar();
    createPages();
    createStatusBar();

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_panel);
    layout->addWidget(PageControlMain, 1);
    setCentralWidget(central);

    connectEngine();
    FormCreate(options);
    composeTabs(); // needs the start modes
    m_about = new TAboutBox(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TFormMain::noteActiveWindow);
    if (m_productionMode)
        composeProduction(options);

    // The client area is fixed; the menu bar lies outside it.
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    if (options.connect)
        QTimer::singleShot(0, this, [this] { m_actions.ActionConnect->trigger(); });
}

TFormMain::~TFormMain()
{
    // A scan under way gives the line back while the engine still exists.
    delete m_lineScan;
}

void TFormMain::createActions()
{
    const auto make = [this](const char *name, const QString &caption, const QString &hint, bool enabled) {
        auto *action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(hint);
        action->setStatusTip(hint);
        action->setEnabled(enabled);
        return action;
    };
    m_actions.ActionConnect = make("ActionConnect", QStringLiteral("&Установить"), QStringLiteral("Установить связь"), true);
    m_actions.ActionDisconnect = make("ActionDisconnect", QStringLiteral("&Разорвать"), QStringLiteral("Разорвать связь"), false);
    m_actions.ActionFindAddress = make("ActionFindAddress", QStringLiteral("Поиск &адреса"), QStringLiteral("Поиск адреса"), false);
    m_actions.ActionFindAddress->setShortcut(QKeySequence(Qt::Key_F3));
    m_actions.ActionSetting = make("ActionSetting", QStringLiteral("&Записать"), QStringLiteral("Записать установки"), false);
    m_actions.ActionSetting->setShortcut(QKeySequence(Qt::Key_F12));
    m_actions.ActionReset = make("ActionReset", QStringLiteral("&Сброс"), QStringLiteral("Сброс"), true);
    m_actions.ActionFixDb = make("ActionFixDb", QStringLiteral("Зафиксировать в Б&Д"), QStringLiteral("Зафиксировать в БД"), false);
    m_actions.ActionTxt = make("ActionTxt", QStringLiteral("Краткий отчет"), QStringLiteral("Краткий отчет"), false);
    m_actions.ActionRecord = make("ActionRecord", QStringLiteral("&Протокол программирования..."),
                                  QStringLiteral("Прочитать счетчик и его расписание и показать протокол программирования"),
                                  false);
    m_actions.ActionNewSched = make("ActionNewSched", QStringLiteral("&Новое"), QStringLiteral("Новое тарифное расписание"), true);
    m_actions.ActionLoadTariff = make("ActionLoadTariff", QStringLiteral("&Загрузить из файла"),
                            QStringLiteral("Загрузить тарифное расписание из файла"), true);
    m_actions.ActionSaveTariff = make("ActionSaveTariff", QStringLiteral("&Сохранить как файл"),
                            QStringLiteral("Сохранить тарифное расписание как файл"), true);
    m_actions.ActionWriteSched = make("ActionWriteSched", QStringLiteral("З&аписать в счетчик"),
                            QStringLiteral("Записать расписание в счетчик"), false);
    m_actions.ActionReadSched = make("ActionReadSched", QStringLiteral("&Прочитать из счетчика"),
                           QStringLiteral("Прочитать расписание из счетчика"), false);

    m_actions.ActionConnect->setIcon(actionIcon(IconKind::Connect));
    m_actions.ActionDisconnect->setIcon(actionIcon(IconKind::Disconnect));
    m_actions.ActionFindAddress->setIcon(actionIcon(IconKind::FindAddress));
    m_actions.ActionSetting->setIcon(actionIcon(IconKind::WriteSettings));
    m_actions.ActionFixDb->setIcon(actionIcon(IconKind::FixDb));
    m_actions.ActionTxt->setIcon(actionIcon(IconKind::Report));
    m_actions.ActionNewSched->setIcon(actionIcon(IconKind::NewSchedule));
    m_actions.ActionLoadTariff->setIcon(actionIcon(IconKind::LoadSchedule));
    m_actions.ActionSaveTariff->setIcon(actionIcon(IconKind::SaveSchedule));
    m_actions.ActionWriteSched->setIcon(actionIcon(IconKind::WriteSchedule));
    m_actions.ActionReadSched->setIcon(actionIcon(IconKind::ReadSchedule));

    connect(m_actions.ActionConnect, &QAction::triggered, m_engine.get(), &link::ExchangeEngine::ActionConnectExecute);
    connect(m_actions.ActionDisconnect, &QAction::triggered, m_engine.get(), &link::ExchangeEngine::ActionDisconnectExecute);
    connect(m_actions.ActionFindAddress, &QAction::triggered, m_engine.get(), &link::ExchangeEngine::ActionFindAddressExecute);
    connect(m_actions.ActionReset, &QAction::triggered, m_info.get(), &meter::MeterInfo::ResetMeterInfo);
}

void TFormMain::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *link = bar->addMenu(QStringLiteral("&Связь"));
    link->setObjectName(QStringLiteral("NLink"));
    link->addMenu(m_panel->portMenu());
    link->addMenu(m_panel->baudMenu());
    link->addSeparator();
    link->addAction(m_actions.ActionConnect);
    link->addAction(m_actions.ActionDisconnect);
    link->addSeparator();
    link->addAction(m_actions.ActionFindAddress);
    m_lineScan = new LineScanAction(*m_engine, [panel = m_panel] (int address) { panel->setAddress(address); },
                                    m_actions.ActionConnect, this);
    link->addAction(m_lineScan->action());
    link->addSeparator();
    QAction *exit = link->addAction(QStringLiteral("В&ыход"), this, &TFormMain::NExitClick);
    exit->setObjectName(QStringLiteral("NExit"));

    QMenu *settings = bar->addMenu(QStringLiteral("&Установки"));
    settings->setObjectName(QStringLiteral("NSettings"));
    settings->addAction(m_actions.ActionSetting);
    settings->addAction(m_actions.ActionFixDb); // the menu entry NFixDb
    settings->addSeparator();
    settings->addAction(m_actions.ActionTxt);
    settings->addAction(m_actions.ActionRecord);

    NSched = bar->addMenu(QStringLiteral("&Расписание"));
    NSched->setObjectName(QStringLiteral("NSched"));
    NSched->addAction(m_actions.ActionNewSched);
    NSched->addAction(m_actions.ActionLoadTariff);
    NSched->addAction(m_actions.ActionSaveTariff);
    NSched->addSeparator();
    NSched->addAction(m_actions.ActionWriteSched);
    NSched->addAction(m_actions.ActionReadSched);

    QMenu *help = bar->addMenu(QStringLiteral("&?"));
    help->setObjectName(QStringLiteral("NHelp"));
    help->addAction(QStringLiteral("&Справка"), this, &TFormMain::N20Click)->setObjectName(QStringLiteral("N20"));
    help->addSeparator();
    help->addAction(QStringLiteral("&О программе"), this, &TFormMain::N15Click)->setObjectName(QStringLiteral("N15"));
}

void TFormMain::createToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->addAction(m_actions.ActionConnect);
    ToolBar1->addAction(m_actions.ActionDisconnect);
    ToolBar1->addAction(m_actions.ActionFindAddress);
    ToolBar1->addSeparator();
    ToolBar1->addAction(m_actions.ActionSetting);
    ToolBar1->addAction(m_actions.ActionFixDb);
    ToolBar1->addAction(m_actions.ActionTxt);
    ToolBar1->addSeparator();
    for (QAction *action : {m_actions.ActionNewSched, m_actions.ActionLoadTariff, m_actions.ActionSaveTariff, m_actions.ActionWriteSched, m_actions.ActionReadSched})
        ToolBar1->addAction(action);
    const auto name = [this](QAction *action, const char *objectName) {
        ToolBar1->widgetForAction(action)->setObjectName(QLatin1String(objectName));
    };
    name(m_actions.ActionConnect, "ToolConnect");
    name(m_actions.ActionDisconnect, "ToolDisconnect");
    name(m_actions.ActionFindAddress, "ToolFindAddress");
    name(m_actions.ActionSetting, "ToolSetting");
    name(m_actions.ActionFixDb, "ToolFixDb");
    name(m_actions.ActionTxt, "ToolTxt");
    name(m_actions.ActionNewSched, "ToolButton12");
    name(m_actions.ActionLoadTariff, "ToolButton14");
    name(m_actions.ActionSaveTariff, "ToolButton15");
    name(m_actions.ActionWriteSched, "ToolButton18");
    name(m_actions.ActionReadSched, "ToolButton19");

    auto *shapePanel = new QWidget(ToolBar1);
    shapePanel->setObjectName(QStringLiteral("PanelShape"));
    shapePanel->setFixedSize(32, 24);
    Shape1 = new TShape(shapePanel);
    Shape1->move(4, 0);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(shapePanel);
}

void TFormMain::createPages()
{
    PageControlMain = new QTabWidget(this);
    PageControlMain->setObjectName(QStringLiteral("PageControlMain"));
    const auto page = [this](const char *name, const QString &caption) {
        auto *widget = new QWidget(PageControlMain);
        widget->setObjectName(QLatin1String(name));
        PageControlMain->addTab(widget, caption);
        return widget;
    };
    TabAbout = page("TabAbout", QStringLiteral("О счетчике"));
    TabSet = page("TabSet", QStringLiteral("Установка"));
    TabSched = page("TabSched", QStringLiteral("Тарифное расписание"));
    TabJournal = page("TabJournal", QStringLiteral("Журналы"));
    TabDb = page("TabDb", QStringLiteral("База данных"));
    TabProtocol = page("TabProtocol", QStringLiteral("Протокол"));
    TabCalibr = page("TabCalibr", QStringLiteral("Коэффициенты калибровки"));

    m_infoTab = new InfoTab(TabAbout, *m_info, m_actions.ActionReset);
    m_protocolTab = new ProtocolTab(TabProtocol);
    // The journals tab gets the engine (read controls, disconnect) and the
    // journal owner, which reads and decodes.
    m_journals = std::make_unique<journals::JournalOwner>(*m_engine, *m_dispatcher, m_state);
    m_journalTab = new JournalTab(TabJournal, *m_engine, *m_journals);
    m_journalTab->setMessageHandler(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text) { showMessage(icon, title, text); });
    // The export and print buttons get each page's list and the meter number
    // the list was read from.
    m_journalOutput = new JournalOutput(TabJournal);
    m_journalOutput->setMessageHandler(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text) { showMessage(icon, title, text); });
    for (const journals::JournalKind kind : journals::allJournalKinds()) {
        const journals::JournalTable &table = m_journals->table(kind);
        m_journalOutput->addJournal(kind, m_journalTab->exportButton(kind), m_journalTab->printButton(kind),
                                    JournalOutput::listGrid(m_journalTab->list(kind)),
                                    [&table] { return qint64(table.meterNumber()); });
    }
    m_scheduleTab = new ScheduleTab(TabSched, m_scheduleModel, m_scheduleTables);
}

void TFormMain::composeSchedule(const TabServices &services)
{
    m_scheduleExchange->setOperationLog(&services.log);
    const MainActions &a = m_actions;
    m_scheduleActions = new ScheduleActions(
        *m_scheduleExchange, m_scheduleModel, m_scheduleTables,
        {a.ActionNewSched, a.ActionLoadTariff, a.ActionSaveTariff, a.ActionWriteSched, a.ActionReadSched}, this);
    m_scheduleActions->setMessageHandler(services.message);
    m_scheduleActions->setStatusSink([this](const QString &text) { StatusPanel0->setText(text); });
    m_scheduleActions->setAccessPasswordSource(services.accessPassword);
    m_scheduleActions->setShowEditor([this] {
        PageControlMain->setCurrentWidget(TabSched);
        m_scheduleTab->showEditor();
    });
    connect(m_scheduleActions, &ScheduleActions::readProgress, m_scheduleTab, &ScheduleTab::showReadProgress);
    connect(m_scheduleActions, &ScheduleActions::readProgressVisible, m_scheduleTab,
            &ScheduleTab::setReadProgressVisible);

    auto *record = new RecordAction(*m_scheduleExchange, *m_dispatcher, *m_info, *m_engine, this);
    record->setMessageHandler(services.message);
    record->setShowProgress([this] {
        if (!m_productionMode)
            PageControlMain->setCurrentWidget(TabSched);
    });
    connect(m_actions.ActionRecord, &QAction::triggered, record, &RecordAction::ActionRecordExecute);
}

void TFormMain::composeProduction(const StartOptions &options)
{
    SettingsTab &settings = *m_settingsTab;
    m_production = new ProductionBench({*m_engine, *m_info, settings.owner(), [&settings] { return settings.values(); },
                                        m_panel->scannerSettings(), m_actions.ActionFixDb, options.clock,
                                        [this] {
                                            // Green for 2 s, then the meter is read afresh.
                                            Shape1->setIndicator(Indicator::Green);
                                            QTimer::singleShot(2000, this, [this] {
                                                Shape1->setIndicator(Indicator::Hidden);
                                                m_actions.ActionReset->trigger();
                                            });
                                        }},
                                       this);
    m_production->setMessageHandler([this](QMessageBox::Icon icon, const QString &title, const QString &text) {
        showMessage(icon, title, text);
    });
    connect(m_production, &ProductionBench::stopRequested, this, &QWidget::close, Qt::QueuedConnection);
    connect(m_production, &ProductionBench::codeScanned, &settings, &SettingsTab::showScannedNumber);
    connect(m_panel, &ConnectionPanel::scannerSwitched, m_production, &ProductionBench::switchScanner);
    connect(m_panel, &ConnectionPanel::scannerPortChosen, m_production, &ProductionBench::chooseScannerPort);
    m_production->startScanner();
}

TabServices TFormMain::tabServices()
{
    return TabServices{
        .engine = *m_engine,
        .dispatcher = *m_dispatcher,
        .state = m_state,
        .info = *m_info,
        .log = *m_log,
        .accessPassword = [panel = m_panel] { return panel->accessPassword(); },
        .message = [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
            showMessage(icon, title, text);
        },
        .production = m_productionMode,
        .master = m_masterMode,
    };
}

void TFormMain::composeTabs()
{
    m_log = std::make_unique<meter::OperationLog>(m_logFile);
    // Production benches record into the database instead of the local log.
    m_log->setEnabled(!m_productionMode);
    const TabServices services = tabServices();

    m_settingsTab = new SettingsTab(TabSet, services);
    connect(m_actions.ActionSetting, &QAction::triggered, m_settingsTab, &SettingsTab::ActionSettingExecute);

    m_calibrationTab = new CalibrationTab(TabCalibr, services);
    m_dbTab = new DbTab(TabDb, *m_log);

    m_report = new ShortReportAction(this, [info = m_infoTab] { return info->reportInput(QDateTime::currentDateTime()); });
    m_report->setMessageHandler(services.message);
    connect(m_actions.ActionTxt, &QAction::triggered, m_report, &ShortReportAction::ActionTxtExecute);

    composeSchedule(services);
}

Indicator TFormMain::indicator() const
{
    return Shape1->indicator();
}

void TFormMain::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(bar);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(250);
    StatusPanel0->setFrameShape(QFrame::Panel);
    StatusPanel0->setFrameShadow(QFrame::Sunken);
    StatusPanel1 = new QLabel(bar);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setFixedWidth(420);
    StatusPanel1->setFrameShape(QFrame::Panel);
    StatusPanel1->setFrameShadow(QFrame::Sunken);
    bar->addWidget(StatusPanel0);
    bar->addWidget(StatusPanel1);
}

void TFormMain::connectEngine()
{
    link::ExchangeEngine *engine = m_engine.get();
    connect(engine, &link::ExchangeEngine::protocolLine, m_protocolTab, &ProtocolTab::addLine);
    m_protocolTab->setStatistics(&engine->statistics());
    // A lost port is being reopened: the status bar says so until it opens.
    connect(engine, &link::ExchangeEngine::portLostChanged, this, [this](bool lost, const QString &message) {
        StatusPanel0->setText(lost ? QStringLiteral("Порт недоступен, переподключение") : QString());
        StatusPanel0->setToolTip(message);
    });
    connect(engine, &link::ExchangeEngine::commandSent, StatusPanel1, &QLabel::setText);
    connect(engine, &link::ExchangeEngine::statusCleared, this, [this] {
        StatusPanel0->clear();
        StatusPanel1->clear();
    });
    connect(m_presenter.get(), &EnginePresenter::indicatorChanged, Shape1, &TShape::setIndicator);
    connect(engine, &link::ExchangeEngine::EnableControls, this, &TFormMain::EnableControls);
    connect(m_presenter.get(), &EnginePresenter::settingActionsEnabled, this, [this](bool enabled) {
        m_actions.ActionSetting->setEnabled(enabled);
        m_actions.ActionFixDb->setEnabled(enabled);
    });
    connect(m_presenter.get(), &EnginePresenter::findAddressEnabled, m_actions.ActionFindAddress, &QAction::setEnabled);
    connect(engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        m_actions.ActionConnect->setEnabled(!connected);
        m_actions.ActionDisconnect->setEnabled(connected);
        m_panel->setConnected(connected);
    });
    connect(engine, &link::ExchangeEngine::ResetMeterInfo, m_actions.ActionReset, &QAction::trigger);
    connect(engine, &link::ExchangeEngine::writeFailed, this, [this](const QString &message) {
        showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"), message);
    });
    connect(engine, &link::ExchangeEngine::portError, this, [this](const QString &message) {
        showMessage(QMessageBox::Critical, QStringLiteral("Ошибка"), message);
    });
}

void TFormMain::FormCreate(const StartOptions &options)
{
    // Paths of the help file and the operation log, from the start directory.
    m_temporaryPort = options.temporaryPort;
    m_startDir = options.startDir.isEmpty() ? QDir::currentPath() : options.startDir;
    const QDir start(m_startDir);
    m_helpFile = start.filePath(HelpFileName);
    m_logFile = start.filePath(QLatin1String(meter::OperationLog::FileName));

    // Stored settings over the defaults of the form.
    {
        const std::unique_ptr<QSettings> store(AppSettings::openStore());
        m_settings.load(*store);
    }
    m_panel->applySettings(m_settings);

    m_productionMode = QFileInfo::exists(start.filePath(MarkerFileName));
    m_masterMode = m_settings.master || m_productionMode;
    applyModes();

    const QStringList ports = options.ports ? *options.ports : link::EnumerateSerialPorts();
    m_panel->EnumerateSerialPorts(ports, m_settings, options.portName);

    PageControlMain->setCurrentWidget(TabAbout);
    EnableControls(false);
    m_info->ResetMeterInfo();
}

void TFormMain::applyModes()
{
    m_engine->setMasterMode(m_masterMode);
    m_engine->setTracePasswords(m_settings.master);
    m_engine->setProductionMode(m_productionMode);
    m_info->setProductionMode(m_productionMode);
    m_infoTab->setProductionMode(m_productionMode);
    const bool bench = !m_productionMode;
    PageControlMain->setTabVisible(PageControlMain->indexOf(TabDb), bench);
    PageControlMain->setTabVisible(PageControlMain->indexOf(TabSched), bench);
    PageControlMain->setTabVisible(PageControlMain->indexOf(TabCalibr), m_settings.calibr);
    NSched->menuAction()->setVisible(bench);
    for (QAction *action : {m_actions.ActionNewSched, m_actions.ActionLoadTariff, m_actions.ActionSaveTariff, m_actions.ActionWriteSched, m_actions.ActionReadSched})
        action->setVisible(bench);
    m_actions.ActionFixDb->setVisible(m_productionMode); // ToolFixDb and NFixDb
    m_panel->setScannerVisible(m_productionMode);
}

void TFormMain::EnableControls(bool enabled)
{
    for (QAction *action : {m_actions.ActionSetting, m_actions.ActionWriteSched, m_actions.ActionReadSched,
                            m_actions.ActionTxt, m_actions.ActionRecord})
        action->setEnabled(enabled);
}

void TFormMain::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    m_engine->ActionDisconnectExecute();
    const std::unique_ptr<QSettings> store(AppSettings::openStore());
    if (store->status() != QSettings::NoError || !store->isWritable())
        return; // nothing is saved when the settings cannot be written
    const AppSettings stored = m_settings;
    m_panel->storeSettings(m_settings);
    if (m_temporaryPort) {
        m_settings.port = stored.port;
        m_settings.portName = stored.portName;
    }
    m_settings.save(*store);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void TFormMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // A window manager need not activate a new window (focus-stealing
    // prevention, kiosk sessions, remote displays): the first showing checks
    // too, once the window is on screen, unless an activation came first.
    if (!m_activated)
        QMetaObject::invokeMethod(this, [this] { if (!m_activated) FormActivate(); }, Qt::QueuedConnection);
}

void TFormMain::noteActiveWindow(QWindow *window)
{
    if (!window || window == windowHandle())
        return;
    // The program's window that took over from this one (none: another program's).
    m_otherWindow = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window)
            m_otherWindow = widget;
    }
}

void TFormMain::FormActivate()
{
    const bool first = !std::exchange(m_activated, true);
    QWidget *other = std::exchange(m_otherWindow, nullptr);
    // A message box (of the check itself, or of anything else) gives no new
    // check when it closes; another application's window neither.
    if (!first && (!other || qobject_cast<QMessageBox *>(other)))
        return;
    if (m_production)
        m_production->FormActivate();
}

void TFormMain::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    showTabMessage(m_message, this, icon, title, text);
}

void TFormMain::setUrlOpener(std::function<bool(const QUrl &)> opener)
{
    m_open = opener;
    m_about->setUrlOpener(std::move(opener));
}

void TFormMain::N20Click()
{
    const QString shown = QDir::toNativeSeparators(m_helpFile);
    if (!QFileInfo::exists(m_helpFile)) {
        showMessage(QMessageBox::Warning, QStringLiteral("Справка"), QStringLiteral("Не найден файл справки ") + shown);
        return;
    }
    if (!m_open(QUrl::fromLocalFile(m_helpFile)))
        showMessage(QMessageBox::Warning, QStringLiteral("Справка"),
                    QStringLiteral("Не удалось открыть файл справки ") + shown);
}

void TFormMain::N15Click()
{
    m_about->exec();
}

void TFormMain::NExitClick()
{
    close();
}

} // namespace kelvar::app
