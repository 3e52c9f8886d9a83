#include "OperationLog.h"

#include "common/TextFormat.h"

#include <QDir>
#include <QFile>

namespace kelvar::meter {

QString OperationLog::pathIn(const QString &directory)
{
    return QDir(directory).filePath(QString::fromLatin1(FileName));
}

OperationLog::OperationLog(QString path)
    : m_path(std::move(path))
{
}

QString OperationLog::formatLine(quint32 meterNumber, const QDateTime &when, const QString &text)
{
    return QStringLiteral("%1[%2] %3").arg(meterNumber, 6, 10, QLatin1Char('0')).arg(text::dateTime(when), text);
}

QString OperationLog::filterKey(qint64 number)
{
    QString key = QString::number(number);
    while (key.size() < 6)
        key.prepend(QLatin1Char('0'));
    return key;
}

bool OperationLog::AddToOperationLog(quint32 meterNumber, const QString &text) const
{
    return append(meterNumber, text, QDateTime::currentDateTime());
}

bool OperationLog::append(quint32 meterNumber, const QString &text, const QDateTime &when) const
{
    if (!m_enabled)
        return true;
    if (m_path.isEmpty())
        return false;
    QFile file(m_path);
    // Unbuffered: a write that fails leaves nothing behind for close() to retry.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    const qint64 oldSize = file.size();

    QByteArray bytes;
    // A file whose last line lost its line end (written by hand, cut short)
    // gets one first, so the new entry starts a line of its own.
    if (oldSize > 0) {
        char last = 0;
        if (!file.seek(oldSize - 1) || !file.getChar(&last))
            return false;
        if (last != '\n')
            bytes = "\r\n";
    }
    bytes += text::toCp1251(formatLine(meterNumber, when, text));
    bytes += "\r\n";

    bool ok = file.seek(oldSize) && file.write(bytes) == bytes.size() && file.flush();
    if (!ok) {
        // Take back a partly written line so the file ends where it ended before.
        file.unsetError();
        file.resize(oldSize);
    }
    file.close();
    return ok;
}

QStringList OperationLog::entriesFor(qint64 number) const
{
    QStringList entries;
    QFile file(m_path);
    if (m_path.isEmpty() || !file.exists() || !file.open(QIODevice::ReadOnly))
        return entries;
    const QString key = filterKey(number);
    const QString all = text::fromCp1251(file.readAll());
    // Lines end with CR LF, LF or CR alone.
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = start;
        while (end < all.size() && all[end] != QLatin1Char('\n') && all[end] != QLatin1Char('\r'))
            ++end;
        const QStringView line = QStringView(all).mid(start, end - start);
        if (line.left(6) == key)
            entries << line.mid(6).toString();
        if (end < all.size() && all[end] == QLatin1Char('\r') && end + 1 < all.size() && all[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
    return entries;
}

} // namespace kelvar::meter
