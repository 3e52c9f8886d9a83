#include "Commands.h"

#include "History.h"
#include "MeterModel.h"
#include "Tariff.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace kelvar::sim {

using link::appendLE;
using link::bcdDecode;
using link::bcdEncode;
using link::request;

namespace {

// Length bytes each function code accepts, and whether it writes.
struct CommandShape {
    quint8 code;
    quint8 lengths[2];
    bool write;
};
constexpr CommandShape Shapes[] = {
    {0, {2, 0}, false},   {1, {2, 0}, false},   {2, {5, 0}, true},    {3, {4, 0}, true},
    {4, {2, 0}, false},   {5, {10, 0}, true},   {6, {2, 0}, false},   {7, {3, 0}, true},
    {8, {2, 3}, false},   {9, {2, 10}, true},   {10, {2, 0}, false},  {11, {8, 0}, true},
    {12, {2, 0}, false},  {13, {2, 0}, false},  {14, {3, 0}, true},   {15, {2, 0}, false},
    {17, {2, 0}, false},  {18, {4, 0}, false},  {19, {2, 0}, false},  {20, {4, 0}, false},
    {28, {5, 0}, false},  {29, {5, 0}, false},  {30, {2, 0}, false},  {31, {3, 0}, true},
    {34, {2, 0}, false},  {35, {4, 0}, true},   {36, {2, 0}, true},   {38, {3, 0}, false},
    {39, {2, 5}, true},   {40, {3, 0}, false},  {41, {2, 7}, true},   {43, {2, 0}, false},
    {44, {2, 0}, false},  {45, {2, 0}, false},  {48, {2, 0}, false},  {49, {50, 0}, true},
    {50, {3, 0}, false},  {51, {3, 0}, false},  {78, {2, 0}, false},  {79, {3, 0}, true},
};

const CommandShape *shapeOf(quint8 code)
{
    for (const CommandShape &s : Shapes)
        if (s.code == code)
            return &s;
    return nullptr;
}

quint8 at(const QByteArray &data, int i) { return link::byteAt(data, i); }

char ch(int v) { return static_cast<char>(v & 0xFF); }

QByteArray counts(const std::array<quint32, 3> &values)
{
    QByteArray bytes;
    for (quint32 v : values)
        appendLE(bytes, v, 4);
    return bytes;
}

// A record the meter never wrote reads as erased memory.
QByteArray blank(quint8 code, int dataSize) { return request(code, QByteArray(dataSize, ch(0xFF))); }

} // namespace

QByteArray errorBody(quint8 function, quint8 code)
{
    QByteArray body;
    body.append(ch(function | 0x80));
    body.append(ch(3));
    body.append(ch(code));
    return body;
}

Commands::Commands(MeterModel &model, qint64 hostMs)
    : m_model(model), m_state(model.m_state), m_hostMs(hostMs),
      m_now(static_cast<quint32>(std::max(0.0, std::floor(model.meterSeconds(hostMs)))))
{
}

QByteArray Commands::answer(const QByteArray &frame)
{
    const quint8 code = at(frame, 0);
    const int length = at(frame, 1);
    const CommandShape *shape = shapeOf(code);
    if (!shape)
        return errorBody(code, err::UnknownFunction);
    if (length != shape->lengths[0] && length != shape->lengths[1])
        return errorBody(code, err::WrongLength);
    const QByteArray data = frame.mid(2, length - 2);
    m_model.advance(m_hostMs);
    if (code == link::fn::Password)
        return password(data);
    if (!shape->write)
        return read(code, data);
    if (!m_model.writeAccess(m_hostMs))
        return errorBody(code, err::NoAccess);
    m_model.openAccess(m_hostMs);
    return write(code, data);
}

void Commands::journal(quint8 parameter)
{
    // A table written slot by slot makes one entry, not one per slot.
    const bool table = parameter == param::Schedule || parameter == param::Holidays || parameter == param::Transfers;
    if (!(table && !m_state.settingsJournal.isEmpty() && m_state.settingsJournal.first().parameter == parameter))
        m_state.addSettingsEntry(m_now, parameter);
    m_changed = true;
}

QByteArray Commands::password(const QByteArray &data)
{
    const quint16 value = link::readU16(data, 0);
    if (value == m_state.password) {
        m_model.openAccess(m_hostMs);
        return request(link::fn::Password);
    }
    // With write access open, another value is the new password.
    if (!m_model.writeAccess(m_hostMs))
        return errorBody(link::fn::Password, err::NoAccess);
    m_state.password = value;
    m_model.openAccess(m_hostMs);
    journal(param::Password);
    return request(link::fn::Password);
}

