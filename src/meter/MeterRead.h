#pragma once
// Reading the meter as a whole: a watch that reports when every value of the
// poll cycle has been read afresh, and the settings a template can name taken
// from that readout. The command-line program waits on the watch before it
// prints the information or compares a template; the settings tab before it
// shows a comparison.

#include "meter/SettingsTemplate.h"

#include <QObject>
#include <QSet>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::meter {

class MeterInfo;
class ResponseDispatcher;

class PollCycleWatch : public QObject
{
    Q_OBJECT
public:
    PollCycleWatch(ResponseDispatcher &dispatcher, MeterInfo &info, QObject *parent = nullptr);

    // Counts the replies decoded from now on; a reset of the meter
    // information starts the count again (the values read so far were emptied).
    void start();
    void stop() { m_running = false; }
    bool isRunning() const { return m_running; }
    int done() const { return static_cast<int>(m_seen.size()); }
    static int total();

signals:
    void progress(int done, int total);
    // Every value of the information has been decoded since start().
    void cycleComplete();

private:
    void accepted(const QByteArray &response);

    QSet<int> m_seen;
    bool m_running = false;
};

// The template's settings as the meter information shows them now, with the
// link parameters the engine reached the meter on.
MeterReading readingFrom(const MeterInfo &info, const link::ExchangeEngine &engine);

} // namespace kelvar::meter
