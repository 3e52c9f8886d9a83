#pragma once
// The main window: menus, tool bar with the result indicator, connection
// panel, the seven pages and the status bar. It builds the window, restores
// and saves the settings, decides the start modes, composes the tab classes
// and connects them to the exchange engine. The behaviour of each tab lives
// in its own class, which receives its page, the shared services
// (TabServices: engine, dispatcher, meter state, password source, message
// handler, ...) and its actions; app/tabs/TabServices.h says how a new tab is
// added (composeTabs() below).

#include "app/AppSettings.h"
#include "app/EnginePresenter.h"
#include "app/MainActions.h"
#include "app/tabs/TabServices.h"
#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterInfo.h"
#include "meter/MeterState.h"
#include "meter/ResponseDispatcher.h"
#include "schedule/ScheduleExchange.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QTabWidget;
class QToolBar;
class QWindow;

namespace kelvar::journals { class JournalOwner; }
namespace kelvar::schedule {
class ScheduleModel;
class ScheduleTables;
}
namespace kelvar::db { class ClockSetter; }
namespace kelvar::meter { class OperationLog; }

namespace kelvar::app {

class CalibrationTab;
class ConnectionPanel;
class JournalOutput;
class DbTab;
class JournalTab;
class LineScanAction;
class ProductionBench;
class InfoTab;
class ProtocolTab;
class ScheduleActions;
class ScheduleTab;
class SettingsTab;
class ShortReportAction;
class TAboutBox;
class TShape;

struct StartOptions {
    QString startDir;       // where the marker and help files are looked for; empty: the current directory
    QString portName;       // a port or device path to use, added to the port list when not listed
    bool connect = false;   // connect once the window is shown
    bool temporaryPort = false; // portName serves this run only (the simulated meter's): the stored port stays
    std::optional<QStringList> ports; // the serial ports to offer; none: the ports found on this workstation
    db::ClockSetter *clock = nullptr; // production mode sets the workstation clock through it; none: never set
};

class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int MeterTypeId = 43;
    static constexpr int ClientWidth = 792;
    static constexpr int ClientHeight = 624;
    static const QString MarkerFileName;   // "SettingSql.kelvar"
    static const QString HelpFileName;     // "Setting_Kelvar_517.chm"

    explicit TFormMain(const StartOptions &options = {}, QWidget *parent = nullptr);
    ~TFormMain() override;

    bool ProductionMode() const { return m_productionMode; }
    bool MasterMode() const { return m_masterMode; }
    QString helpFilePath() const { return m_helpFile; }
    QString operationLogPath() const { return m_logFile; }

    // The core state the window composes; its parts (tabs, panels, action
    // owners) are children of the window, found by type or object name.
    link::ExchangeEngine &engine() { return *m_engine; }
    meter::MeterState &meterState() { return m_state; }
    meter::MeterInfo &meterInfo() { return *m_info; }
    meter::OperationLog &operationLog() { return *m_log; }
    Indicator indicator() const; // Shape1 on the tool bar
    // The one schedule of the window: the tab shows and edits it, the actions exchange it.
    schedule::ScheduleModel &scheduleModel() { return m_scheduleModel; }
    schedule::ScheduleTables &scheduleTables() { return m_scheduleTables; }
    schedule::ScheduleExchange &scheduleExchange() { return *m_scheduleExchange; }

    // The window was first shown or became the program's active window: in
    // production mode the start-up check, again whenever another window of the
    // program (not a message box) was active in between.
    void FormActivate();

    // Every message box of the window goes through here (tests replace it).
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);
    // A handler that shows through showMessage, for the parts of the window.
    MessageHandler messageHandler();
    // Opens files and addresses with the desktop (tests replace it).
    void setUrlOpener(std::function<bool(const QUrl &)> opener);

    void N20Click();  // "&Справка": opens the help file
    void N15Click();  // "&О программе"
    void NExitClick();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate(const StartOptions &options);
    void FormClose();
    void createActions();
    void createMenus();
    void createPages();
    void createStatusBar();
    void connectEngine();
    void applyModes();
    // Builds the tab classes on their pages (needs the start modes).
    void composeTabs();
    void composeSchedule(const TabServices &services);
    void composeProduction(const StartOptions &options);
    TabServices tabServices();
    void EnableControls(bool enabled);
    void noteActiveWindow(QWindow *window);

    meter::MeterState m_state;
    std::unique_ptr<link::QSerialPortChannel> m_channel;
    std::unique_ptr<link::ExchangeEngine> m_engine;
    std::unique_ptr<EnginePresenter> m_presenter; // Shape1 and the enabling of actions
    std::unique_ptr<meter::ResponseDispatcher> m_dispatcher;
    std::unique_ptr<meter::MeterInfo> m_info;
    std::unique_ptr<meter::OperationLog> m_log;
    MainActions m_actions;
    schedule::ScheduleModel m_scheduleModel;
    schedule::ScheduleTables m_scheduleTables;
    std::unique_ptr<schedule::ScheduleExchange> m_scheduleExchange;
    ScheduleTab *m_scheduleTab = nullptr;
    ScheduleActions *m_scheduleActions = nullptr;

    LineScanAction *m_lineScan = nullptr; // "Поиск счетчиков на линии"
    QMenu *NSched = nullptr;
    QToolBar *ToolBar1 = nullptr;
    TShape *Shape1 = nullptr;
    QTabWidget *PageControlMain = nullptr;
    QWidget *TabAbout = nullptr;
    QWidget *TabSet = nullptr;
    QWidget *TabSched = nullptr;
    QWidget *TabJournal = nullptr;
    QWidget *TabDb = nullptr;
    QWidget *TabProtocol = nullptr;
    QWidget *TabCalibr = nullptr;
    QLabel *StatusPanel0 = nullptr; // panel 0 of StatusBar1
    QLabel *StatusPanel1 = nullptr; // panel 1: the command last sent

    ConnectionPanel *m_panel = nullptr;
    InfoTab *m_infoTab = nullptr;
    ProtocolTab *m_protocolTab = nullptr;
    std::unique_ptr<journals::JournalOwner> m_journals;
    JournalTab *m_journalTab = nullptr;
    JournalOutput *m_journalOutput = nullptr;
    SettingsTab *m_settingsTab = nullptr;
    CalibrationTab *m_calibrationTab = nullptr;
    DbTab *m_dbTab = nullptr;
    ShortReportAction *m_report = nullptr;
    TAboutBox *m_about = nullptr;
    ProductionBench *m_production = nullptr;
    QPointer<QWidget> m_otherWindow;   // the program's window active before this one
    bool m_activated = false;
    AppSettings m_settings;
    bool m_productionMode = false;
    bool m_masterMode = false;
    QString m_startDir;
    QString m_helpFile;
    QString m_logFile;
    MessageHandler m_message;
    std::function<bool(const QUrl &)> m_open;
    bool m_closed = false;
    bool m_temporaryPort = false;
};

} // namespace kelvar::app
