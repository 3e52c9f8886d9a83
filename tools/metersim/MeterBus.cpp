#include "MeterBus.h"

namespace kelvar::sim {

namespace {
bool rs485(const MeterModel &meter)
{
    return meter.rawState().protocol == link::Protocol::Rs485;
}
bool worthReporting(const FeedResult &r)
{
    return !r.sends.isEmpty() || !r.requests.isEmpty() || r.linkChangeAfterSends || r.stateChanged;
}
} // namespace

MeterBus::MeterBus()
{
    m_meters.push_back(std::make_unique<MeterModel>());
}

MeterBus::~MeterBus() = default;

int MeterBus::add(const MeterState &state, qint64 hostMs)
{
    m_meters.push_back(std::make_unique<MeterModel>());
    m_meters.back()->setState(state, hostMs);
    return size() - 1;
}

QList<MeterFeed> MeterBus::feed(const QByteArray &bytes, qint64 hostMs)
{
    // One meter alone on the line keeps its own framing rules.
    if (m_meters.size() == 1)
        return {{0, m_meters.front()->feed(bytes, hostMs)}};

    QList<MeterFeed> out;
    auto feedOne = [&](int index) {
        FeedResult r = meter(index).feed(bytes, hostMs);
        if (worthReporting(r))
            out.append({index, std::move(r)});
    };
    const bool addressByte =
        bytes.size() == 1 && !(m_addressed >= 0 && rs485(meter(m_addressed)) && meter(m_addressed).midFrame(hostMs));
    if (addressByte) {
        m_addressed = -1;
        for (int i = 0; i < size(); ++i) {
            if (!rs485(meter(i)))
                continue;
            meter(i).abandonFrame();
            if (m_addressed < 0 && meter(i).rawState().address == static_cast<quint8>(bytes[0]))
                m_addressed = i;
        }
    }
    for (int i = 0; i < size(); ++i)
        if (rs485(meter(i)) ? i == m_addressed : true)
            feedOne(i);
    return out;
}

} // namespace kelvar::sim
