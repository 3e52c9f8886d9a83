#pragma once
// A link that can lend its serial line to a borrower such as the meter scan,
// and what the borrower needs to time the line.

#include "link/Frame.h"

namespace kelvar::link {

class SerialChannel;

// What it takes to time the line: protocol type, speed and character format.
struct LineFormat {
    Protocol protocol = Protocol::Rs485;
    int baud = 4800;
    int parityIndex = 0; // "MODBUS": 0 none (2 stop bits), 1 even, 2 odd

    // Start, 8 data, parity (or the mark/space bit of "Rs-485"), stop bits:
    // 11 in every format the meter speaks.
    int bitsPerCharacter() const;
    qint64 wireUs(qsizetype characters) const;
    qint64 silentUs() const; // the quiet the line needs between frames
};

// A link that can lend its line: while lent it neither polls, sends nor
// reads, and the borrower has the open channel to itself.
class LineLender
{
public:
    virtual ~LineLender() = default;
    // Stops polling and hands over the open channel; nullptr (nothing
    // changes) when the link is down or busy with a write.
    virtual SerialChannel *lendLine() = 0;
    // Takes the channel back; polling resumes at the link's own address.
    virtual void takeLineBack() = 0;
    virtual LineFormat lineFormat() const = 0;
};

} // namespace kelvar::link
