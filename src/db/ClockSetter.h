#pragma once
// Setting the workstation clock, behind an interface: the program sets the
// real clock (which needs the right to do so), tests record what would have
// been set and never touch the machine's clock.

#include <QDateTime>

namespace kelvar::db {

class ClockSetter
{
public:
    virtual ~ClockSetter() = default;
    // Sets the workstation clock to a local time; false when the system refused.
    virtual bool setLocalTime(const QDateTime &localTime) = 0;
};

// The workstation's own clock (platform::setLocalTime).
class SystemClockSetter : public ClockSetter
{
public:
    bool setLocalTime(const QDateTime &localTime) override;
};

} // namespace kelvar::db
