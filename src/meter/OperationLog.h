#pragma once
// The bench operation log: one line per confirmed write to a meter, kept in a
// Windows-1251 text file with CR LF line ends in the start directory, and the
// view of the lines that belong to one meter number.
//
// A line is the meter number as six digits, "[", the date and time in the
// workstation's locale, "] " and the entry text. New lines are appended to the
// end of the file; the earlier lines are never rewritten, so a failed write
// (disk full, the program killed) can lose at most the line being written.

#include "meter/OperationLogSink.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelvar::meter {

class OperationLog : public OperationLogSink
{
public:
    static constexpr const char *FileName = "Setting_Kelvar_517.log";
    // The log file in a directory (the start directory of the program).
    static QString pathIn(const QString &directory);

    explicit OperationLog(QString path = {});

    const QString &path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    // Production mode keeps no local log: appending then does nothing.
    void setEnabled(bool on) { m_enabled = on; }
    bool isEnabled() const { return m_enabled; }

    // One line of the log, without its line end.
    static QString formatLine(quint32 meterNumber, const QDateTime &when, const QString &text);
    // The six-character key the lines of one meter number begin with.
    static QString filterKey(qint64 number);

    // Appends one line stamped with the current time. Returns false when the
    // line could not be written; the file then holds exactly what it held
    // before. Callers swallow the failure: a log entry never stops a write.
    bool AddToOperationLog(quint32 meterNumber, const QString &text) const override;
    bool append(quint32 meterNumber, const QString &text, const QDateTime &when) const;

    // The entries of one meter number in file order, each from its "[" on.
    // A missing or unreadable file gives what could be read (nothing).
    QStringList entriesFor(qint64 number) const;

private:
    QString m_path;
    bool m_enabled = true;
};

} // namespace kelvar::meter
