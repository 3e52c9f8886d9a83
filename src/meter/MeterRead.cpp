#include "MeterRead.h"

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/ExchangeEngine.h"
#include "meter/MeterInfo.h"
#include "meter/ResponseDispatcher.h"

#include <QJsonObject>

namespace kelvar::meter {

PollCycleWatch::PollCycleWatch(ResponseDispatcher &dispatcher, MeterInfo &info, QObject *parent)
    : QObject(parent)
{
    // The dispatcher announces a reply before its owner decodes it: count it
    // once the decoding has run.
    connect(&dispatcher, &ResponseDispatcher::responseAccepted, this, &PollCycleWatch::accepted,
            Qt::QueuedConnection);
    connect(&info, &MeterInfo::infoReset, this, [this] {
        if (m_running && !m_seen.isEmpty()) {
            m_seen.clear();
            emit progress(0, total());
        }
    });
}

int PollCycleWatch::total()
{
    return static_cast<int>(MeterInfo::codes().size());
}

void PollCycleWatch::start()
{
    m_seen.clear();
    m_running = true;
    emit progress(0, total());
}

void PollCycleWatch::accepted(const QByteArray &response)
{
    if (!m_running || response.isEmpty())
        return;
    const quint8 code = link::byteAt(response, 0);
    // Function 8 carries the schedule checksum only with length byte 4.
    if (!MeterInfo::codes().contains(code) || (code == link::fn::ReadSchedule && link::byteAt(response, 1) != 4))
        return;
    if (m_seen.contains(code))
        return;
    m_seen.insert(code);
    emit progress(done(), total());
    if (done() == total()) {
        m_running = false;
        emit cycleComplete();
    }
}

MeterReading readingFrom(const MeterInfo &info, const link::ExchangeEngine &engine)
{
    const QJsonObject &t = info.typedValues();
    MeterReading m;
    if (engine.isConnected())
        m.link = MeterReading::Link{engine.protocol(), engine.address(), engine.baudIndex(), engine.parityIndex()};
    const auto integer = [&t](const char *name) -> std::optional<int> {
        const QJsonValue v = t.value(QLatin1String(name));
        return v.isDouble() ? std::optional<int>(v.toInt()) : std::nullopt;
    };
    const QJsonValue clock = t.value(QLatin1String("clock"));
    if (clock.isString())
        m.clock = QDateTime::fromString(clock.toString(), Qt::ISODate);
    if (t.value(QLatin1String("summerTime")).isBool())
        m.summerTime = t.value(QLatin1String("summerTime")).toBool();
    m.billingDay = integer("billingDay");
    m.billingHour = integer("billingHour");
    m.displayMask = integer("displayMask");
    m.peakMinutes = integer("peakIntegrationMinutes");
    m.penaltySeconds = integer("penaltyIntegrationSeconds");
    if (t.value(QLatin1String("description")).isString())
        m.description = t.value(QLatin1String("description")).toString();
    if (const auto number = integer("number"))
        m.number = static_cast<quint32>(*number);
    return m;
}

} // namespace kelvar::meter
