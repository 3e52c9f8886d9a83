#pragma once
// A single-shot timer to the microsecond, for the wait between two requests.
//
// A QTimer counts whole milliseconds, and the event loop rounds its wait up
// to the next one: the line's silent interval (1.75 ms above 19200 baud,
// 2.006 ms at 19200) would become 2 or 3 ms, a fifth of a fast exchange or
// more. On Linux the wait is a timer file descriptor watched by the event
// loop, which wakes within some tens of microseconds of the time asked;
// elsewhere it is a precise QTimer rounded up to whole milliseconds, so the
// wait is never shorter than asked either way.

#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace kelvar::link {

class MicroTimer : public QObject
{
    Q_OBJECT
public:
    explicit MicroTimer(QObject *parent = nullptr);
    ~MicroTimer() override;

    // (Re)starts the timer: timeout() follows after at least us microseconds
    // (at once, from the event loop, when us <= 0).
    void start(qint64 us);
    void stop();
    bool isActive() const { return m_active; }

signals:
    void timeout();

private:
    void fire();

    bool m_active = false;
    int m_fd = -1;                          // the timer descriptor (Linux)
    QSocketNotifier *m_notifier = nullptr;  // watches m_fd
    QTimer m_fallback;                      // where there is no descriptor
};

} // namespace kelvar::link
