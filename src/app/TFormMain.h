#pragma once
// The main window: menus, tool bar with the result indicator, connection
// panel, the seven pages and the status bar. It builds the window, restores
// and saves the settings, decides the start modes, composes the tab classes
// and connects them to the exchange engine. The behaviour of each tab lives
// in its own class.

#include "app/AppSettings.h"
#include "app/tabs/TabMessages.h"
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

namespace kelvar::app {

class ConnectionPanel;
class JournalOutput;
class JournalTab;
class ProductionBench;
class InfoTab;
class ProgrammingPages;
class ProtocolTab;
class ScheduleActions;
class ScheduleTab;
class TAboutBox;

struct StartOptions {
    QString startDir;       // where the marker and help files are looked for; empty: the current directory
    QString portName;       // a port or device path to use, added to the port list when not listed
    bool connect = false;   // connect once the window is shown
    bool temporaryPort = false; // portName serves this run only (the simulated meter's): the stored port stays
    std::optional<QStringList> ports; // the serial ports to offer; none: the ports found on this workstation
    db::ClockSetter *clock = nullptr; // production mode sets the workstation clock through it; none: never set
};

// The result indicator on the tool bar: hidden, green or red circle.
class TShape : public QWidget
{
    Q_OBJECT
public:
    explicit TShape(QWidget *parent = nullptr);
    void setIndicator(link::Indicator indicator);
    link::Indicator indicator() const { return m_indicator; }
    QColor color() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    link::Indicator m_indicator = link::Indicator::Hidden;
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

    link::ExchangeEngine &engine() { return *m_engine; }
    meter::ResponseDispatcher &dispatcher() { return *m_dispatcher; }
    meter::MeterState &meterState() { return m_state; }
    meter::MeterInfo &meterInfo() { return *m_info; }
    ConnectionPanel &connectionPanel() { return *m_panel; }
    InfoTab &infoTab() { return *m_infoTab; }
    ProtocolTab &protocolTab() { return *m_protocolTab; }
    journals::JournalOwner &journalOwner() { return *m_journals; }
    JournalTab &journalTab() { return *m_journalTab; }
    JournalOutput &journalOutput() { return *m_journalOutput; }
    ProgrammingPages &programmingPages() { return *m_programming; } // settings, calibration, database, report
    TAboutBox &aboutBox() { return *m_about; }
    // The one schedule of the window: the tab shows and edits it, the actions exchange it.
    schedule::ScheduleModel &scheduleModel() { return m_scheduleModel; }
    schedule::ScheduleTables &scheduleTables() { return m_scheduleTables; }
    schedule::ScheduleExchange &scheduleExchange() { return *m_scheduleExchange; }
    ScheduleTab &scheduleTab() { return *m_scheduleTab; }
    ScheduleActions &scheduleActions() { return *m_scheduleActions; }
    ProductionBench *productionBench() { return m_production; } // production mode only

    // The window became the program's active window: in production mode the
    // start-up check, again whenever another window of the program (not a
    // message box) was active in between.
    void FormActivate();

    // Every message box of the window goes through here (tests replace it).
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);
    // Opens files and addresses with the desktop (tests replace it).
    void setUrlOpener(std::function<bool(const QUrl &)> opener);

    // Actions, as in the actions table.
    QAction *ActionConnect;
    QAction *ActionDisconnect;
    QAction *ActionFindAddress;
    QAction *ActionSetting;
    QAction *ActionReset;
    QAction *ActionFixDb;
    QAction *ActionTxt;
    QAction *ActionNewSched;
    QAction *ActionLoadTariff;
    QAction *ActionSaveTariff;
    QAction *ActionWriteSched;
    QAction *ActionReadSched;

    QMenu *NSched;
    QToolBar *ToolBar1;
    TShape *Shape1;
    QTabWidget *PageControlMain;
    QWidget *TabAbout;
    QWidget *TabSet;
    QWidget *TabSched;
    QWidget *TabJournal;
    QWidget *TabDb;
    QWidget *TabProtocol;
    QWidget *TabCalibr;
    QLabel *StatusPanel0; // panel 0 of StatusBar1
    QLabel *StatusPanel1; // panel 1: the command last sent

    void N20Click();  // "&Справка": opens the help file
    void N15Click();  // "&О программе"
    void NExitClick();

signals:
    // EnableControls of the engine, for the tab classes' read and write buttons.
    void controlsEnabled(bool enabled);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate(const StartOptions &options);
    void FormClose();
    void createActions();
    void createMenus();
    void createToolBar();
    void createPages();
    void createStatusBar();
    void connectEngine();
    void applyModes();
    void composeSchedule();
    void EnableControls(bool enabled);
    void noteActiveWindow(QWindow *window);

    meter::MeterState m_state;
    std::unique_ptr<link::QSerialPortChannel> m_channel;
    std::unique_ptr<link::ExchangeEngine> m_engine;
    std::unique_ptr<meter::ResponseDispatcher> m_dispatcher;
    std::unique_ptr<meter::MeterInfo> m_info;
    schedule::ScheduleModel m_scheduleModel;
    schedule::ScheduleTables m_scheduleTables;
    std::unique_ptr<schedule::ScheduleExchange> m_scheduleExchange;
    ScheduleTab *m_scheduleTab = nullptr;
    ScheduleActions *m_scheduleActions = nullptr;
    ConnectionPanel *m_panel = nullptr;
    InfoTab *m_infoTab = nullptr;
    ProtocolTab *m_protocolTab = nullptr;
    std::unique_ptr<journals::JournalOwner> m_journals;
    JournalTab *m_journalTab = nullptr;
    JournalOutput *m_journalOutput = nullptr;
    ProgrammingPages *m_programming = nullptr;
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
