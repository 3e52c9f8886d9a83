#pragma once
// The traffic log of the protocol view as a file, and its optional time
// stamps. Widget-free: the protocol tab hands over the view's text.

#include <QString>

class QTime;

namespace kelvar::link {

// "hh:mm:ss.zzz " in front of a line (the workstation time with milliseconds).
QString timestamped(const QTime &time, const QString &line);

// Writes the text as UTF-8 to path, all or nothing (QSaveFile), exactly as
// given. False with a message in error when the file cannot be written.
bool saveTrafficLog(const QString &path, const QString &text, QString *error = nullptr);

} // namespace kelvar::link
