#pragma once
// The scanner's receive buffer: collects the bytes of the scanner port and
// gives a code each time a carriage return completes one. A code is the text
// before the carriage return with blanks and control characters removed at
// both ends (so the LF of a CR LF ending, which starts the next code, goes
// too), read as a decimal number; a text that is not one gives 0, and a
// number beyond the meter number's range is held at its largest value.

#include <QByteArray>
#include <QList>

namespace kelvar::scanner {

class ScanBuffer
{
public:
    static constexpr int MaxNumber = 131071;   // the largest meter serial number (17 bits)

    // Appends received bytes and returns the codes they completed, in order.
    // Several codes in one piece each count; what follows the last carriage
    // return waits for the next piece.
    QList<int> append(const QByteArray &bytes);

    // The bytes received since the last complete code.
    const QByteArray &pending() const { return m_buffer; }
    void clear() { m_buffer.clear(); }

    // One code as the scanner sent it, without its carriage return.
    static int readCode(const QByteArray &code);

private:
    QByteArray m_buffer;
};

} // namespace kelvar::scanner
