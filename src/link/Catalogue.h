#pragma once
// The commands the program sends to the meter: their names, the poll cycle and
// one builder per request layout. Every builder returns function code, length
// byte (2 + data bytes) and data; the engine adds the address and the CRC.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kelvar::link {

// Function codes.
namespace fn {
enum : quint8 {
    ReadVersion = 0, ReadNumber = 1, WriteNumber = 2, WriteLink = 3, ReadTime = 4, WriteTime = 5,
    ReadLimit = 6, WriteLimit = 7, ReadSchedule = 8, WriteSchedule = 9, ReadCalibration = 10,
    WriteCalibration = 11, ReadLoadPower = 12, ReadDisplay = 13, WriteDisplay = 14, ReadReadings = 15,
    ReadCounters = 17, ReadYearJournal = 18, ReadPhaseReadings = 19, Password = 20, ReadDayJournal = 28,
    ReadProfile = 29, ReadIntegration = 30, WriteIntegration = 31, ReadBilling = 34, WriteBilling = 35,
    ResetBillingReadings = 36, ReadHoliday = 38, WriteHoliday = 39, ReadTransfer = 40, WriteTransfer = 41,
    ReadPeaks = 43, ReadCalibrationDate = 44, ReadTemperature = 45, ReadDescription = 48,
    WriteDescription = 49, ReadSettingsJournal = 50, ReadPowerJournal = 51, ReadAveraging = 78,
    WriteAveraging = 79,
};
}

// The Russian name of a function code (bit 7 ignored); "неизвестная функция" for codes without a name.
QString CommandName(int code);
// True for the codes that have a name (the only codes ever sent).
bool isKnownCommand(int code);

constexpr int PollCycleLength = 16;
// The poll cycle's function code at index (0..15); other indexes give code 1.
quint8 pollCode(int index);
// The two-byte request of the poll cycle at index.
QByteArray PollRequest(int index);

// A request: code, length byte and data (values above 255 keep their low byte).
QByteArray request(quint8 code, const QByteArray &data = {});

// Builders, one per request layout.
QByteArray passwordRequest(quint32 password);                   // 20
QByteArray writeNumberRequest(quint32 number);                  // 2
// Baud rate of a baud index 0..3 (4800, 9600, 19200, 38400); other indexes give 4800.
int baudRate(int baudIndex);

// Link byte: baud index 0..3, plus 0x40 for "MODBUS" without parity, 0x50 even, 0x70 odd.
quint8 linkByte(int baudIndex, bool modbus, int parityIndex);
QByteArray writeLinkRequest(quint8 address, quint8 linkByte);   // 3
QByteArray writeTimeRequest(const QDateTime &time, bool summerTime); // 5
QByteArray writeLimitRequest(quint8 coefficient);               // 7
QByteArray readScheduleRecordRequest(quint8 index);             // 8 with an index
QByteArray clearScheduleRequest();                              // 9 without data
QByteArray writeScheduleRecordRequest(quint8 index, const QByteArray &record7); // 9
QByteArray writeCalibrationRequest(int a, int b, int c);        // 11
QByteArray writeDisplayRequest(quint8 mask);                    // 14
QByteArray readYearJournalRequest(int monthIndex, int year);    // 18
QByteArray readDayJournalRequest(int day, int monthIndex, int year); // 28
QByteArray readProfileRequest(int day, int monthIndex, int year);    // 29
QByteArray writeIntegrationRequest(int minutes);                // 31 (minutes - 1 on the wire)
QByteArray writeBillingRequest(int day, int hour);              // 35: hour (BCD), day (BCD)
QByteArray readHolidayRequest(quint8 index);                    // 38
QByteArray clearHolidaysRequest();                              // 39 without data
QByteArray writeHolidayRequest(quint8 index, const QByteArray &entry2); // 39
QByteArray readTransferRequest(quint8 index);                   // 40
QByteArray clearTransfersRequest();                             // 41 without data
QByteArray writeTransferRequest(quint8 index, const QByteArray &entry4); // 41
// 49: the description in Windows-1251, cut or padded with zero bytes to 48 bytes.
QByteArray writeDescriptionRequest(const QString &description);
QByteArray readSettingsJournalRequest(quint8 index);            // 50
QByteArray readPowerJournalRequest(quint8 index);               // 51
QByteArray writeAveragingRequest(quint8 value);                 // 79

constexpr int DescriptionSize = 48;

} // namespace kelvar::link
