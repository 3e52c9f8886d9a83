#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
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

} // namespace kelvar::test
