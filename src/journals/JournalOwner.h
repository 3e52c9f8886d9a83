#pragma once
// Reading the meter's journals: queues the requests of a read, decodes every
// journal response the dispatcher hands over into rows of its journal's
// table and reports rows, progress, chart changes and the end of the read by
// signals. The window and the command-line program drive the same owner.
//
// It owns the responses of functions 18, 28, 29, 50 and 51. One read runs at
// a time (the read controls are disabled while it runs); a new read of a
// journal discards that journal's rows, the other journals keep theirs.

#include "journals/Journal.h"
#include "journals/JournalTable.h"

#include <QObject>

#include <array>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::meter {
class ResponseDispatcher;
struct MeterState;
}

namespace kelvar::journals {

class JournalOwner : public QObject
{
    Q_OBJECT
public:
    static const QList<int> &codes();

    JournalOwner(link::ExchangeEngine &engine, meter::ResponseDispatcher &dispatcher,
                 const meter::MeterState &state, QObject *parent = nullptr);

    // Empties the journal's table (keeping the meter number at hand with it),
    // queues its requests and disables the read controls. False, with nothing
    // changed, while the link is down.
    bool startRead(JournalKind kind, const JournalParams &params);

    const JournalTable &table(JournalKind kind) const { return m_tables[index(kind)]; }
    bool isReading() const { return m_reading; }
    JournalKind readingKind() const { return m_kind; }
    int progressValue() const { return m_done; }
    int progressMaximum() const { return m_maximum; }

signals:
    // A read began: the journal's rows and chart are empty now.
    void readStarted(kelvar::journals::JournalKind kind, int maximum);
    // A row took its place at index in the journal's table.
    void rowReady(kelvar::journals::JournalKind kind, int index, const QStringList &row);
    // One more response of the read was handled (value never above maximum).
    void progress(kelvar::journals::JournalKind kind, int value, int maximum);
    // The journal's list changed (rows added or emptied): its chart's new bars.
    void chartChanged(kelvar::journals::JournalKind kind, const QList<kelvar::journals::ChartBar> &bars);
    // The read ended: every request answered (ok), or the queue was dropped
    // (error reply, wrong response, time-out, disconnect) with the rows so
    // far kept and the reason in error.
    void finished(kelvar::journals::JournalKind kind, bool ok, const QString &error);
    // A journal response was accepted (true) or a response of another
    // function code (false): the progress gauge shows or hides.
    void gaugeVisibilityChanged(bool visible);

private:
    static int index(JournalKind kind) { return int(kind); }
    void decode(const QByteArray &response);
    void queueEnded();
    void end(bool ok, const QString &error);

    link::ExchangeEngine &m_engine;
    const meter::MeterState &m_state;
    std::array<JournalTable, JournalKindCount> m_tables;
    bool m_reading = false;
    JournalKind m_kind = JournalKind::Yearly;
    int m_done = 0;
    int m_maximum = 0;
    QString m_lastFailure;
};

} // namespace kelvar::journals

Q_DECLARE_METATYPE(kelvar::journals::JournalKind)
