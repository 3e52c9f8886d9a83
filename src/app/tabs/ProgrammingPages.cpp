#include "ProgrammingPages.h"

#include "app/ConnectionPanel.h"
#include "app/InfoTab.h"
#include "app/TFormMain.h"
#include "app/tabs/CalibrationTab.h"
#include "app/tabs/DbTab.h"
#include "app/tabs/SettingsTab.h"
#include "app/tabs/ShortReportAction.h"

#include <QAction>
#include <QLineEdit>

namespace kelvar::app {

ProgrammingPages::ProgrammingPages(TFormMain &form)
    : QObject(&form)
    , m_log(form.operationLogPath())
{
    // Production benches record into the database instead of the local log.
    m_log.setEnabled(!form.ProductionMode());
    const MessageHandler message = [&form](QMessageBox::Icon icon, const QString &title, const QString &text) {
        form.showMessage(icon, title, text);
    };
    QLineEdit *accessPassword = form.connectionPanel().LabeledPass2;
    const auto password = [accessPassword] { return accessPassword->text(); };

    m_settings = new SettingsTab(form.TabSet, form.engine(), form.dispatcher(), form.meterState(), form.meterInfo(), m_log);
    m_settings->setModes(form.ProductionMode(), form.MasterMode());
    m_settings->setAccessPasswordSource(password);
    m_settings->setMessageHandler(message);
    connect(form.ActionSetting, &QAction::triggered, m_settings, &SettingsTab::ActionSettingExecute);

    m_calibration = new CalibrationTab(form.TabCalibr, form.engine(), form.dispatcher(), form.meterState(), m_log);
    m_calibration->setAccessPasswordSource(password);
    m_calibration->setMessageHandler(message);
    connect(&form, &TFormMain::controlsEnabled, m_calibration, &CalibrationTab::setControlsEnabled);

    m_db = new DbTab(form.TabDb, m_log);

    InfoTab &info = form.infoTab();
    m_report = new ShortReportAction(&form, [&info] {
        return ShortReportAction::fromTables(info.ListMain, info.ListAddi, info.CheckListIndi,
                                             QDateTime::currentDateTime());
    });
    m_report->setMessageHandler(message);
    connect(form.ActionTxt, &QAction::triggered, m_report, &ShortReportAction::ActionTxtExecute);
}

} // namespace kelvar::app
