#pragma once
// Composes the programming pages into the main window: the settings page with
// ActionSetting, the calibration page, the bench database page with the
// operation log, and ActionTxt with the short report.

#include "db/OperationLog.h"

#include <QObject>

namespace kelvar::app {

class CalibrationTab;
class DbTab;
class SettingsTab;
class ShortReportAction;
class TFormMain;

class ProgrammingPages : public QObject
{
    Q_OBJECT
public:
    // Builds into the window's pages and connects to its engine, actions and
    // modes; the window must have decided its start modes already.
    explicit ProgrammingPages(TFormMain &form);

    db::OperationLog &operationLog() { return m_log; }
    SettingsTab &settingsTab() { return *m_settings; }
    CalibrationTab &calibrationTab() { return *m_calibration; }
    DbTab &dbTab() { return *m_db; }
    ShortReportAction &reportAction() { return *m_report; }

private:
    db::OperationLog m_log;
    SettingsTab *m_settings;
    CalibrationTab *m_calibration;
    DbTab *m_db;
    ShortReportAction *m_report;
};

} // namespace kelvar::app
