#include "ScanBuffer.h"

namespace kelvar::scanner {

int ScanBuffer::readCode(const QByteArray &code)
{
    // Blanks and control characters (every byte up to the blank) go at both ends.
    qsizetype begin = 0;
    qsizetype end = code.size();
    while (begin < end && quint8(code[begin]) <= ' ')
        ++begin;
    while (end > begin && quint8(code[end - 1]) <= ' ')
        --end;
    const QByteArray digits = code.mid(begin, end - begin);
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok, 10);
    if (!ok || value < 0)
        return 0;
    return value > MaxNumber ? MaxNumber : int(value);
}

QList<int> ScanBuffer::append(const QByteArray &bytes)
{
    m_buffer += bytes;
    QList<int> codes;
    qsizetype cr;
    while ((cr = m_buffer.indexOf('\r')) >= 0) {
        codes.append(readCode(m_buffer.left(cr)));
        m_buffer.remove(0, cr + 1);
    }
    return codes;
}

} // namespace kelvar::scanner
