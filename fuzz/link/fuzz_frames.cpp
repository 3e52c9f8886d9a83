// Feeds arbitrary byte strings to the response classification and every field
// decoder: none may crash, read out of bounds or hang, whatever the meter sends.

#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/Frame.h"

#include <cstddef>
#include <cstdint>

using namespace kelvar::link;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const quint8 address = size ? data[0] : 0;
    const Protocol protocol = (size > 1 && (data[1] & 1)) ? Protocol::Modbus : Protocol::Rs485;

    // The receive path: completion tests on every prefix, as bytes trickle in.
    for (qsizetype n = 0; n <= bytes.size(); ++n) {
        const QByteArray prefix = bytes.left(n);
        isCompleteRs485(prefix);
        if (isCompleteModbus(prefix, address))
            classifyResponse(prefix.mid(1), prefix, Protocol::Modbus);
    }
    classifyResponse(bytes, bytes.left(2), protocol);
    errorReplyText(bytes);
    IsFrameCrcValid(bytes);

    // Field decoders at every offset, including ones past the end.
    for (int offset = -1; offset <= static_cast<int>(size) + 1; ++offset) {
        decodeMeterClock(bytes, offset);
        readSecondsSince2000(bytes, offset);
        readEnergyKWh(bytes, offset);
        readSerialNumber(bytes, offset);
        readSoftwareVersion(bytes, offset);
        readS16(bytes, offset);
        bcdDecode(byteAt(bytes, offset));
    }
    CommandName(address);
    return 0;
}
