#pragma once
// Field encodings shared by every request and response layout of the meter:
// BCD, little-endian integers, the meter date-time block, seconds since 2000,
// energy counts, serial numbers, software version and password.
// Readers take a byte string and an offset; a field that does not fit in the
// bytes given reads as zero, so a short reply never reads past its end.

#include <QByteArray>
#include <QDateTime>
#include <cstdint>

namespace kelvar::link {

// Two decimal digits, tens in the high nibble. Encoding keeps the low byte of
// (v mod 10) + (v div 10) * 16; decoding makes no validity check (0x1A is 20).
quint8 bcdEncode(int value);
int bcdDecode(quint8 byte);

// Byte at offset, or 0 when the offset is outside the bytes.
quint8 byteAt(const QByteArray &bytes, int offset);

// Little-endian unsigned integers of 2, 3 or 4 bytes.
quint32 readLE(const QByteArray &bytes, int offset, int size);
quint16 readU16(const QByteArray &bytes, int offset);
quint32 readU24(const QByteArray &bytes, int offset);
quint32 readU32(const QByteArray &bytes, int offset);
void appendLE(QByteArray &bytes, quint32 value, int size);

// 16-bit two's complement (calibration coefficients).
qint16 readS16(const QByteArray &bytes, int offset);
void appendS16(QByteArray &bytes, int value);

// The 8-byte meter date-time block.
struct MeterClock {
    QDateTime time;          // local meter time; invalid when the block holds no valid date
    bool summerTime = false; // bit 7: automatic changeover to summer time
    bool timeNotSet = false; // bit 6
    bool clockFault = false; // bit 5
    int tariff = 1;          // bits 0..2 + 1
    quint8 status = 0;       // the raw status byte
};
// Encodes for a clock write: seconds, minutes, hours (BCD), day of week
// (1 = Monday), day, month, year - 2000 (BCD), then 0x80 or 0x00.
QByteArray encodeMeterClock(const QDateTime &time, bool summerTime);
MeterClock decodeMeterClock(const QByteArray &bytes, int offset);

// 4-byte count of seconds since 2000-01-01 00:00:00 (local meter time).
QDateTime secondsSince2000(quint32 seconds);
QDateTime readSecondsSince2000(const QByteArray &bytes, int offset);
quint32 toSecondsSince2000(const QDateTime &time);

// Energy counts: 4000 counts per kWh.
constexpr double kWhPerCount = 0.00025;
double readEnergyKWh(const QByteArray &bytes, int offset);

// Serial number: 17 bits on read (only bit 0 of the third byte counts),
// three bytes number & 0xFF, (number >> 8) & 0xFF, number / 65536 on write.
quint32 readSerialNumber(const QByteArray &bytes, int offset);
QByteArray encodeSerialNumber(quint32 number);

// Software version: three BCD bytes, lowest pair of digits first.
quint32 readSoftwareVersion(const QByteArray &bytes, int offset);

// Password: 16 bits little-endian; higher bits are dropped.
QByteArray encodePassword(quint32 password);

} // namespace kelvar::link
