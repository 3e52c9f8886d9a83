#include "JournalOwner.h"

#include "link/Encoding.h"
#include "link/ExchangeEngine.h"
#include "meter/MeterState.h"
#include "meter/ResponseDispatcher.h"

namespace kelvar::journals {

const QList<int> &JournalOwner::codes()
{
    static const QList<int> list = [] {
        QList<int> l;
        for (JournalKind kind : allJournalKinds())
            l << functionCode(kind);
        return l;
    }();
    return list;
}

JournalOwner::JournalOwner(link::ExchangeEngine &engine, meter::ResponseDispatcher &dispatcher,
                           const meter::MeterState &state, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_state(state)
    , m_tables{JournalTable(JournalKind::Yearly), JournalTable(JournalKind::Daily), JournalTable(JournalKind::Profile),
               JournalTable(JournalKind::Settings), JournalTable(JournalKind::PowerOn)}
{
    qRegisterMetaType<kelvar::journals::JournalKind>();
    dispatcher.registerOwner(codes(), [this](const QByteArray &response, const QByteArray &) { decode(response); });
    connect(&dispatcher, &meter::ResponseDispatcher::responseAccepted, this, [this](const QByteArray &response) {
        emit gaugeVisibilityChanged(kindOfCode(link::byteAt(response, 0), nullptr));
    });
    connect(&dispatcher, &meter::ResponseDispatcher::responseFailed, this,
            [this](const QString &text) { m_lastFailure = text; });
    connect(&engine, &link::ExchangeEngine::protocolLine, this, [this](const QString &line) {
        if (line.endsWith(link::ExchangeEngine::TimeoutText))
            m_lastFailure = line;
    });
    // The queue ran empty (or the link went down) before the read was done.
    connect(&engine, &link::ExchangeEngine::EnableControls, this, [this](bool) { queueEnded(); });
    connect(&engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (!connected)
            queueEnded();
    });
}

bool JournalOwner::startRead(JournalKind kind, const JournalParams &params)
{
    if (!m_engine.isConnected())
        return false;
    if (m_reading)
        end(false, QStringLiteral("Чтение прервано новым чтением"));
    const QList<QByteArray> requests = journalRequests(kind, params);
    JournalTable &table = m_tables[index(kind)];
    table.clear();
    table.setMeterNumber(m_state.MeterNumber);
    m_kind = kind;
    m_done = 0;
    m_maximum = int(requests.size());
    m_lastFailure.clear();
    emit readStarted(kind, m_maximum);
    if (hasChart(kind))
        emit chartChanged(kind, {});
    emit progress(kind, 0, m_maximum);
    for (const QByteArray &frame : requests)
        m_engine.AddCommand(frame);
    m_engine.beginReadBatch();
    m_reading = true; // only now: the line above is no end of the read
    return true;
}

void JournalOwner::decode(const QByteArray &response)
{
    JournalKind kind;
    if (!kindOfCode(link::byteAt(response, 0), &kind))
        return;
    JournalTable &table = m_tables[index(kind)];
    const QList<QStringList> rows = decodeJournalResponse(response);
    for (const QStringList &row : rows)
        emit rowReady(kind, table.insert(row), row);
    if (!rows.isEmpty() && hasChart(kind))
        emit chartChanged(kind, table.chartBars());
    if (!m_reading || kind != m_kind)
        return;
    if (m_done < m_maximum)
        ++m_done;
    emit progress(kind, m_done, m_maximum);
    if (m_done == m_maximum)
        end(true, {});
}

void JournalOwner::queueEnded()
{
    if (!m_reading)
        return;
    QString reason = m_lastFailure;
    if (reason.isEmpty())
        reason = m_engine.isConnected() ? QStringLiteral("Чтение прервано") : QStringLiteral("Связь разорвана");
    end(false, reason);
}

void JournalOwner::end(bool ok, const QString &error)
{
    m_reading = false;
    emit finished(m_kind, ok, error);
}

} // namespace kelvar::journals
