#include "Simulation.h"

#include "common/TextFormat.h"
#include "link/ExchangeEngine.h"

namespace kelvar::simulation {

namespace {

class ServedMeter final : public SimulatedMeter
{
public:
    explicit ServedMeter(std::unique_ptr<sim::MeterServer> server)
        : m_server(std::move(server))
    {
    }
    QString devicePath() const override { return m_server->devicePath(); }
    void matchLinkParameters(const link::ExchangeEngine &engine) override
    {
        simulation::matchLinkParameters(*m_server, engine);
    }

private:
    std::unique_ptr<sim::MeterServer> m_server;
};

} // namespace

bool simulatedMeterAvailable()
{
    return true;
}

std::unique_ptr<SimulatedMeter> startSimulatedMeter(QString *error)
{
    std::unique_ptr<sim::MeterServer> server = startSimulatedMeterServer(error);
    if (!server)
        return nullptr;
    return std::make_unique<ServedMeter>(std::move(server));
}

std::unique_ptr<sim::MeterServer> startSimulatedMeterServer(QString *error)
{
    auto server = std::make_unique<sim::MeterServer>();
    server->updateState([](sim::MeterState &state) {
        state.serialNumber = 12345;
        state.description = text::toCp1251(QStringLiteral("Имитатор счетчика")).leftJustified(48, '\0');
    });
    if (!server->start(error))
        return nullptr;
    return server;
}

void matchLinkParameters(sim::MeterServer &server, const link::ExchangeEngine &engine)
{
    server.updateState([&engine](sim::MeterState &state) {
        state.address = static_cast<quint8>(engine.address());
        state.protocol = engine.protocol();
        state.baudIndex = engine.baudIndex();
        state.parity = engine.parityIndex();
    });
}

} // namespace kelvar::simulation