QByteArray Commands::read(quint8 code, const QByteArray &data)
{
    namespace fn = link::fn;
    MeterState &s = m_state;
    QByteArray d;
    switch (code) {
    case fn::ReadVersion:
        d.append(ch(bcdEncode(s.versionMinor)));
        d.append(ch(bcdEncode(s.versionMajor)));
        d.append(ch(bcdEncode(s.modelCode % 100)));
        d.append(ch(bcdEncode(s.modelCode / 100 % 100)));
        d.append(ch(bcdEncode(s.modelCode / 10000 % 100)));
        break;
    case fn::ReadNumber:
        d = link::encodeSerialNumber(s.serialNumber);
        break;
    case fn::ReadTime: {
        d = link::encodeMeterClock(link::secondsSince2000(m_now), s.summerTime);
        const int tariff = tariffAt(s, m_now, s.loadKw * 1000);
        d[7] = ch((s.summerTime ? 0x80 : 0) | (s.timeNotSet ? 0x40 : 0) | (s.clockFault ? 0x20 : 0) |
                  ((tariff - 1) & 7));
        break;
    }
    case fn::ReadLimit:
        d.append(ch(s.limitCoefficient));
        break;
    case fn::ReadSchedule: {
        if (data.isEmpty()) {
            appendLE(d, s.scheduleChecksum(), 2);
            break;
        }
        d.append(data[0]);
        d.append(s.zones[at(data, 0)]); // an empty slot answers with its index alone
        break;
    }
    case fn::ReadCalibration:
        for (qint16 c : s.calibration)
            link::appendS16(d, c);
        break;
    case fn::ReadLoadPower:
        appendLE(d, static_cast<quint32>(std::clamp(std::lround(s.loadKw * 10000), 0L, 0xFFFFFFL)), 3);
        break;
    case fn::ReadDisplay:
        d.append(ch(s.displayMask));
        break;
    case fn::ReadReadings: {
        // Tariffs 1..3 and their total, then the same at the billing date.
        const std::array<quint32, 3> now = wholeCounts(s.tariffCounts);
        d = counts(now);
        appendLE(d, now[0] + now[1] + now[2], 4);
        d += counts(s.billingCounts);
        appendLE(d, s.billingCounts[0] + s.billingCounts[1] + s.billingCounts[2], 4);
        break;
    }
    case fn::ReadCounters:
        appendLE(d, static_cast<quint32>(std::min(s.workingHalfMinutes, 16777215.0)), 3);
        d.append(ch(s.corrections));
        break;
    case fn::ReadYearJournal:
        return yearRecord(data);
    case fn::ReadPhaseReadings:
        d = counts(wholeCounts(s.phaseCounts));
        break;
    case fn::ReadDayJournal:
    case fn::ReadProfile:
        return dayRecord(code, data);
    case fn::ReadIntegration:
        d.append(ch(s.integrationMinutes - 1));
        break;
    case fn::ReadBilling:
        d.append(ch(bcdEncode(s.billingHour)));
        d.append(ch(bcdEncode(s.billingDay)));
        break;
    case fn::ReadHoliday:
    case fn::ReadTransfer: {
        const quint8 slot = at(data, 0);
        if (slot >= HolidaySlotCount)
            return errorBody(code, err::BadData);
        d.append(ch(slot));
        d.append(code == fn::ReadHoliday ? s.holidays[slot] : s.transfers[slot]);
        break;
    }
    case fn::ReadPeaks:
        appendLE(d, s.peakTime, 4);
        appendLE(d, std::min<quint32>(s.peakPower, 0xFFFFFF), 3);
        appendLE(d, s.billingPeakTime, 4);
        appendLE(d, std::min<quint32>(s.billingPeakPower, 0xFFFFFF), 3);
        break;
    case fn::ReadCalibrationDate:
        appendLE(d, s.calibrationDate, 4);
        break;
    case fn::ReadTemperature:
        d.append(ch(s.temperature));
        break;
    case fn::ReadDescription:
        d = s.description.leftJustified(link::DescriptionSize, '\0', true);
        break;
    case fn::ReadSettingsJournal:
    case fn::ReadPowerJournal:
        return journalEntry(code, at(data, 0));
    case fn::ReadAveraging:
        d.append(ch(s.averagingSeconds));
        break;
    }
    return request(code, d);
}

