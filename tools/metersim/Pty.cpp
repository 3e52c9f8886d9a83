#include "Pty.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

namespace kelvar::sim {

namespace {
bool makeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

bool openPty(PtyPair *pair, QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = systemError(what);
        closePty(*pair);
        return false;
    };
    pair->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pair->master < 0)
        return fail("posix_openpt");
    if (grantpt(pair->master) != 0)
        return fail("grantpt");
    if (unlockpt(pair->master) != 0)
        return fail("unlockpt");
    char name[256] = {};
    if (ptsname_r(pair->master, name, sizeof name) != 0)
        return fail("ptsname");
    pair->path = QString::fromLocal8Bit(name);
    pair->slave = ::open(name, O_RDWR | O_NOCTTY);
    if (pair->slave < 0)
        return fail("open slave");
    if (!makeRaw(pair->slave) || !makeRaw(pair->master))
        return fail("tcsetattr");
    const int flags = fcntl(pair->master, F_GETFL);
    if (flags < 0 || fcntl(pair->master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    ::fcntl(pair->master, F_SETFD, FD_CLOEXEC);
    ::fcntl(pair->slave, F_SETFD, FD_CLOEXEC);
    return true;
}

void closePty(PtyPair &pair)
{
    if (pair.slave >= 0)
        ::close(pair.slave);
    if (pair.master >= 0)
        ::close(pair.master);
    pair = PtyPair{};
}

bool makeLink(const QString &target, const QString &linkPath, QString *error)
{
    const QFileInfo info(linkPath);
    if (info.exists() && !info.isSymLink()) {
        if (error)
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    const QByteArray path = QFile::encodeName(linkPath);
    ::unlink(path.constData()); // a dangling or stale link
    if (::symlink(QFile::encodeName(target).constData(), path.constData()) != 0) {
        if (error)
            *error = systemError("symlink");
        return false;
    }
    return true;
}

QString traceTime()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

PtyWorker::PtyWorker(int master) : m_master(master) {}

PtyWorker::~PtyWorker() = default;

QThread *PtyWorker::startThread(PtyWorker *worker, const QString &name)
{
    auto *thread = new QThread;
    thread->setObjectName(name);
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::started, worker, &PtyWorker::begin);
    thread->start();
    return thread;
}

void PtyWorker::stopThread(QThread *&thread, PtyWorker *&worker)
{
    if (!thread)
        return;
    QMetaObject::invokeMethod(worker, &PtyWorker::finish, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete worker;
    delete thread;
    worker = nullptr;
    thread = nullptr;
}

void PtyWorker::begin()
{
#if defined(Q_OS_LINUX)
    // The kernel lets a sleep run up to 50 us long by default; the device's
    // output is timed to the microsecond, so this thread asks for 1 us.
    ::prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
    m_clock.start();
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyWorker::readable);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PtyWorker::flush);
    started();
}

void PtyWorker::finish()
{
    // Output still waiting is not sent: the device goes away.
    delete m_notifier;
    m_notifier = nullptr;
    delete m_timer;
    m_timer = nullptr;
    m_pending.clear();
    // Children (timers of derived workers) must die in this thread too.
    qDeleteAll(children());
}

void PtyWorker::readable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            // Each read is one arrival: the meter tells a lone address byte by it.
            received(QByteArray(buffer, static_cast<qsizetype>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: nothing more for now
    }
}

qint64 PtyWorker::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

void PtyWorker::post(qint64 atMs, const QByteArray &bytes, std::function<void()> after)
{
    postUs(atMs * 1000, bytes, std::move(after));
}

void PtyWorker::postUs(qint64 atUs, const QByteArray &bytes, std::function<void()> after)
{
    // Bytes on one line never overtake each other.
    const qint64 due = std::max(nowUs() + atUs, m_lastDue);
    m_lastDue = due;
    m_pending.append({due, bytes, std::move(after)});
    if (m_pending.size() == 1)
        flush();
}

void PtyWorker::flush()
{
    for (;;) {
        writeDue();
        if (m_pending.isEmpty() || !m_timer)
            return;
        const qint64 wait = m_pending.first().dueUs - nowUs();
        // Timers count whole milliseconds: the last stretch below one is
        // slept in this thread, so bytes leave when the wire would have
        // carried them rather than up to a millisecond later.
        if (wait >= 1000) {
            m_timer->start(static_cast<int>(wait / 1000));
            return;
        }
        if (wait > 0)
            QThread::usleep(static_cast<unsigned long>(wait));
    }
}

void PtyWorker::writeDue()
{
    while (!m_pending.isEmpty() && m_pending.first().dueUs <= nowUs()) {
        const Pending p = m_pending.takeFirst();
        const qint64 lateUs = nowUs() - p.dueUs;
        m_lateWrites.fetch_add(1);
        m_lateTotalUs.fetch_add(lateUs);
        if (lateUs > m_lateMaxUs.load())
            m_lateMaxUs.store(lateUs); // only this thread writes it
        qsizetype done = 0;
        while (done < p.bytes.size()) {
            const ssize_t n = ::write(m_master, p.bytes.constData() + done, static_cast<size_t>(p.bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break; // nobody reads the other side and its buffer is full: the rest is lost
        }
        wrote(p.bytes.left(done));
        if (p.after)
            p.after();
    }
}

} // namespace kelvar::sim
