#include "Encoding.h"

namespace kelvar::link {

quint8 bcdEncode(int value)
{
    return static_cast<quint8>((value % 10) + (value / 10) * 16);
}

int bcdDecode(quint8 byte)
{
    return (byte >> 4) * 10 + (byte & 0x0F);
}

quint8 byteAt(const QByteArray &bytes, int offset)
{
    if (offset < 0 || offset >= bytes.size())
        return 0;
    return static_cast<quint8>(bytes[offset]);
}

quint32 readLE(const QByteArray &bytes, int offset, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | byteAt(bytes, offset + i);
    return value;
}

quint16 readU16(const QByteArray &bytes, int offset) { return static_cast<quint16>(readLE(bytes, offset, 2)); }
quint32 readU24(const QByteArray &bytes, int offset) { return readLE(bytes, offset, 3); }
quint32 readU32(const QByteArray &bytes, int offset) { return readLE(bytes, offset, 4); }

void appendLE(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

qint16 readS16(const QByteArray &bytes, int offset)
{
    return static_cast<qint16>(readU16(bytes, offset));
}

void appendS16(QByteArray &bytes, int value)
{
    appendLE(bytes, static_cast<quint32>(value < 0 ? value + 65536 : value), 2);
}

QByteArray encodeMeterClock(const QDateTime &time, bool summerTime)
{
    const QDate d = time.date();
    const QTime t = time.time();
    QByteArray block;
    block.append(static_cast<char>(bcdEncode(t.second())));
    block.append(static_cast<char>(bcdEncode(t.minute())));
    block.append(static_cast<char>(bcdEncode(t.hour())));
    block.append(static_cast<char>(d.dayOfWeek()));
    block.append(static_cast<char>(bcdEncode(d.day())));
    block.append(static_cast<char>(bcdEncode(d.month())));
    block.append(static_cast<char>(bcdEncode(d.year() - 2000)));
    block.append(static_cast<char>(summerTime ? 0x80 : 0x00));
    return block;
}

MeterClock decodeMeterClock(const QByteArray &bytes, int offset)
{
    MeterClock clock;
    const QTime time(bcdDecode(byteAt(bytes, offset + 2)), bcdDecode(byteAt(bytes, offset + 1)),
                     bcdDecode(byteAt(bytes, offset)));
    const QDate date(2000 + bcdDecode(byteAt(bytes, offset + 6)), bcdDecode(byteAt(bytes, offset + 5)),
                     bcdDecode(byteAt(bytes, offset + 4)));
    if (date.isValid() && time.isValid())
        clock.time = QDateTime(date, time);
    clock.status = byteAt(bytes, offset + 7);
    clock.summerTime = clock.status & 0x80;
    clock.timeNotSet = clock.status & 0x40;
    clock.clockFault = clock.status & 0x20;
    clock.tariff = (clock.status & 0x07) + 1;
    return clock;
}

static const QDateTime &epoch2000()
{
    static const QDateTime epoch(QDate(2000, 1, 1), QTime(0, 0));
    return epoch;
}

QDateTime secondsSince2000(quint32 seconds)
{
    // Day arithmetic on a local date-time never meets a daylight-saving gap in
    // the day count; the time of day is added as seconds of that day.
    const QDate date = epoch2000().date().addDays(seconds / 86400);
    return QDateTime(date, QTime(0, 0).addSecs(static_cast<int>(seconds % 86400)));
}

QDateTime readSecondsSince2000(const QByteArray &bytes, int offset)
{
    return secondsSince2000(readU32(bytes, offset));
}

quint32 toSecondsSince2000(const QDateTime &time)
{
    const qint64 days = epoch2000().date().daysTo(time.date());
    const qint64 secs = days * 86400 + QTime(0, 0).secsTo(time.time());
    return secs < 0 ? 0 : static_cast<quint32>(secs);
}

double readEnergyKWh(const QByteArray &bytes, int offset)
{
    return readU32(bytes, offset) * kWhPerCount;
}

quint32 readSerialNumber(const QByteArray &bytes, int offset)
{
    return byteAt(bytes, offset) + byteAt(bytes, offset + 1) * 256u + (byteAt(bytes, offset + 2) & 1u) * 65536u;
}

QByteArray encodeSerialNumber(quint32 number)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(number & 0xFF));
    bytes.append(static_cast<char>((number >> 8) & 0xFF));
    bytes.append(static_cast<char>((number / 65536) & 0xFF));
    return bytes;
}

quint32 readSoftwareVersion(const QByteArray &bytes, int offset)
{
    return bcdDecode(byteAt(bytes, offset)) + bcdDecode(byteAt(bytes, offset + 1)) * 100u +
           bcdDecode(byteAt(bytes, offset + 2)) * 10000u;
}

QByteArray encodePassword(quint32 password)
{
    QByteArray bytes;
    appendLE(bytes, password & 0xFFFF, 2);
    return bytes;
}

} // namespace kelvar::link
