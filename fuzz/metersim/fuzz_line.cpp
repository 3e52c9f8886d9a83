// Feeds arbitrary chunks of bytes, at arbitrary pauses, to the simulated
// meter in both protocol types, with arbitrary faults: it must never crash or
// hang, and without faults everything it sends must be a well-formed echo or
// reply.
//
// Input: byte 0 protocol (bit 0) and faults on (bit 1); byte 1 address;
// bytes 2..5 fault parameters; then chunks of [length][pause in ms x 4][bytes].

#include "link/Frame.h"
#include "metersim/MeterModel.h"

#include <cstdint>
#include <cstdlib>

using namespace kelvar;
using namespace kelvar::sim;

namespace {
constexpr qint64 Start = 850000000000LL; // 2026-12-09 on the meter's count, in ms

const MeterState &baseState()
{
    static const MeterState state = [] {
        MeterModel model;
        model.powerOn(Start);
        return model.state(Start);
    }();
    return state;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 6)
        return 0;
    static MeterModel model;
    MeterState state = baseState();
    state.protocol = (data[0] & 1) ? link::Protocol::Modbus : link::Protocol::Rs485;
    state.address = data[1];
    state.accessTimeoutSec = 0;
    model.setState(state, Start);
    model.powerOn(Start);
    const bool faulty = data[0] & 2;
    Faults faults;
    if (faulty) {
        faults.silentReply = data[2] & 3;
        faults.silentFunction = (data[2] & 4) ? data[3] & 0x7F : -1;
        faults.errorFunction = (data[2] & 8) ? data[3] & 0x7F : -1;
        faults.errorCode = data[4] & 7;
        faults.corruptCrc = data[2] & 16;
        faults.replyFunction = (data[2] & 32) ? data[4] : -1;
        faults.delayMs = data[5] & 0x3F;
        faults.pieces = 1 + (data[4] >> 4);
        faults.pieceGapMs = data[5] >> 6;
        faults.garbage = (data[2] & 64) ? QByteArray(1 + (data[3] & 3), char(0xA5)) : QByteArray();
        faults.wireBaud = (data[2] & 128) ? 300 + 100 * data[3] : 0;
        faults.turnaroundMs = data[5] & 7;
        faults.shots = data[3] >> 6;
    }
    model.setFaults(faults);

    qint64 now = Start;
    size_t i = 6;
    while (i + 2 <= size) {
        const size_t length = data[i];
        now += 4 * data[i + 1];
        i += 2;
        const QByteArray chunk(reinterpret_cast<const char *>(data + i),
                               static_cast<qsizetype>(std::min(length, size - i)));
        i += static_cast<size_t>(chunk.size());
        const link::Protocol protocol = model.rawState().protocol;
        const quint8 address = model.rawState().address;
        const FeedResult result = model.feed(chunk, now);
        qint64 last = 0;
        QByteArray sent;
        for (const Transmission &t : result.sends) {
            check(t.atMs >= last && t.atMs < 3600 * 1000);
            last = t.atMs;
            sent += t.bytes;
        }
        if (result.linkChangeAfterSends)
            model.applyLinkChange();
        if (faulty)
            continue;
        // An echo of the address, or complete reply frames one after another.
        if (sent.size() == 1) {
            check(static_cast<quint8>(sent[0]) == address);
            continue;
        }
        const int head = protocol == link::Protocol::Rs485 ? 0 : 1;
        while (!sent.isEmpty()) {
            check(sent.size() >= head + 4);
            const qsizetype frameSize = static_cast<quint8>(sent[head + 1]) + 2 + head;
            check(frameSize <= sent.size());
            const QByteArray frame = sent.left(frameSize);
            check(head ? link::isCompleteModbus(frame, address) : link::IsFrameCrcValid(frame));
            sent.remove(0, frameSize);
        }
    }
    return 0;
}
