#include "Simulation.h"

#include "common/TextFormat.h"
#include "link/ExchangeEngine.h"

namespace kelvar::app {

std::unique_ptr<sim::MeterServer> startSimulatedMeter(QString *error)
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

} // namespace kelvar::app