QByteArray Commands::write(quint8 code, const QByteArray &data)
{
    namespace fn = link::fn;
    MeterState &s = m_state;
    const QByteArray ack = request(code);
    const QByteArray bad = errorBody(code, err::BadData);
    switch (code) {
    case fn::WriteNumber: {
        if (s.serialNumber != 0)
            return errorBody(code, err::Protected); // the number is written once
        const quint32 number = at(data, 0) + at(data, 1) * 256u + at(data, 2) * 65536u;
        if (number == 0 || number > 131071)
            return bad;
        s.serialNumber = number;
        journal(param::Number);
        return ack;
    }
    case fn::WriteLink: {
        const quint8 link = at(data, 1);
        const bool modbus = link & 0x40;
        const int parityBits = link & 0x30;
        if ((link & 0x8C) || (!modbus && parityBits) || parityBits == 0x20)
            return bad;
        MeterState next = s;
        next.address = at(data, 0);
        next.baudIndex = link & 3;
        next.protocol = modbus ? link::Protocol::Modbus : link::Protocol::Rs485;
        next.parity = !modbus ? 0 : parityBits == 0x10 ? 1 : parityBits == 0x30 ? 2 : 0;
        m_model.requestLinkChange(next.address, next.baudIndex, next.protocol, next.parity);
        journal(param::Link);
        return ack;
    }
    case fn::WriteTime: {
        for (int i : {0, 1, 2, 4, 5, 6})
            if (!isBcd(at(data, i)))
                return bad;
        const QTime time(bcdDecode(at(data, 2)), bcdDecode(at(data, 1)), bcdDecode(at(data, 0)));
        const QDate date(2000 + bcdDecode(at(data, 6)), bcdDecode(at(data, 5)), bcdDecode(at(data, 4)));
        if (!time.isValid() || !date.isValid())
            return bad;
        m_model.setMeterTime(link::toSecondsSince2000(QDateTime(date, time)), m_hostMs);
        s.summerTime = at(data, 7) & 0x80;
        s.timeNotSet = false;
        m_now = static_cast<quint32>(std::floor(m_model.meterSeconds(m_hostMs)));
        journal(param::Time);
        s.corrections = static_cast<quint8>(s.corrections + 1);
        return ack;
    }
    case fn::WriteLimit:
        if (at(data, 0) == 0)
            return bad;
        s.limitCoefficient = at(data, 0);
        journal(param::LimitCoefficient);
        return ack;
    case fn::WriteSchedule:
        if (data.isEmpty()) {
            s.zones.fill(QByteArray());
        } else {
            const QByteArray record = data.mid(1, 7);
            if (!isValidZone(record))
                return bad;
            s.zones[at(data, 0)] = record;
        }
        journal(param::Schedule);
        return ack;
    case fn::WriteCalibration:
        for (int i = 0; i < 3; ++i)
            s.calibration[i] = link::readS16(data, 2 * i);
        s.calibrationDate = m_now;
        journal(param::Calibration);
        return ack;
    case fn::WriteDisplay:
        if (at(data, 0) > 0x3F)
            return bad;
        s.displayMask = at(data, 0);
        journal(param::Display);
        return ack;
    case fn::WriteIntegration:
        if (at(data, 0) > 59)
            return bad;
        s.integrationMinutes = at(data, 0) + 1;
        journal(param::Integration);
        return ack;
    case fn::WriteBilling: {
        if (!isBcd(at(data, 0)) || !isBcd(at(data, 1)))
            return bad;
        const int hour = bcdDecode(at(data, 0)), day = bcdDecode(at(data, 1));
        if (hour > 23 || day < 1 || day > 31)
            return bad;
        s.billingHour = hour;
        s.billingDay = day;
        journal(param::Billing);
        return ack;
    }
    case fn::ResetBillingReadings:
        s.billingCounts = {};
        s.billingPeakPower = 0;
        s.billingPeakTime = 0;
        journal(param::ResetBilling);
        return ack;
    case fn::WriteHoliday: {
        if (data.isEmpty()) {
            s.holidays.fill(QByteArray(2, '\0'));
            journal(param::Holidays);
            return ack;
        }
        const quint8 slot = at(data, 0), day = at(data, 1), month = at(data, 2);
        const bool clear = day == 0 && month == 0;
        if (slot >= HolidaySlotCount ||
            (!clear && (!isBcd(day) || !isBcd(month) || bcdDecode(day) < 1 || bcdDecode(day) > 31 ||
                        bcdDecode(month) < 1 || bcdDecode(month) > 12)))
            return bad;
        s.holidays[slot] = data.mid(1, 2);
        journal(param::Holidays);
        return ack;
    }
    case fn::WriteTransfer: {
        if (data.isEmpty()) {
            s.transfers.fill(QByteArray(4, '\0'));
            journal(param::Transfers);
            return ack;
        }
        const quint8 slot = at(data, 0);
        const QByteArray entry = data.mid(1, 4);
        const bool clear = entry == QByteArray(4, '\0');
        if (slot >= TransferSlotCount)
            return bad;
        if (!clear) {
            for (int i = 0; i < 3; ++i)
                if (!isBcd(at(entry, i)))
                    return bad;
            const QDate date(2000 + bcdDecode(at(entry, 2)), bcdDecode(at(entry, 1)), bcdDecode(at(entry, 0)));
            if (!date.isValid() || at(entry, 3) < 1 || at(entry, 3) > 8)
                return bad;
        }
        s.transfers[slot] = entry;
        journal(param::Transfers);
        return ack;
    }
    case fn::WriteDescription:
        s.description = data;
        journal(param::Description);
        return ack;
    case fn::WriteAveraging:
        if (at(data, 0) < 5 || at(data, 0) > 60)
            return bad;
        s.averagingSeconds = at(data, 0);
        journal(param::Averaging);
        return ack;
    }
    return errorBody(code, err::UnknownFunction);
}

