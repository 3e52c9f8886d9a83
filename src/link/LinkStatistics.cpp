#include "link/LinkStatistics.h"

#include "link/Catalogue.h"

#include <algorithm>

namespace kelvar::link {

void LinkStatistics::reset()
{
    *this = LinkStatistics();
}

void LinkStatistics::requestSent(int)
{
    ++m_sent;
}

void LinkStatistics::replyAccepted(int function, qint64 responseUs)
{
    ++m_accepted;
    Samples &s = m_times[function];
    s.minUs = s.count == 0 ? responseUs : std::min(s.minUs, responseUs);
    s.maxUs = s.count == 0 ? responseUs : std::max(s.maxUs, responseUs);
    ++s.count;
    if (s.recent.size() < RecentSamples) {
        s.recent.append(responseUs);
    } else {
        s.recent[s.next] = responseUs;
        s.next = (s.next + 1) % RecentSamples;
    }
}

void LinkStatistics::errorReply(int errorCode)
{
    ++m_errors[errorCode];
}

void LinkStatistics::wrongReply()
{
    ++m_wrong;
}

void LinkStatistics::badCrcReply()
{
    ++m_badCrc;
}

void LinkStatistics::timeout()
{
    ++m_timeouts;
}

int LinkStatistics::errorRepliesTotal() const
{
    int total = 0;
    for (int count : m_errors)
        total += count;
    return total;
}

QMap<int, LinkStatistics::Times> LinkStatistics::responseTimes() const
{
    QMap<int, Times> result;
    for (auto it = m_times.cbegin(); it != m_times.cend(); ++it) {
        const Samples &s = it.value();
        QList<qint64> recent = s.recent;
        // The upper median of an even count: always a time that was measured.
        const auto middle = recent.begin() + recent.size() / 2;
        std::nth_element(recent.begin(), middle, recent.end());
        result.insert(it.key(), Times{s.count, s.minUs, recent.isEmpty() ? 0 : *middle, s.maxUs});
    }
    return result;
}

QStringList LinkStatistics::report() const
{
    const auto ms = [](qint64 us) { return QString::number(us / 1000.0, 'f', 1); };
    QStringList lines;
    lines << QStringLiteral("Запросов отправлено: %1").arg(m_sent)
          << QStringLiteral("Ответов принято: %1").arg(m_accepted)
          << QStringLiteral("Тайм-аутов: %1").arg(m_timeouts);
    QStringList byCode;
    for (auto it = m_errors.cbegin(); it != m_errors.cend(); ++it)
        byCode << QStringLiteral("код %1: %2").arg(it.key()).arg(it.value());
    lines << QStringLiteral("Ответов с ошибкой: %1").arg(errorRepliesTotal())
                 + (byCode.isEmpty() ? QString() : QStringLiteral(" (") + byCode.join(QStringLiteral(", ")) + ')');
    lines << QStringLiteral("Неверных ответов: %1").arg(m_wrong)
          << QStringLiteral("Ответов с неверной контрольной суммой: %1").arg(m_badCrc);
    const QMap<int, Times> times = responseTimes();
    if (!times.isEmpty())
        lines << QStringLiteral("Время ответа, мс (мин. / медиана / макс.):");
    for (auto it = times.cbegin(); it != times.cend(); ++it)
        lines << QStringLiteral("  %1 (%2): %3 / %4 / %5, ответов: %6")
                     .arg(it.key())
                     .arg(CommandName(it.key()), ms(it->minUs), ms(it->medianUs), ms(it->maxUs))
                     .arg(it->count);
    return lines;
}

} // namespace kelvar::link
