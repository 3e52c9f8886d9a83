#include "Password.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <iostream>
#include <string>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace kelvar::cli {

std::optional<QString> readPasswordFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--password-file: %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // A password is short: the first line is enough, and a device that never
    // ends a line is not read forever.
    QByteArray line = file.readLine(256);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

bool readableByOthers(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

std::optional<QString> askOnTerminal(const QString &prompt)
{
#ifdef Q_OS_UNIX
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios old{};
    const bool quiet = tcgetattr(STDIN_FILENO, &old) == 0;
    if (quiet) {
        termios hidden = old;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    std::getline(std::cin, line);
    if (quiet)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputc('\n', stderr);
    return QString::fromLocal8Bit(line.c_str());
#else
    Q_UNUSED(prompt);
    return std::nullopt;
#endif
}

} // namespace kelvar::cli
