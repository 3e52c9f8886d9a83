#include "ScheduleTables.h"

#include <algorithm>

namespace kelvar::schedule {

namespace {

template<typename Entry>
void removeRows(QList<Entry> &list, QList<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        if (row >= 0 && row < list.size())
            list.removeAt(row);
}

// An entry the table could carry: what decoding its own encoding gives back.
bool holidayFits(const Holiday &h)
{
    return decodeHolidayTable(encodeHolidayTable({h})).value_or(QList<Holiday>{}).size() == 1;
}

bool transferFits(const Transfer &t)
{
    return decodeTransferTable(encodeTransferTable({t})).value_or(QList<Transfer>{}).size() == 1;
}

} // namespace

ScheduleTables::ScheduleTables(QObject *parent) : QObject(parent) {}

bool ScheduleTables::SetCel(const QByteArray &table)
{
    const std::optional<QList<Holiday>> decoded = decodeHolidayTable(table);
    if (!decoded)
        return false;
    m_holidays = *decoded;
    emit holidaysChanged();
    return true;
}

bool ScheduleTables::SetTrans(const QByteArray &table)
{
    const std::optional<QList<Transfer>> decoded = decodeTransferTable(table);
    if (!decoded)
        return false;
    m_transfers = *decoded;
    emit transfersChanged();
    return true;
}

void ScheduleTables::setLimitCoefficient(int value)
{
    const int bounded = std::clamp(value, 1, 255);
    if (bounded == m_coefficient)
        return;
    m_coefficient = bounded;
    emit limitCoefficientChanged(bounded);
}

void ScheduleTables::setHolidays(const QList<Holiday> &holidays)
{
    m_holidays = holidays;
    emit holidaysChanged();
}

void ScheduleTables::setTransfers(const QList<Transfer> &transfers)
{
    m_transfers = transfers;
    emit transfersChanged();
}

bool ScheduleTables::insertHoliday(const Holiday &holiday)
{
    if (!schedule::insertHoliday(m_holidays, holiday))
        return false;
    emit holidaysChanged();
    return true;
}

bool ScheduleTables::insertTransfer(const Transfer &transfer)
{
    if (!schedule::insertTransfer(m_transfers, transfer))
        return false;
    emit transfersChanged();
    return true;
}

void ScheduleTables::removeHolidays(const QList<int> &rows)
{
    removeRows(m_holidays, rows);
    emit holidaysChanged();
}

void ScheduleTables::removeTransfers(const QList<int> &rows)
{
    removeRows(m_transfers, rows);
    emit transfersChanged();
}

void ScheduleTables::loadDefaultHolidays()
{
    setHolidays(defaultHolidays());
}

void ScheduleTables::clearHolidays()
{
    setHolidays({});
}

void ScheduleTables::clearTransfers()
{
    setTransfers({});
}

bool ScheduleTables::appendHoliday(const Holiday &holiday)
{
    if (!canAddEntry(int(m_holidays.size())) || !holidayFits(holiday))
        return false;
    m_holidays.append(holiday);
    emit holidaysChanged();
    return true;
}

bool ScheduleTables::appendTransfer(const Transfer &transfer)
{
    if (!canAddEntry(int(m_transfers.size())) || !transferFits(transfer))
        return false;
    m_transfers.append(transfer);
    emit transfersChanged();
    return true;
}

} // namespace kelvar::schedule
