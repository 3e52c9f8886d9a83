#pragma once
// What one recorded programming operation holds: the success flag of the
// operation row and the columns of its set_kelvar row, built from what the
// window shows when the record is made (the meter information texts, the clock
// deviation and, after a settings write, the settings just written). Plain
// values: the database layer only binds them.

#include "meter/SettingsBatch.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace kelvar::meter { class MeterInfo; }

namespace kelvar::db {

// The meter as the information tab shows it.
struct MeterSnapshot {
    QString version;        // "Версия ПО"
    QString type;           // "Тип"
    QString operatingTime;  // "Время работы"
    QString checksum;       // "Контрольная сумма тарифного расписания"
    QString corrections;    // "Счетчик коррекций"
    QString tariff[3];      // "1 тариф", "2 тариф", "3 тариф"
    quint8 status = 0;      // the clock status byte last read
    QString delta;          // the clock deviation as shown ("Отклонение времени:")

    static MeterSnapshot of(const meter::MeterInfo &info);
};

// The deviation text read as seconds per day; no value when it is empty or not a number.
std::optional<double> readDelta(const QString &text);
// The operation succeeded when the meter clock kept time: a deviation from
// -3 to 1 seconds per day, both ends included (an empty deviation counts as 0).
bool clockKeptTime(const QString &deltaText);

struct OperationRecord {
    // The columns of set_kelvar in the order of the insert; a column whose
    // condition does not hold is a null value of the column's type.
    struct Column {
        const char *name;
        QVariant value;
    };
    bool success = true;
    QList<Column> columns;

    QVariant value(const char *name) const;
};

// The record of a settings write (settings given) or of the meter's state
// alone (no settings).
OperationRecord buildOperationRecord(const MeterSnapshot &meter, const meter::SettingsValues *settings);

} // namespace kelvar::db
