#include "Progress.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kelvar::cli {

Progress::Progress(bool enabled, std::FILE *out)
    : m_enabled(enabled)
    , m_out(out)
{
}

Progress::Progress(std::function<void(const QString &)> sink)
    : m_enabled(true)
    , m_out(nullptr)
    , m_sink(std::move(sink))
{
}

Progress::~Progress()
{
    finish();
}

bool Progress::stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void Progress::begin(const QString &label, int total)
{
    finish();
    m_label = label;
    m_total = total;
    m_clock.start();
    update(0);
}

void Progress::update(int done)
{
    if (!m_enabled || m_total <= 0)
        return;
    if (m_sink) {
        m_sink(line(m_label, done, m_total, m_clock.elapsed()));
        return;
    }
    const QByteArray text = line(m_label, done, m_total, m_clock.elapsed()).toLocal8Bit();
    // Clear to the end of the line: the new text may be shorter.
    std::fprintf(m_out, "\r%s\033[K", text.constData());
    std::fflush(m_out);
    m_drawn = true;
}

void Progress::finish()
{
    if (m_drawn) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_drawn = false;
}

QString Progress::line(const QString &label, int done, int total, qint64 elapsedMs, int width)
{
    done = qBound(0, done, total);
    const int filled = total > 0 ? done * width / total : width;
    QString text = label + QStringLiteral(" [") + QString(filled, QLatin1Char('#'))
                   + QString(width - filled, QLatin1Char('.')) + QStringLiteral("] %1/%2").arg(done).arg(total);
    if (done > 0 && elapsedMs > 0) {
        const double rate = done * 1000.0 / elapsedMs;
        const qint64 left = qRound64((total - done) / rate);
        text += QStringLiteral("  %1 req/s  %2:%3 left")
                    .arg(rate, 0, 'f', 1)
                    .arg(left / 60)
                    .arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

} // namespace kelvar::cli
