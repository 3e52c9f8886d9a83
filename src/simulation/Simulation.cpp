#include "Simulation.h"

#include "common/TextFormat.h"
#include "link/ExchangeEngine.h"

namespace kelvar::simulation {

namespace {

class ServedMeter final : public SimulatedMeter
{
public:
    ServedMeter(std::unique_ptr<sim::MeterServer> server, bool line)
        : m_server(std::move(server)), m_line(line)
    {
    }
    QString devicePath() const override { return m_server->devicePath(); }
    void matchLinkParameters(const link::ExchangeEngine &engine) override
    {
        simulation::matchLinkParameters(*m_server, engine, m_line);
    }

private:
    std::unique_ptr<sim::MeterServer> m_server;
    bool m_line;
};

} // namespace

bool simulatedMeterAvailable()
{
    return true;
}

std::unique_ptr<SimulatedMeter> startSimulatedMeter(QString *error, const QList<int> &addresses)
{
    std::unique_ptr<sim::MeterServer> server = startSimulatedMeterServer(error, addresses);
    if (!server)
        return nullptr;
    return std::make_unique<ServedMeter>(std::move(server), !addresses.isEmpty());
}

std::unique_ptr<sim::MeterServer> startSimulatedMeterServer(QString *error, const QList<int> &addresses)
{
    auto server = std::make_unique<sim::MeterServer>();
    server->updateState([](sim::MeterState &state) {
        state.serialNumber = 12345;
        state.description = text::toCp1251(QStringLiteral("Имитатор счетчика")).leftJustified(48, '\0');
    });
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        sim::MeterState state = server->state();
        state.address = static_cast<quint8>(addresses.at(i));
        state.serialNumber = 100000u + static_cast<quint32>(addresses.at(i));
        state.seed += static_cast<quint32>(addresses.at(i));
        if (i == 0)
            server->setState(state);
        else
            server->addMeter(state);
    }
    if (!server->start(error))
        return nullptr;
    return server;
}

void matchLinkParameters(sim::MeterServer &server, const link::ExchangeEngine &engine, bool line)
{
    for (int meter = 0; meter < server.meterCount(); ++meter) {
        server.updateState([&engine, line](sim::MeterState &state) {
            if (!line)
                state.address = static_cast<quint8>(engine.address());
            state.protocol = engine.protocol();
            state.baudIndex = engine.baudIndex();
            state.parity = engine.parityIndex();
        }, meter);
    }
}

} // namespace kelvar::simulation
