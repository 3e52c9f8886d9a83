#include "ProductionBench.h"

#include "link/ExchangeEngine.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterInfo.h"
#include "meter/SettingsOwner.h"
#include "scanner/ScannerPort.h"

#include <QAction>

namespace kelvar::app {

ProductionBench::ProductionBench(const Parts &parts, QObject *parent)
    : QObject(parent)
    , m_parts(parts)
    , m_session(m_db)
    , m_scanner(std::make_unique<scanner::ScannerPort>(std::make_unique<link::QSerialPortChannel>()))
{
    m_session.setClockSetter(parts.clock);
    m_session.attach(parts.settings, parts.info, parts.values);
    // Database failures that do not stop anything are lines in the protocol view.
    connect(&m_session, &db::ProductionSession::protocolLine, &parts.engine, &link::ExchangeEngine::AddToProtocol);
    // The session reports from inside the link's handlers (the completion of
    // a write, a number read): the message box opens once they are done. The
    // start-up check's messages are shown at once, before the program ends.
    connect(&m_session, &db::ProductionSession::message, this,
            [this](db::ProductionSession::Icon icon, const QString &title, const QString &text) {
                if (m_checking)
                    show(icon, title, text);
                else
                    QMetaObject::invokeMethod(this, [=, this] { show(icon, title, text); }, Qt::QueuedConnection);
            });
    connect(parts.ActionFixDb, &QAction::triggered, this, &ProductionBench::ActionFixDbExecute);

    connect(m_scanner.get(), &scanner::ScannerPort::codeScanned, this, &ProductionBench::codeScanned);
    connect(m_scanner.get(), &scanner::ScannerPort::openFailed, this, [this](const QString &error) {
        show(db::ProductionSession::Icon::Error, QStringLiteral("Ошибка"), error);
    });
}

ProductionBench::~ProductionBench() = default;

void ProductionBench::show(db::ProductionSession::Icon icon, const QString &title, const QString &text)
{
    if (m_message)
        m_message(icon == db::ProductionSession::Icon::Warning ? QMessageBox::Warning : QMessageBox::Critical, title,
                  text);
}

void ProductionBench::startScanner()
{
    m_scanner->setPortName(m_parts.scanner.port);
    m_scanner->start(true, m_parts.scanner.on);
}

void ProductionBench::switchScanner(bool on)
{
    m_scanner->CheckScanerClick(on);
}

void ProductionBench::chooseScannerPort(const QString &port)
{
    m_scanner->ComboScanerChange(port);
}

bool ProductionBench::FormActivate()
{
    if (m_checking)   // a message box of the check itself
        return true;
    m_checking = true;
    const auto check = m_session.FormActivate();
    m_checking = false;
    if (check != db::ProductionSession::Check::Stopped)
        return true;
    emit stopRequested();
    return false;
}

void ProductionBench::ActionFixDbExecute()
{
    const quint32 number = m_parts.values().number;
    const auto result = m_session.ActionFixDbExecute(number, db::MeterSnapshot::of(m_parts.info));
    // Green only for a record that was written: the indicator then hides and
    // the meter information is read afresh.
    if (result == db::ProductionSession::Record::Recorded)
        m_parts.showRecorded();
}

} // namespace kelvar::app
