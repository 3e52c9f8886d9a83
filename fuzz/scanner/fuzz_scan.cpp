// Feeds arbitrary bytes to the scanner's receive buffer, in pieces whose
// sizes the first byte chooses: no crash, every code within the meter
// number's range, and the same codes however the stream was cut.

#include "scanner/ScanBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kelvar::scanner;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    const qsizetype piece = data[0] % 16 + 1;

    ScanBuffer whole;
    const QList<int> expected = whole.append(bytes);
    ScanBuffer cut;
    QList<int> codes;
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        codes += cut.append(bytes.mid(at, piece));
    if (codes != expected || cut.pending() != whole.pending())
        std::abort();
    for (int code : codes)
        if (code < 0 || code > ScanBuffer::MaxNumber)
            std::abort();
    return 0;
}
