#pragma once
// The meter information readout: decodes the replies of the poll cycle into
// the value texts of the two information tables (main and additional rows),
// the display mask and the average clock deviation. Widget-free: the
// information tab shows what this object holds and follows its signals.
// The texts are read back by the short report and the production record, so
// their formats are part of the interface.

#include "meter/MeterState.h"
#include "meter/ResponseDispatcher.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

namespace kelvar::meter {

// "1д.00:00:30": hours, minutes and seconds with two digits each, preceded by
// the days and "д." when there is at least one whole day.
QString FormatDuration(quint32 seconds);

// The texts of the rows "Тип", "Версия ПО" and "Заводской номер": the type
// from the model code of a function-0 reply ("Kelvar 517.01"), the software
// version from that reply (empty for models that number theirs differently),
// and the serial number (six digits with leading zeros; 0 alone).
QString meterTypeText(int modelCode);
QString softwareVersionText(const QByteArray &versionReply);
QString serialNumberText(quint32 number);

class MeterInfo : public QObject
{
    Q_OBJECT
public:
    static constexpr int RowCount = 21;

    // Rows of the main table (empty captions are spacer rows).
    enum MainRow {
        RowType = 0, RowNumber = 1, RowVersion = 2, RowCalibrated = 3, RowDescription = 4,
        RowDateTime = 6, RowSummerTime = 7, RowClockTest = 8,
        RowBillingDay = 10, RowBillingHour = 11, RowScheduleChecksum = 12,
        RowPeakIntegration = 14, RowPenaltyIntegration = 15,
        RowOperatingTime = 17, RowCorrections = 18, RowTariff = 19, RowTemperature = 20,
    };
    // Rows of the additional table.
    enum AddiRow {
        RowTotal = 0, RowTariff1 = 2, RowTariff2 = 3, RowTariff3 = 4,
        RowBilling1 = 6, RowBilling2 = 7, RowBilling3 = 8,
        RowPhaseA = 10, RowPhaseB = 11, RowPhaseC = 12,
        RowLoadPower = 14, RowPeakPower = 16, RowPeakTime = 17,
        RowBillingPeakPower = 19, RowBillingPeakTime = 20,
    };

    static const QStringList &mainCaptions();
    static const QStringList &addiCaptions();
    // The function codes this object decodes (function 8 only with length byte 4).
    static const QList<quint8> &codes();

    explicit MeterInfo(MeterState &state, QObject *parent = nullptr);

    // Production mode turns on the clock deviation and the look-up of the last
    // programming time when a new meter number is read.
    void setProductionMode(bool on) { m_production = on; }
    bool productionMode() const { return m_production; }
    // The workstation clock (replaceable in tests).
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    // Finds the newest programming time of a meter number; an invalid result
    // means none is known (also when the look-up failed).
    void setLastSetTimeLookup(std::function<QDateTime(quint32 number)> lookup) { m_lookup = std::move(lookup); }

    // Decodes one response (function code at offset 0, address removed).
    // Returns false for a reply that is not this object's (an unknown code, or
    // function 8 with a length byte other than 4); then nothing changes.
    bool decode(const QByteArray &response);

    // Forgets the meter: state cleared, every value text and the deviation
    // emptied. The display mask keeps its last value.
    void ResetMeterInfo();

    const MeterState &state() const { return m_state; }
    QString mainValue(int row) const { return m_main.value(row); }
    QString addiValue(int row) const { return m_addi.value(row); }
    const QStringList &mainValues() const { return m_main; }
    const QStringList &addiValues() const { return m_addi; }
    quint8 displayMask() const { return m_mask; }
    // The same readout as typed values (numbers, flags, ISO dates), keyed by
    // field name; a field appears once its reply has been decoded.
    const QJsonObject &typedValues() const { return m_typed; }
    QString delta() const { return m_delta; }

signals:
    void mainRowChanged(int row, const QString &text);
    void addiRowChanged(int row, const QString &text);
    void displayMaskChanged(quint8 mask);
    void deltaChanged(const QString &text);
    // Every serial number reply; isNew when its text differs from the one
    // shown (a different meter answered). A number of 0 means one can be written.
    void meterNumberRead(quint32 number, bool isNew);
    void infoReset();

private:
    void setMain(int row, const QString &text);
    void setAddi(int row, const QString &text);
    void setDelta(const QString &text);
    void decodeVersion(const QByteArray &r);
    void decodeNumber(const QByteArray &r);
    void decodeClock(const QByteArray &r);
    void decodeReadings(const QByteArray &r);
    void decodePeaks(const QByteArray &r);
    void updateDrift();

    MeterState &m_state;
    QStringList m_main;
    QStringList m_addi;
    quint8 m_mask = 0;
    bool m_maskKnown = false;
    QString m_delta;
    QJsonObject m_typed;
    bool m_production = false;
    std::function<QDateTime()> m_now;
    std::function<QDateTime(quint32)> m_lookup;
};

// Registers the information as the owner of its poll codes with the response
// dispatcher. Function 8 is shared with the schedule read: its replies with a
// length byte other than 4 go to scheduleRecords (when given), so the schedule
// registers its owner for code 8 through this call rather than directly.
void registerMeterInfo(ResponseDispatcher &dispatcher, MeterInfo &info,
                       ResponseDispatcher::Owner scheduleRecords = {});

} // namespace kelvar::meter
