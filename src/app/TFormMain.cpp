#include "TFormMain.h"

#include "app/ConnectionPanel.h"
#include "app/Icons.h"
#include "app/InfoTab.h"
#include "app/ProductionBench.h"
#include "app/ProtocolTab.h"
#include "app/TAboutBox.h"
#include "app/TShape.h"
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
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace kelvar::app {

const QString TFormMain::MarkerFileName = QStringLiteral("SettingSql.kelvar");
const QString TFormMain::HelpFileName = QStringLiteral("Setting_Kelvar_517.chm");

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
    ToolBar1 = m_actions.addToolBar(this);
    Shape1 = TShape::addTo(ToolBar1);
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
    m_actions = MainActions::create(this);
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

    m_actions.addSettingsMenu(bar);
    NSched = m_actions.addScheduleMenu(bar);

    QMenu *help = bar->addMenu(QStringLiteral("&?"));
    help->setObjectName(QStringLiteral("NHelp"));
    help->addAction(QStringLiteral("&Справка"), this, &TFormMain::N20Click)->setObjectName(QStringLiteral("N20"));
    help->addSeparator();
    help->addAction(QStringLiteral("&О программе"), this, &TFormMain::N15Click)->setObjectName(QStringLiteral("N15"));
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
    m_journalTab->setMessageHandler(messageHandler());
    // Export and printing of each journal page's list.
    m_journalOutput = new JournalOutput(TabJournal);
    m_journalOutput->setMessageHandler(messageHandler());
    m_journalTab->bindOutput(*m_journalOutput);
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
    record->setContext([this] {
        report::ReadContext context = report::thisWorkstation();
        // A production bench names the operation it recorded for this meter.
        if (m_production) {
            if (const int operation = m_production->session().recordedOperation(m_info->state().MeterNumber))
                context.operationNumber = QString::number(operation);
        }
        return context;
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
    m_production->setMessageHandler(messageHandler());
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
        .message = messageHandler(),
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
    for (QAction *action : m_actions.schedule())
        action->setVisible(bench);
    m_actions.ActionFixDb->setVisible(m_productionMode); // ToolFixDb and NFixDb
    m_panel->setScannerVisible(m_productionMode);
}

void TFormMain::EnableControls(bool enabled)
{
    for (QAction *action : m_actions.readWrite())
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

MessageHandler TFormMain::messageHandler()
{
    return [this](QMessageBox::Icon icon, const QString &title, const QString &text) { showMessage(icon, title, text); };
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
