#include "link/TrafficLog.h"

#include <QSaveFile>
#include <QTime>

namespace kelvar::link {

QString timestamped(const QTime &time, const QString &line)
{
    return time.toString(QStringLiteral("hh:mm:ss.zzz ")) + line;
}

bool saveTrafficLog(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

} // namespace kelvar::link
