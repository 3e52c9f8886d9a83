#include "SettingsOwner.h"

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/ExchangeEngine.h"
#include "meter/ResponseDispatcher.h"

namespace kelvar::meter {

using namespace link;

const QList<int> &SettingsOwner::codes()
{
    static const QList<int> list{fn::WriteNumber, fn::WriteLink, fn::WriteTime, fn::WriteDisplay, fn::Password,
                                 fn::WriteIntegration, fn::WriteBilling, fn::ResetBillingReadings,
                                 fn::WriteDescription, fn::WriteAveraging, fn::WriteSchedule, fn::WriteHoliday,
                                 fn::WriteTransfer};
    return list;
}

SettingsOwner::SettingsOwner(ExchangeEngine &engine, ResponseDispatcher &dispatcher, MeterState &state,
                             const OperationLogSink &log, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_state(state)
    , m_log(log)
{
    dispatcher.registerOwner(codes(), [this](const QByteArray &response, const QByteArray &request) {
        confirm(response, request);
    });
    connect(&engine, &ExchangeEngine::settingsWriteCompleted, this, [this] {
        if (m_production && m_record)
            m_record();
    });
}

SettingsOwner::Start SettingsOwner::ActionSettingExecute(const QString &accessPassword)
{
    const auto build = [&] {
        return buildSettingsBatch(m_values ? m_values() : SettingsValues{}, {m_state.PasswordAccepted, accessPassword},
                                  m_state.MeterNumber);
    };
    m_refusal.clear();
    if (m_engine.writeBatchPending())
        return Start::Busy;
    SettingsBatch batch = build();
    if (batch.outcome == SettingsBatch::Outcome::Nothing)
        return Start::Nothing;
    if (batch.outcome == SettingsBatch::Outcome::InvalidPassword)
        return Start::InvalidPassword;
    if (batch.outcome == SettingsBatch::Outcome::UnwritableDescription) {
        m_refusal = unwritableDescriptionText(batch.unwritable);
        return Start::UnwritableDescription;
    }

    if (!batch.passwordRequest.isEmpty())
        m_engine.AddCommand(batch.passwordRequest);
    if (m_production) {
        if (m_syncClock && !m_syncClock())
            return Start::ClockSyncFailed;
        // The workstation clock was just set: take the values again, so a
        // clock that follows the workstation goes out with the new time.
        batch.writes = build().writes;
    }
    m_engine.beginWriteBatch(link::WriteBatch::Settings);
    for (const QByteArray &frame : std::as_const(batch.writes))
        m_engine.AddCommand(frame);
    return Start::Started;
}

void SettingsOwner::AddToOperationLog(const QString &text)
{
    // A log entry that cannot be written is lost; it never stops the write.
    m_log.AddToOperationLog(m_state.MeterNumber, text);
}

void SettingsOwner::confirm(const QByteArray &response, const QByteArray &request)
{
    const quint8 code = byteAt(response, 0);
    const bool passwordAccepted = m_state.PasswordAccepted;
    if (code == fn::Password && !passwordAccepted) {
        m_state.PasswordAccepted = true;   // the access password opened the meter for writing
        return;
    }
    if (code == fn::WriteLink)
        switchLink(request);
    const SettingsValues values = m_values ? m_values() : SettingsValues{};
    for (const QString &line : confirmationLogLines(code, values, passwordAccepted))
        AddToOperationLog(line);
}

void SettingsOwner::switchLink(const QByteArray &request)
{
    // The meter took exactly what the request carried: follow those bytes
    // rather than the controls, which the operator may have changed since.
    const int address = byteAt(request, 2);
    const quint8 link = byteAt(request, 3);
    const bool modbus = link & 0x40;
    int parity = m_engine.parityIndex();    // "Rs-485" keeps the MODBUS parity as it was
    if (modbus)
        parity = (link & 0x20) ? 2 : (link & 0x10) ? 1 : 0;
    m_engine.switchLinkParameters(address, link & 0x03, modbus ? Protocol::Modbus : Protocol::Rs485, parity);
}

} // namespace kelvar::meter
