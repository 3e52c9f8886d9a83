#pragma once
// Production mode's work with the database, widget-free: the start-up
// identification of workstation, operator and plant (FormActivate), the
// workstation clock from the server (SyncClockFromServer), the newest
// programming time of a meter for the clock deviation (LastSetTime) and the
// recording of an operation (RecordSettingsOperation, ActionFixDbExecute).
//
// It reports by signals: message boxes to show (the window shows them) and
// lines for the protocol view. Nothing here ever blocks the link on a
// database failure: every call returns with a result the caller can go on with.

#include "db/OperationRecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

namespace kelvar::meter { class MeterInfo; class SettingsOwner; }

namespace kelvar::db {

class ClockSetter;
class ProductionDb;

class ProductionSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int MeterTypeId = 43;   // electrometer.type_id of this meter type

    enum class Icon { Warning, Error };

    ProductionSession(ProductionDb &db, QObject *parent = nullptr);

    // Hooks production mode into the link: the meter information looks up
    // the last programming time of every new meter number, and the settings
    // write sets the clock from the server before it starts and is recorded
    // when it completes. values gives the settings as the window shows them
    // (the number field included).
    void attach(meter::SettingsOwner &settings, meter::MeterInfo &info,
                std::function<meter::SettingsValues()> values);

    // Without a clock setter the server's time is read but the clock is not set.
    void setClockSetter(ClockSetter *setter) { m_clock = setter; }
    // The names looked up at start (default: this computer and the logged-on user).
    void setWorkstation(const QString &computer, const QString &login);
    const QString &computerName() const { return m_computer; }
    const QString &loginName() const { return m_login; }

    enum class Check {
        Passed,   // identified; the clock was synchronised
        Stopped,  // workstation, operator or plant not described: the program must end
        Failed,   // a database error; the program goes on with the identifiers found so far
    };
    // The start-up check: the three look-ups in order, then the server clock.
    Check FormActivate();
    bool identified() const { return ComputerId != 0 && PersonId != 0 && PlantId != 0; }

    // Reads the server's clock and sets the workstation clock to it (a refusal
    // to set it is ignored). False when the query failed; the error is then a
    // protocol line and, with reportByMessage, also a message box.
    bool SyncClockFromServer(bool reportByMessage = false);

    // The newest programming time on record for a meter number; an invalid
    // time when there is none or the look-up failed (the error is then a
    // protocol line): the meter then counts as never programmed.
    QDateTime LastSetTime(quint32 number);

    enum class Record {
        Recorded,      // both rows written
        NotDescribed,  // the meter number is not in the database: nothing written
        Failed,        // a database error: nothing written
    };
    // After a completed settings write: the meter's number (the field's value
    // when the meter had none, i.e. it was numbered by this write).
    Record RecordSettingsOperation(quint32 meterNumber, quint32 fieldNumber, const meter::SettingsValues &values,
                                   const MeterSnapshot &meter);
    // The meter's state without settings, under the number field's value.
    Record ActionFixDbExecute(quint32 fieldNumber, const MeterSnapshot &meter);

    // The number (operation_id) of the operation the session's last record
    // wrote, when that record was of this meter number; 0 when it was another
    // meter's, when it failed, or before the first record. The programming
    // record shows it.
    int recordedOperation(quint32 meterNumber) const
    {
        return meterNumber == m_lastRecord.meterNumber ? m_lastRecord.operationId : 0;
    }

    int ComputerId = 0;
    int PersonId = 0;
    int PlantId = 0;

signals:
    void message(kelvar::db::ProductionSession::Icon icon, const QString &title, const QString &text);
    void protocolLine(const QString &text);

private:
    // Runs the look-ups; the text of a stop or error goes to *problem.
    Check identify(QString *problem);
    Record record(quint32 number, const OperationRecord &row);

    struct LastRecord {
        quint32 meterNumber = 0;
        int operationId = 0;
    };

    ProductionDb &m_db;
    ClockSetter *m_clock = nullptr;
    LastRecord m_lastRecord;
    QString m_computer;
    QString m_login;
};

} // namespace kelvar::db
