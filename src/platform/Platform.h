#pragma once
// The few operating-system services the program needs that Qt does not
// offer portably: computer and user names, the physical memory status and
// setting the workstation clock. Each has a Linux and a Windows branch.

#include <QDateTime>
#include <QString>

namespace kelvar::platform {

QString computerName();
QString userName();

struct MemoryStatus {
    bool ok = false;
    quint64 totalPhysical = 0;     // bytes
    quint64 availablePhysical = 0; // bytes
};
// Real 64-bit amounts (a 32-bit status would cap both at 4 GB).
MemoryStatus memoryStatus();

// Sets the workstation clock to a local time; false when the system refused
// (usually for lack of rights).
bool setLocalTime(const QDateTime &localTime);

} // namespace kelvar::platform
