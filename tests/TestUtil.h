#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kelvar::test {

// "05 00 02" -> bytes; blanks are ignored.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Bytes -> "05 00 02" (upper-case), for readable failure messages.
inline QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The whole contents of a file, or "<unreadable>".
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Writes bytes as the whole contents of a file; false when it cannot.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace kelvar::test
