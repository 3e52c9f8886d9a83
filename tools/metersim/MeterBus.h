#pragma once
// Several simulated meters on one line, free of any I/O like MeterModel: the
// bytes the program sends reach the meters as they would on an RS-485 bus,
// and each meter answers for itself.
//
// "MODBUS" meters hear every byte and pick out the frames carrying their own
// address. In "Rs-485" the ninth bit marks the address byte, which every
// meter hears; the frame behind it reaches only the meter it addressed, so
// only that one echoes and answers. A pseudo-terminal carries no ninth bit:
// a byte that arrives alone while no frame is under way stands for an
// address byte.

#include "MeterModel.h"

#include <QList>

#include <memory>
#include <vector>

namespace kelvar::sim {

// What one meter of the bus made of bytes from the line.
struct MeterFeed {
    int meter = 0; // index on the bus
    FeedResult result;
};

class MeterBus {
public:
    MeterBus(); // one factory meter
    ~MeterBus();
    MeterBus(const MeterBus &) = delete;
    MeterBus &operator=(const MeterBus &) = delete;

    // Adds a meter to the line; returns its index.
    int add(const MeterState &state, qint64 hostMs);
    int size() const { return static_cast<int>(m_meters.size()); }
    MeterModel &meter(int index) { return *m_meters.at(static_cast<size_t>(index)); }
    const MeterModel &meter(int index) const { return *m_meters.at(static_cast<size_t>(index)); }

    // Bytes arrived from the line at hostMs: what each meter that did
    // something with them made of them, in meter order.
    QList<MeterFeed> feed(const QByteArray &bytes, qint64 hostMs);

private:
    std::vector<std::unique_ptr<MeterModel>> m_meters;
    int m_addressed = -1; // "Rs-485": the meter the last address byte was for
};

} // namespace kelvar::sim
