#include "Catalogue.h"

#include "Encoding.h"
#include "common/TextFormat.h"

#include <array>

namespace kelvar::link {

namespace {
struct NamedCommand {
    quint8 code;
    const char *name;
};
// Sorted by code.
constexpr NamedCommand Names[] = {
    {0, "чтение версии ПО"},
    {1, "чтение номера"},
    {2, "запись номера"},
    {3, "запись параметров Rs-485"},
    {4, "чтение времени"},
    {5, "запись времени"},
    {6, "чтение коэффициента лимита тарифного расписания"},
    {7, "запись коэффициента лимита тарифного расписания"},
    {8, "чтение тарифного расписания"},
    {9, "запись тарифного расписания"},
    {10, "чтение коэффициентов калибровки"},
    {11, "запись коэффициентов калибровки"},
    {12, "чтение мощности нагрузки"},
    {13, "чтение индикатора"},
    {14, "запись индикатора"},
    {15, "чтение показаний"},
    {17, "чтение счетчиков работы и коррекции"},
    {18, "чтение годового журнала"},
    {19, "чтение пофазных показаний"},
    {20, "ввод пароля"},
    {28, "чтение суточного журнала"},
    {29, "чтение профиля нагрузки"},
    {30, "чтение времени интегрирования пиковой мощности"},
    {31, "запись времени интегрирования пиковой мощности"},
    {34, "чтение расчетного дня и часа"},
    {35, "запись расчетного дня и часа"},
    {36, "сброс показаний РДЧ"},
    {38, "чтение праздников"},
    {39, "запись праздников"},
    {40, "чтение переносов"},
    {41, "запись переносов"},
    {43, "чтение пиковых мощностей"},
    {44, "чтение даты калибровки"},
    {45, "чтение температуры"},
    {48, "чтение описания"},
    {49, "запись описания"},
    {50, "чтение журнала установок"},
    {51, "чтение журнала включений"},
    {78, "чтение периода усреднения мощности"},
    {79, "запись периода усреднения мощности"},
};

const char *findName(int code)
{
    for (const auto &entry : Names)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

constexpr std::array<quint8, PollCycleLength> PollCodes{1, 0, 4, 8, 12, 13, 15, 17, 19, 30, 34, 43, 44, 45, 48, 78};

QByteArray indexed(quint8 code, quint8 index, const QByteArray &rest = {})
{
    return request(code, QByteArray(1, static_cast<char>(index)) + rest);
}
} // namespace

QString CommandName(int code)
{
    const char *name = findName(code & 0x7F);
    return name ? QString::fromUtf8(name) : QStringLiteral("неизвестная функция");
}

bool isKnownCommand(int code)
{
    return code >= 0 && code < 128 && findName(code) != nullptr;
}

quint8 pollCode(int index)
{
    return (index >= 0 && index < PollCycleLength) ? PollCodes[index] : quint8(fn::ReadNumber);
}

QByteArray PollRequest(int index)
{
    return request(pollCode(index));
}

QByteArray request(quint8 code, const QByteArray &data)
{
    QByteArray frame;
    frame.reserve(2 + data.size());
    frame.append(static_cast<char>(code));
    frame.append(static_cast<char>((2 + data.size()) & 0xFF));
    frame.append(data);
    return frame;
}

static QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v & 0xFF));
    return out;
}

QByteArray passwordRequest(quint32 password) { return request(fn::Password, encodePassword(password)); }
QByteArray writeNumberRequest(quint32 number) { return request(fn::WriteNumber, encodeSerialNumber(number)); }

int baudRate(int baudIndex)
{
    static constexpr int rates[] = {4800, 9600, 19200, 38400};
    return baudIndex >= 0 && baudIndex < 4 ? rates[baudIndex] : rates[0];
}

quint8 linkByte(int baudIndex, bool modbus, int parityIndex)
{
    quint8 value = static_cast<quint8>(baudIndex & 0x03);
    if (modbus) {
        static constexpr quint8 parityBits[] = {0x40, 0x50, 0x70};
        value |= parityBits[(parityIndex >= 0 && parityIndex <= 2) ? parityIndex : 0];
    }
    return value;
}

QByteArray writeLinkRequest(quint8 address, quint8 link) { return request(fn::WriteLink, bytes({address, link})); }
QByteArray writeTimeRequest(const QDateTime &time, bool summerTime)
{
    return request(fn::WriteTime, encodeMeterClock(time, summerTime));
}
QByteArray writeLimitRequest(quint8 coefficient) { return request(fn::WriteLimit, bytes({coefficient})); }
QByteArray readScheduleRecordRequest(quint8 index) { return indexed(fn::ReadSchedule, index); }
QByteArray clearScheduleRequest() { return request(fn::WriteSchedule); }
QByteArray writeScheduleRecordRequest(quint8 index, const QByteArray &record7)
{
    return indexed(fn::WriteSchedule, index, record7);
}
QByteArray writeCalibrationRequest(int a, int b, int c)
{
    QByteArray data;
    appendS16(data, a);
    appendS16(data, b);
    appendS16(data, c);
    return request(fn::WriteCalibration, data);
}
QByteArray writeDisplayRequest(quint8 mask) { return request(fn::WriteDisplay, bytes({mask})); }
QByteArray readYearJournalRequest(int monthIndex, int year)
{
    return request(fn::ReadYearJournal, bytes({monthIndex, year - 2000}));
}
QByteArray readDayJournalRequest(int day, int monthIndex, int year)
{
    return request(fn::ReadDayJournal, bytes({day, monthIndex, year - 2000}));
}
QByteArray readProfileRequest(int day, int monthIndex, int year)
{
    return request(fn::ReadProfile, bytes({day, monthIndex, year - 2000}));
}
QByteArray writeIntegrationRequest(int minutes) { return request(fn::WriteIntegration, bytes({minutes - 1})); }
QByteArray writeBillingRequest(int day, int hour)
{
    return request(fn::WriteBilling, bytes({bcdEncode(hour), bcdEncode(day)}));
}
QByteArray readHolidayRequest(quint8 index) { return indexed(fn::ReadHoliday, index); }
QByteArray clearHolidaysRequest() { return request(fn::WriteHoliday); }
QByteArray writeHolidayRequest(quint8 index, const QByteArray &entry2) { return indexed(fn::WriteHoliday, index, entry2); }
QByteArray readTransferRequest(quint8 index) { return indexed(fn::ReadTransfer, index); }
QByteArray clearTransfersRequest() { return request(fn::WriteTransfer); }
QByteArray writeTransferRequest(quint8 index, const QByteArray &entry4) { return indexed(fn::WriteTransfer, index, entry4); }

QByteArray writeDescriptionRequest(const QString &description)
{
    QByteArray text = text::toCp1251(description).left(DescriptionSize);
    text.append(QByteArray(DescriptionSize - text.size(), '\0'));
    return request(fn::WriteDescription, text);
}

QByteArray readSettingsJournalRequest(quint8 index) { return indexed(fn::ReadSettingsJournal, index); }
QByteArray readPowerJournalRequest(quint8 index) { return indexed(fn::ReadPowerJournal, index); }
QByteArray writeAveragingRequest(quint8 value) { return request(fn::WriteAveraging, bytes({value})); }

} // namespace kelvar::link
