#pragma once
// Where the owners of meter writes note each confirmed write: the bench
// operation log (OperationLog) in the program, any other record elsewhere.
// The owners know only this interface, not where the lines go.

#include <QString>
#include <QtGlobal>

namespace kelvar::meter {

class OperationLogSink
{
public:
    virtual ~OperationLogSink() = default;

    // Notes one write to the meter with this number. Returns false when the
    // note could not be kept; callers swallow that: a note never stops a write.
    virtual bool AddToOperationLog(quint32 meterNumber, const QString &text) const = 0;
};

} // namespace kelvar::meter
