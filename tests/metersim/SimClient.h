#pragma once
// The program's side of the pseudo-terminal in the simulator tests: the slave
// opened with plain POSIX calls, raw, and the two ways the program talks to
// the meter ("Rs-485" address handshake, "MODBUS" envelope).

#include "link/Frame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kelvar::test {

class SimClient {
public:
    explicit SimClient(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios tio{};
            tcgetattr(m_fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
            tcflush(m_fd, TCIOFLUSH);
        }
    }
    ~SimClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SimClient(const SimClient &) = delete;
    SimClient &operator=(const SimClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void write(const QByteArray &bytes) { [[maybe_unused]] auto n = ::write(m_fd, bytes.constData(), bytes.size()); }

    // Everything that arrives until `done` holds or timeoutMs pass; each read
    // is also kept in chunks with its arrival time (ms since the call).
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done, int timeoutMs)
    {
        QByteArray buffer;
        chunks.clear();
        QElapsedTimer clock;
        clock.start();
        while (!done(buffer)) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char data[4096];
            const ssize_t n = ::read(m_fd, data, sizeof data);
            if (n > 0) {
                buffer.append(data, n);
                chunks.append({clock.elapsed(), QByteArray(data, n)});
            }
        }
        return buffer;
    }
    QByteArray readFor(int ms)
    {
        return readUntil([](const QByteArray &) { return false; }, ms);
    }

    // One exchange as the program makes it; the reply without address, or
    // what arrived when it did not complete in time.
    QByteArray exchange(const QByteArray &request, link::Protocol protocol, quint8 address, int timeoutMs = 1000)
    {
        if (protocol == link::Protocol::Rs485) {
            write(QByteArray(1, static_cast<char>(address)));
            const QByteArray echo = readUntil([](const QByteArray &b) { return !b.isEmpty(); }, timeoutMs);
            if (echo != QByteArray(1, static_cast<char>(address)))
                return {};
            write(link::AppendCrc(request));
            return readUntil([](const QByteArray &b) { return link::isCompleteRs485(b); }, timeoutMs);
        }
        write(link::envelope(request, link::Protocol::Modbus, address));
        const QByteArray reply =
            readUntil([address](const QByteArray &b) { return link::isCompleteModbus(b, address); }, timeoutMs);
        return link::isCompleteModbus(reply, address) ? reply.mid(1) : reply;
    }

    QList<QPair<qint64, QByteArray>> chunks;

private:
    int m_fd = -1;
};

} // namespace kelvar::test
