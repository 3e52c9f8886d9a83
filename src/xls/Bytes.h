// Little-endian byte packing for the workbook engine, and a bounds-checked
// reader used by every parser so that malformed input can never read past
// its buffer.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstring>

namespace kelvar::xls {

inline void putU8(QByteArray &out, quint8 v) { out.append(char(v)); }

inline void putU16(QByteArray &out, quint16 v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

inline void putU32(QByteArray &out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

inline void putF64(QByteArray &out, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out.append(char((bits >> (8 * i)) & 0xFF));
}

inline void patchU32(QByteArray &out, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = char((v >> (8 * i)) & 0xFF);
}

inline quint16 getU16(const char *p)
{
    return quint16(quint8(p[0]) | (quint8(p[1]) << 8));
}

inline quint32 getU32(const char *p)
{
    return quint32(quint8(p[0])) | (quint32(quint8(p[1])) << 8)
        | (quint32(quint8(p[2])) << 16) | (quint32(quint8(p[3])) << 24);
}

inline double getF64(const char *p)
{
    quint64 bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= quint64(quint8(p[i])) << (8 * i);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Reads fields from one buffer. Every read checks the remaining length; after
// the first failed read ok() stays false and every further read yields zero.
class ByteReader {
public:
    explicit ByteReader(QByteArrayView data) : m_data(data) {}

    bool ok() const { return m_ok; }
    qsizetype position() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }

    quint8 u8()
    {
        if (!need(1))
            return 0;
        return quint8(m_data[m_pos++]);
    }
    quint16 u16()
    {
        if (!need(2))
            return 0;
        const quint16 v = getU16(m_data.data() + m_pos);
        m_pos += 2;
        return v;
    }
    quint32 u32()
    {
        if (!need(4))
            return 0;
        const quint32 v = getU32(m_data.data() + m_pos);
        m_pos += 4;
        return v;
    }
    double f64()
    {
        if (!need(8))
            return 0.0;
        const double v = getF64(m_data.data() + m_pos);
        m_pos += 8;
        return v;
    }
    QByteArrayView bytes(qsizetype n)
    {
        if (n < 0 || !need(n))
            return {};
        const QByteArrayView v = m_data.sliced(m_pos, n);
        m_pos += n;
        return v;
    }
    void skip(qsizetype n) { bytes(n); }

    // Characters of a BIFF8 string body: one byte each when compressed (the
    // low byte of UTF-16), otherwise two bytes little-endian.
    QString chars(qsizetype count, bool highByte)
    {
        const QByteArrayView raw = bytes(highByte ? count * 2 : count);
        if (!m_ok)
            return {};
        QString s(count, Qt::Uninitialized);
        QChar *dst = s.data();
        for (qsizetype i = 0; i < count; ++i)
            dst[i] = highByte ? QChar(getU16(raw.data() + 2 * i)) : QChar(quint8(raw[i]));
        return s;
    }

private:
    bool need(qsizetype n)
    {
        if (!m_ok || remaining() < n) {
            m_ok = false;
            return false;
        }
        return true;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

} // namespace kelvar::xls
