#include "link/EngineLine.h"

#include "link/Catalogue.h"
#include "link/ExchangeEngine.h"
#include "link/SerialChannel.h"

namespace kelvar::link {

EngineLine::EngineLine(ExchangeEngine &engine) : m_engine(engine) {}

SerialChannel *EngineLine::lendLine()
{
    if (m_lent || m_engine.writeBatchPending() || m_engine.portLost())
        return nullptr;
    m_reconnect = m_engine.isConnected();
    if (m_reconnect)
        m_engine.ActionDisconnectExecute();
    SerialChannel *channel = m_engine.channel();
    channel->setPortName(m_engine.portName());
    channel->setBaudRate(baudRate(m_engine.baudIndex()));
    if (!channel->open()) {
        if (m_reconnect)
            m_engine.ActionConnectExecute();
        return nullptr;
    }
    m_lent = true;
    return channel;
}

void EngineLine::takeLineBack()
{
    if (!m_lent)
        return;
    m_lent = false;
    m_engine.channel()->close();
    if (m_reconnect)
        m_engine.ActionConnectExecute();
}

LineFormat EngineLine::lineFormat() const
{
    return {m_engine.protocol(), baudRate(m_engine.baudIndex()), m_engine.parityIndex()};
}

} // namespace kelvar::link
