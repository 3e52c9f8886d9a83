#include "Session.h"

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "simulation/SimulatedMeter.h"
#include "db/ProductionSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

namespace kelvar::cli {

Session::Session(const LinkOptions &options, Progress &progress, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_progress(progress)
    , m_log(meter::OperationLog::pathIn(QDir::currentPath()))
    , m_settings(m_engine, m_dispatcher, m_state, m_log)
{
    m_engine.setPortName(options.port);
    m_engine.setProtocol(options.protocol);
    m_engine.setParityIndex(options.parityIndex);
    m_engine.setBaudIndex(options.baudIndex);
    m_engine.setAddress(options.address);
    m_engine.setTimeout(options.timeout);
    m_engine.setRequestPause(options.pause);
    // The simulated meter answers on whatever link the options give.
    if (options.simulated)
        options.simulated->matchLinkParameters(m_engine);
    // Function 8 is shared: the checksum for the information, zone slots for the schedule.
    meter::registerMeterInfo(m_dispatcher, m_info, m_schedule.recordReplies());
    m_schedule.setOperationLog(&m_log);

    connect(&m_engine, &link::ExchangeEngine::ResetMeterInfo, &m_info, &meter::MeterInfo::ResetMeterInfo);
    connect(&m_engine, &link::ExchangeEngine::portError, this, [this](const QString &message) { m_error = message; });
    connect(&m_engine, &link::ExchangeEngine::timeoutsExceeded, this, [this] {
        m_error = QStringLiteral("the meter does not answer (six time-outs in a row)");
        m_failure = ExitLink;
    });
    connect(&m_dispatcher, &meter::ResponseDispatcher::responseFailed, this,
            [this](const QString &text) { m_meterErrors << text; });
    connect(&m_dispatcher, &meter::ResponseDispatcher::responseAccepted, this, [this](const QByteArray &response) {
        if (link::byteAt(response, 0) == link::fn::WriteTime)
            m_clockWrittenAt = QDateTime::currentDateTime();
    });
    connect(&m_watch, &meter::PollCycleWatch::progress, this, [this](int done, int) { m_progress.update(done); });
}

Session::~Session()
{
    m_progress.finish();
    if (m_engine.isConnected())
        m_engine.ActionDisconnectExecute();
}

void Session::setProduction(db::ProductionSession &production)
{
    m_info.setProductionMode(true);
    m_settings.setProductionMode(true);
    m_log.setEnabled(false);
    production.attach(m_settings, m_info, [this] { return m_written; });
}

int Session::runUntil(const std::function<bool()> &done, qint64 limitMs)
{
    m_failure = ExitOk;
    const QDeadlineTimer deadline(limitMs);
    // Wakes the loop now and then, so the deadline is seen without events.
    QTimer wake;
    wake.start(100);
    QEventLoop loop;
    while (!done()) {
        if (m_failure != ExitOk)
            return m_failure;
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("the meter did not finish in time");
            return ExitLink;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return ExitOk;
}

int Session::connectMeter()
{
    if (!m_engine.ActionConnectExecute())
        return ExitLink;
    return ExitOk;
}

int Session::readCycle()
{
    m_progress.begin(QStringLiteral("reading"), meter::PollCycleWatch::total());
    m_watch.start();
    // Three rounds of the poll cycle at the slowest (every request timing out).
    const qint64 limit = 3LL * link::PollCycleLength * (m_options.timeout + 150) + 5000;
    const int result = runUntil([this] { return !m_watch.isRunning(); }, limit);
    m_watch.stop();
    m_progress.finish();
    return result;
}

int Session::writeSettings(const meter::SettingsTemplate &tpl)
{
    m_settings.setValuesSource([this, tpl] {
        meter::SettingsValues values = tpl.values;
        if (!tpl.fixedClock) {
            const QDateTime now = QDateTime::currentDateTime();
            values.date = now.date();
            values.time = now.time();
        }
        m_written = values;
        return values;
    });
    m_meterErrors.clear();
    bool completed = false;
    QString failed;
    int answered = 0;
    const auto c1 = connect(&m_engine, &link::ExchangeEngine::settingsWriteCompleted, this, [&] { completed = true; });
    const auto c2 = connect(&m_engine, &link::ExchangeEngine::writeFailed, this,
                            [&](const QString &message) { failed = message; });
    const auto c3 = connect(&m_dispatcher, &meter::ResponseDispatcher::responseAccepted, this,
                            [&](const QByteArray &response) {
                                if (meter::SettingsOwner::codes().contains(link::byteAt(response, 0)))
                                    m_progress.update(++answered);
                            });

    int result = ExitOk;
    const qsizetype before = m_engine.queue().size();
    switch (m_settings.ActionSettingExecute(m_options.password)) {
    case meter::SettingsOwner::Start::Nothing:
        m_error = QStringLiteral("the template names no setting to write");
        break;
    case meter::SettingsOwner::Start::InvalidPassword:
        m_error = QStringLiteral("Недопустимый пароль");
        result = ExitUsage;
        break;
    case meter::SettingsOwner::Start::UnwritableDescription:
        m_error = m_settings.refusalText();
        result = ExitUsage;
        break;
    case meter::SettingsOwner::Start::Busy:
        // Each step waits for its own end, so only a write left over from
        // outside this run can be pending; nothing was sent.
        m_error = QStringLiteral("another write to the meter is still pending");
        result = ExitLink;
        break;
    case meter::SettingsOwner::Start::ClockSyncFailed:
        m_error = QStringLiteral("the clock could not be synchronised");
        result = ExitLink;
        break;
    case meter::SettingsOwner::Start::Started: {
        const int requests = static_cast<int>(m_engine.queue().size() - before);
        m_progress.begin(QStringLiteral("writing"), requests);
        const qint64 limit = 3LL * (requests + 1) * (m_options.timeout + 150) + 5000;
        result = runUntil([&] { return completed || !failed.isEmpty(); }, limit);
        m_progress.finish();
        if (result == ExitOk && !failed.isEmpty()) {
            // An error reply is the meter saying no; silence is the link failing.
            if (!m_meterErrors.isEmpty()) {
                m_error = m_meterErrors.last();
                result = ExitRefused;
            } else {
                m_error = QStringLiteral("no answer from the meter during the write");
                result = ExitLink;
            }
        }
        break;
    }
    }
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);
    return result;
}

int Session::findAddress(int from)
{
    int tried = 0;
    bool answered = false;
    m_progress.begin(QStringLiteral("searching"), 256);
    m_engine.ActionFindAddressExecute();
    m_engine.setAddress(from);
    const auto c1 = connect(&m_engine, &link::ExchangeEngine::addressChanged, this, [&](int) {
        m_progress.update(++tried);
        if (tried >= 256) {
            m_error = QStringLiteral("no meter answered at any address");
            m_failure = ExitLink;
        }
    });
    const auto c2 = connect(&m_dispatcher, &meter::ResponseDispatcher::responseAccepted, this,
                            [&] { answered = !m_engine.AddressSearch(); });
    const auto c3 = connect(&m_dispatcher, &meter::ResponseDispatcher::responseFailed, this,
                            [&] { answered = !m_engine.AddressSearch(); });
    const qint64 limit = 257LL * (m_options.timeout + 150) + 5000;
    const int result = runUntil([&] { return answered; }, limit);
    m_progress.finish();
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);
    return result;
}

int Session::readJournal(journals::JournalKind kind, const journals::JournalParams &params)
{
    m_meterErrors.clear();
    bool ended = false;
    bool ok = false;
    QString why;
    const auto c1 = connect(&m_journals, &journals::JournalOwner::finished, this,
                            [&](journals::JournalKind, bool done, const QString &error) {
                                ended = true;
                                ok = done;
                                why = error;
                            });
    const auto c2 = connect(&m_journals, &journals::JournalOwner::progress, this,
                            [this](journals::JournalKind, int value, int) { m_progress.update(value); });
    int result = ExitOk;
    if (!m_journals.startRead(kind, params)) {
        m_error = QStringLiteral("the journal cannot be read now");
        result = ExitLink;
    } else {
        const int requests = m_journals.progressMaximum();
        m_progress.begin(QStringLiteral("reading"), requests);
        result = runUntil([&] { return ended; }, 3LL * (requests + 1) * (m_options.timeout + 150) + 5000);
        m_progress.finish();
        if (result == ExitOk && !ok) {
            m_error = why;
            result = m_meterErrors.isEmpty() ? ExitLink : ExitRefused;
        }
    }
    disconnect(c1);
    disconnect(c2);
    return result;
}

int Session::runSchedule(const QString &label, const std::function<schedule::ScheduleExchange::Start()> &start)
{
    using schedule::ScheduleExchange;
    m_meterErrors.clear();
    bool ended = false;
    bool ok = false;
    QString why;
    int requests = 0;
    const auto c1 = connect(&m_schedule, &ScheduleExchange::finished, this, [&](bool done, const QString &error) {
        ended = true;
        ok = done;
        why = error;
    });
    // The exchange announces its total with done = 0 as it starts.
    const auto c2 = connect(&m_schedule, &ScheduleExchange::progress, this, [&](int done, int total) {
        if (done == 0) {
            requests = total;
            m_progress.begin(label, total);
        } else {
            m_progress.update(done);
        }
    });
    int result = ExitOk;
    switch (start()) {
    case ScheduleExchange::Start::Started:
        result = runUntil([&] { return ended; }, 3LL * (requests + 2) * (m_options.timeout + 150) + 5000);
        m_progress.finish();
        if (result == ExitOk && !ok) {
            m_error = why;
            // An error reply is the meter saying no (its text is in the
            // reason); silence is the link failing.
            result = m_meterErrors.isEmpty() ? ExitLink : ExitRefused;
        }
        break;
    case ScheduleExchange::Start::InvalidPassword:
    case ScheduleExchange::Start::TooManyRecords:
        m_error = m_schedule.refusalText();
        result = ExitUsage;
        break;
    case ScheduleExchange::Start::NotConnected:
    case ScheduleExchange::Start::Busy:
        m_error = m_schedule.refusalText();
        result = ExitLink;
        break;
    }
    disconnect(c1);
    disconnect(c2);
    return result;
}

int Session::readSchedule()
{
    return runSchedule(QStringLiteral("reading schedule"), [this] { return m_schedule.startRead(); });
}

int Session::writeSchedule(const schedule::ScheduleImage &image)
{
    return runSchedule(QStringLiteral("writing schedule"),
                       [this, &image] { return m_schedule.startWrite(image, m_options.password); });
}

} // namespace kelvar::cli
