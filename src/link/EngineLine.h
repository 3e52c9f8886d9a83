#pragma once
// The exchange engine's line, lent to a borrower such as the meter scan. A
// connected engine is disconnected while the line is lent (its poll cycle
// stops, nothing of its own goes out) and connected again when the line comes
// back, so polling starts afresh at the engine's own address; the line of an
// engine that was not connected is opened with its settings and closed again.

#include "link/LineProbe.h"

namespace kelvar::link {

class ExchangeEngine;

class EngineLine final : public LineLender
{
public:
    explicit EngineLine(ExchangeEngine &engine);

    // nullptr while lent already, while a write batch is pending, while the
    // port is lost, or when the port cannot be opened.
    SerialChannel *lendLine() override;
    void takeLineBack() override;
    LineFormat lineFormat() const override;
    bool isLent() const { return m_lent; }

private:
    ExchangeEngine &m_engine;
    bool m_lent = false;
    bool m_reconnect = false;
};

} // namespace kelvar::link
