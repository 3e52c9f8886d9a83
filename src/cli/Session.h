#pragma once
// One run of the command-line program against one meter: the same core
// owners the window composes (engine over a serial port, response
// dispatcher, meter information, settings write, operation log), driven
// step by step. Each step runs the event loop until it is done, the link
// fails or its time runs out.

#include "cli/Progress.h"
#include "journals/JournalOwner.h"
#include "link/ExchangeEngine.h"
#include "link/LinkPacing.h"
#include "link/QSerialPortChannel.h"
#include "meter/MeterInfo.h"
#include "meter/MeterRead.h"
#include "meter/OperationLog.h"
#include "meter/ResponseDispatcher.h"
#include "meter/SettingsOwner.h"
#include "schedule/ScheduleExchange.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace kelvar::simulation { class SimulatedMeter; }
namespace kelvar::db { class ProductionSession; }

namespace kelvar::cli {

// Exit codes of the program.
enum Exit {
    ExitOk = 0,
    ExitRefused = 1,    // the meter said no, or its values differ from the template
    ExitLink = 2,       // the port cannot be opened or the meter does not answer
    ExitUsage = 3,      // bad arguments or files
};

// A meter's port, with its own address when a ports list gives one.
struct PortTarget {
    QString port;
    std::optional<int> address;
    bool operator==(const PortTarget &other) const = default;
};

struct LinkOptions {
    QString port;
    link::Protocol protocol = link::Protocol::Rs485;
    int parityIndex = 0;
    int baudIndex = 0;
    int address = 0;
    int timeout = link::ExchangeEngine::DefaultTimeout;
    int pause = link::DefaultRequestPause; // the pause between requests
    QString password = meter::defaultPasswordText(); // the access password
    simulation::SimulatedMeter *simulated = nullptr; // the built-in simulated meter the port leads to, if any
    QList<PortTarget> ports;   // several meters at once, one link each (empty: the port above alone)
};

class Session : public QObject
{
    Q_OBJECT
public:
    Session(const LinkOptions &options, Progress &progress, QObject *parent = nullptr);
    ~Session() override;

    link::ExchangeEngine &engine() { return m_engine; }
    meter::MeterInfo &info() { return m_info; }
    meter::ResponseDispatcher &dispatcher() { return m_dispatcher; }

    // Production mode as the window runs it: the meter information looks up
    // the last programming time, every settings write sets the clock from
    // the server first and is recorded when it completes; no operation log.
    void setProduction(db::ProductionSession &production);

    // The last failure in words (for standard error).
    QString error() const { return m_error; }

    // Opens the port and starts polling. ExitLink when the port cannot be opened.
    int connectMeter();
    // Waits for one whole poll cycle of fresh values.
    int readCycle();
    // Writes the settings (as the settings tab would) and waits for the outcome.
    int writeSettings(const meter::SettingsTemplate &tpl);
    // Searches the meter's address from `from` on; the address found is engine().address().
    int findAddress(int from);

    // Reads a journal into journals().table(kind).
    int readJournal(journals::JournalKind kind, const journals::JournalParams &params);
    const journals::JournalOwner &journals() const { return m_journals; }

    // Reads the meter's whole schedule into schedule().result().
    int readSchedule();
    // Writes a schedule image, preceded by the access password while the
    // meter has accepted none.
    int writeSchedule(const schedule::ScheduleImage &image);
    const schedule::ScheduleExchange &schedule() const { return m_schedule; }

    // When the clock was written: the workstation time of its confirmation.
    QDateTime clockWrittenAt() const { return m_clockWrittenAt; }

private:
    // Runs the event loop until done() holds (ExitOk), the link fails
    // (ExitLink) or a failure is set by a handler.
    int runUntil(const std::function<bool()> &done, qint64 limitMs);
    // Runs one schedule exchange started by start() to its end.
    int runSchedule(const QString &label, const std::function<schedule::ScheduleExchange::Start()> &start);

    LinkOptions m_options;
    Progress &m_progress;
    link::QSerialPortChannel m_channel;
    link::ExchangeEngine m_engine{&m_channel};
    meter::ResponseDispatcher m_dispatcher{m_engine};
    meter::MeterState m_state;
    meter::MeterInfo m_info{m_state};
    meter::OperationLog m_log;
    meter::SettingsOwner m_settings;
    meter::PollCycleWatch m_watch{m_dispatcher, m_info};
    journals::JournalOwner m_journals{m_engine, m_dispatcher, m_state};
    schedule::ScheduleExchange m_schedule{m_engine, m_dispatcher, m_state};

    QString m_error;
    int m_failure = ExitOk;       // set by a handler: ends the running step
    QStringList m_meterErrors;    // error replies and wrong responses since the step began
    QDateTime m_clockWrittenAt;
    meter::SettingsValues m_written;   // the values of the last write, clock as sent
};

} // namespace kelvar::cli
