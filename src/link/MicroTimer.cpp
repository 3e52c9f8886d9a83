#include "link/MicroTimer.h"

#include <QSocketNotifier>

#if defined(Q_OS_LINUX)
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace kelvar::link {

MicroTimer::MicroTimer(QObject *parent)
    : QObject(parent)
{
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_fallback, &QTimer::timeout, this, &MicroTimer::fire);
#if defined(Q_OS_LINUX)
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(static_cast<qintptr>(m_fd), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations && m_active)
                fire();
        });
    }
#endif
}

MicroTimer::~MicroTimer()
{
#if defined(Q_OS_LINUX)
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void MicroTimer::start(qint64 us)
{
    stop();
    m_active = true;
#if defined(Q_OS_LINUX)
    if (m_fd >= 0) {
        // A zero expiry would disarm the descriptor: the shortest wait is 1 us.
        const qint64 ns = qMax<qint64>(us, 1) * 1000;
        itimerspec spec {};
        spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        if (::timerfd_settime(m_fd, 0, &spec, nullptr) == 0)
            return;
    }
#endif
    m_fallback.start(static_cast<int>((qMax<qint64>(us, 0) + 999) / 1000));
}

void MicroTimer::stop()
{
    m_active = false;
    m_fallback.stop();
#if defined(Q_OS_LINUX)
    if (m_fd >= 0) {
        const itimerspec off {};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        // An expiry already counted but not yet read must not fire later.
        quint64 expirations = 0;
        (void)!::read(m_fd, &expirations, sizeof expirations);
    }
#endif
}

void MicroTimer::fire()
{
    m_active = false;
    emit timeout();
}

} // namespace kelvar::link
