#pragma once
// The settings write on the link: queues the batch of the settings tab,
// confirms every write the meter answers, writes the operation-log lines and,
// when the meter took new link parameters, moves the program's own link to
// them. Widget-free: the settings tab hands in the values it shows and shows
// the outcome.
//
// It owns the responses to the settings writes (functions 2, 3, 5, 14, 20,
// 31, 35, 36, 49, 79) and to the data-less clearing writes of a tariff reset
// (9, 39, 41). Function 20 also serves every other write that opens with the
// access password (calibration, schedule): its first confirmation after a
// reset marks the password as accepted.

#include "meter/MeterState.h"
#include "meter/OperationLogSink.h"
#include "meter/SettingsBatch.h"

#include <QObject>

#include <functional>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::meter {

class ResponseDispatcher;

class SettingsOwner : public QObject
{
    Q_OBJECT
public:
    static const QList<int> &codes();

    SettingsOwner(link::ExchangeEngine &engine, ResponseDispatcher &dispatcher, MeterState &state,
                  const OperationLogSink &log, QObject *parent = nullptr);

    // The settings as the tab shows them right now; read when a write starts
    // and again at every confirmation (the log lines show what the window shows).
    void setValuesSource(std::function<SettingsValues()> source) { m_values = std::move(source); }

    // Production mode: a write first sets the workstation clock from the
    // database server, and a completed write is recorded in the database.
    // Both are operations of the production database, injected here; until
    // then they do nothing. A clock synchronisation that fails (returns
    // false) ends the write after the access password request.
    void setProductionMode(bool on) { m_production = on; }
    void setSyncClockFromServer(std::function<bool()> sync) { m_syncClock = std::move(sync); }
    void setRecordSettingsOperation(std::function<void()> record) { m_record = std::move(record); }

    enum class Start {
        Nothing,           // no item ticked
        InvalidPassword,   // the access password is not usable; nothing was queued
        UnwritableDescription, // see refusalText(); nothing was queued
        ClockSyncFailed,   // only the access password request went out
        Started,           // the write is queued and running
        Busy,              // another write is still pending; nothing was queued
    };
    // Builds and queues the write (ActionSettingExecute). Returns at once;
    // the exchange runs afterwards.
    Start ActionSettingExecute(const QString &accessPassword);
    // Why the last start was refused, as the message to show (empty when it was not).
    QString refusalText() const { return m_refusal; }

    // One line in the operation log for the meter at hand (bench mode only).
    void AddToOperationLog(const QString &text);

private:
    void confirm(const QByteArray &response, const QByteArray &request);
    void switchLink(const QByteArray &request);

    link::ExchangeEngine &m_engine;
    MeterState &m_state;
    const OperationLogSink &m_log;
    std::function<SettingsValues()> m_values;
    std::function<bool()> m_syncClock;
    std::function<void()> m_record;
    bool m_production = false;
    QString m_refusal;
};

} // namespace kelvar::meter
