#pragma once
// The window's side of production mode: the production database session
// hooked into the link (start-up check on activation, server clock, last
// programming time, recording of completed writes and "Зафиксировать в БД")
// and the barcode scanner port behind the scanner panel. It receives only the
// pieces it works with; the database and scanner logic live in db/ and
// scanner/.

#include "app/tabs/TabMessages.h"
#include "db/ProductionDb.h"
#include "db/ProductionSession.h"
#include "meter/SettingsBatch.h"
#include "scanner/ScannerPort.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;

namespace kelvar::db { class ClockSetter; }
namespace kelvar::link { class ExchangeEngine; }
namespace kelvar::meter { class MeterInfo; class SettingsOwner; }

namespace kelvar::app {

class ProductionBench : public QObject
{
    Q_OBJECT
public:
    struct Parts {
        link::ExchangeEngine &engine;
        meter::MeterInfo &info;
        meter::SettingsOwner &settings;
        std::function<meter::SettingsValues()> values;   // the settings tab as shown (the meter number included)
        scanner::ScannerSettings scanner;                 // the scanner panel's settings at start
        QAction *ActionFixDb;
        db::ClockSetter *clock;                           // none: the clock is never set
        std::function<void()> showRecorded;               // the green indicator of a written record
    };

    ProductionBench(const Parts &parts, QObject *parent = nullptr);
    ~ProductionBench() override;

    // Message boxes of the database; shown after the handler that caused them.
    void setMessageHandler(MessageHandler handler) { m_message = std::move(handler); }

    // Opens the scanner port as the start-up does (production mode, scanner on).
    void startScanner();
    // The operator switched the scanner on or off, or chose another port.
    void switchScanner(bool on);
    void chooseScannerPort(const QString &port);

    // The window became active: the start-up check (again). Returns false
    // when the workstation is not described and the program must end.
    bool FormActivate();
    // "Зафиксировать в БД".
    void ActionFixDbExecute();

    db::ProductionSession &session() { return m_session; }
    scanner::ScannerPort &scannerPort() { return *m_scanner; }

signals:
    // The workstation, operator or plant is not described: end the program.
    void stopRequested();
    // The scanner read a meter number.
    void codeScanned(int number);

private:
    void show(db::ProductionSession::Icon icon, const QString &title, const QString &text);

    Parts m_parts;
    db::ProductionDb m_db;
    db::ProductionSession m_session;
    std::unique_ptr<scanner::ScannerPort> m_scanner;
    MessageHandler m_message;
    bool m_checking = false;
};

} // namespace kelvar::app
