#include "Platform.h"

#ifdef Q_OS_WIN
#include <windows.h>
#include <lmcons.h>
#else
#include <QFile>
#include <pwd.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>
#endif

namespace kelvar::platform {

#ifdef Q_OS_WIN

QString computerName()
{
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(buffer, &size))
        return {};
    return QString::fromWCharArray(buffer, static_cast<int>(size));
}

QString userName()
{
    wchar_t buffer[UNLEN + 1];
    DWORD size = UNLEN + 1;
    if (!GetUserNameW(buffer, &size) || size == 0)
        return {};
    return QString::fromWCharArray(buffer, static_cast<int>(size) - 1);
}

MemoryStatus memoryStatus()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    MemoryStatus result;
    if (GlobalMemoryStatusEx(&status)) {
        result.ok = true;
        result.totalPhysical = status.ullTotalPhys;
        result.availablePhysical = status.ullAvailPhys;
    }
    return result;
}

bool setLocalTime(const QDateTime &localTime)
{
    const QDate d = localTime.date();
    const QTime t = localTime.time();
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(d.year());
    st.wMonth = static_cast<WORD>(d.month());
    st.wDay = static_cast<WORD>(d.day());
    st.wDayOfWeek = static_cast<WORD>(d.dayOfWeek() % 7);
    st.wHour = static_cast<WORD>(t.hour());
    st.wMinute = static_cast<WORD>(t.minute());
    st.wSecond = static_cast<WORD>(t.second());
    st.wMilliseconds = static_cast<WORD>(t.msec());
    return SetLocalTime(&st) != 0;
}

#else

QString computerName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return QString::fromLocal8Bit(buffer);
}

QString userName()
{
    if (const passwd *entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

// "MemTotal:  16318480 kB" -> bytes; 0 when the line is missing.
static quint64 meminfoValue(const QByteArray &meminfo, const QByteArray &name)
{
    for (const QByteArray &line : meminfo.split('\n')) {
        if (!line.startsWith(name + ':'))
            continue;
        const QList<QByteArray> parts = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const quint64 kb = parts.value(0).toULongLong(&ok);
        return ok ? kb * 1024 : 0;
    }
    return 0;
}

MemoryStatus memoryStatus()
{
    MemoryStatus result;
    QFile file(QStringLiteral("/proc/meminfo"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray meminfo = file.readAll();
        result.totalPhysical = meminfoValue(meminfo, "MemTotal");
        // What new programs can have without swapping; older kernels lack the line.
        result.availablePhysical = meminfoValue(meminfo, "MemAvailable");
        if (result.availablePhysical == 0)
            result.availablePhysical = meminfoValue(meminfo, "MemFree");
        result.ok = result.totalPhysical > 0;
    }
    if (!result.ok) {
        struct sysinfo info {};
        if (sysinfo(&info) == 0) {
            result.ok = true;
            result.totalPhysical = quint64(info.totalram) * info.mem_unit;
            result.availablePhysical = quint64(info.freeram) * info.mem_unit;
        }
    }
    return result;
}

bool setLocalTime(const QDateTime &localTime)
{
    const qint64 ms = localTime.toMSecsSinceEpoch();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ms / 1000);
    ts.tv_nsec = static_cast<long>((ms % 1000) * 1000000);
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

#endif

} // namespace kelvar::platform
