#pragma once
// The holiday list, the transfer list and the limit coefficient of the
// schedule being edited: one instance per window, shared by the page that
// edits them and by the actions that load, save, read and write the schedule.
// Each change is announced, so every view of the lists follows it.

#include "Tables.h"

#include <QObject>

namespace kelvar::schedule {

class ScheduleTables : public QObject {
    Q_OBJECT
public:
    explicit ScheduleTables(QObject *parent = nullptr);

    const QList<Holiday> &holidays() const { return m_holidays; }
    const QList<Transfer> &transfers() const { return m_transfers; }
    int limitCoefficient() const { return m_coefficient; }

    // --- The tables of the schedule image ------------------------------------
    // Lists the holidays of a 32-byte table; false, and the list stays as it
    // was, for a table of any other length.
    bool SetCel(const QByteArray &table);
    QByteArray GetCel() const { return encodeHolidayTable(m_holidays); }
    // Lists the transfers of a 64-byte table; false for any other length.
    bool SetTrans(const QByteArray &table);
    QByteArray GetTrans() const { return encodeTransferTable(m_transfers); }
    // 1..255; a 0 read from a meter or a file becomes 1, anything above 255 is 255.
    void setLimitCoefficient(int value);
    // Whole lists, as they are.
    void setHolidays(const QList<Holiday> &holidays);
    void setTransfers(const QList<Transfer> &transfers);

    // --- The operator's edits ---------------------------------------------------
    // Insert in date order (see Tables.h); false when the list is full or the
    // entry is invalid.
    bool insertHoliday(const Holiday &holiday);
    bool insertTransfer(const Transfer &transfer);
    // Remove the entries at the given positions (in any order, repeats ignored).
    void removeHolidays(const QList<int> &rows);
    void removeTransfers(const QList<int> &rows);
    // The twelve default holidays replace the list.
    void loadDefaultHolidays();

    // --- A meter read: entries arrive one by one, in slot order -----------------
    void clearHolidays();
    void clearTransfers();
    bool appendHoliday(const Holiday &holiday);
    bool appendTransfer(const Transfer &transfer);

signals:
    void holidaysChanged();
    void transfersChanged();
    void limitCoefficientChanged(int value);

private:
    QList<Holiday> m_holidays = defaultHolidays(); // listed from the start until a schedule replaces them
    QList<Transfer> m_transfers;
    int m_coefficient = 1;
};

} // namespace kelvar::schedule