QByteArray Commands::yearRecord(const QByteArray &data)
{
    const quint8 code = link::fn::ReadYearJournal;
    const int monthIndex = at(data, 0), year = 2000 + at(data, 1);
    if (monthIndex > 11)
        return errorBody(code, err::BadData);
    const QDate first(year, monthIndex + 1, 1);
    MonthRecord record;
    if (!m_model.monthRecord(monthKey(first), &record))
        return blank(code, 26);
    QByteArray d;
    d.append(ch(monthIndex));
    d.append(ch(bcdEncode(first.day())));
    d.append(ch(bcdEncode(first.month())));
    d.append(ch(bcdEncode(first.year() - 2000)));
    d += counts(record.counts);
    appendLE(d, record.workingHalfMinutes, 3);
    appendLE(d, record.peakTime, 4);
    appendLE(d, std::min<quint32>(record.peakPower, 0xFFFFFF), 3);
    return request(code, d);
}

QByteArray Commands::dayRecord(quint8 code, const QByteArray &data)
{
    const bool profile = code == link::fn::ReadProfile;
    const int dataSize = profile ? 103 : 15;
    const int day = at(data, 0), monthIndex = at(data, 1), yearByte = at(data, 2);
    if (day < 1 || day > 31 || monthIndex > 11)
        return errorBody(code, err::BadData);
    const QDate date(2000 + yearByte, monthIndex + 1, day); // invalid for 31 April and the like
    DayRecord record;
    if (!date.isValid() || !m_model.dayRecord(dayNumber(date), &record) || !record.hasStart)
        return blank(code, dataSize);
    QByteArray d;
    d.append(ch(day));
    d.append(ch(monthIndex));
    d.append(ch(yearByte));
    if (profile) {
        appendLE(d, record.startCounts[0] + record.startCounts[1] + record.startCounts[2], 4);
        for (quint32 increment : record.increments)
            appendLE(d, std::min<quint32>(increment, 0xFFFF), 2); // a 16-bit slot holds at most 65535
    } else {
        d += counts(record.startCounts);
    }
    return request(code, d);
}

QByteArray Commands::journalEntry(quint8 code, quint8 index)
{
    QByteArray d;
    d.append(ch(index));
    if (code == link::fn::ReadSettingsJournal) {
        if (index < m_state.settingsJournal.size()) {
            const SettingsEntry &e = m_state.settingsJournal.at(index);
            appendLE(d, e.time, 4);
            d.append(ch(e.parameter));
            d.append(ch(e.counter));
        }
    } else if (index < m_state.powerJournal.size()) {
        const PowerEntry &e = m_state.powerJournal.at(index);
        appendLE(d, e.time, 4);
        d.append(ch(e.event));
    }
    return request(code, d); // an empty entry answers with its index alone
}

} // namespace kelvar::sim
