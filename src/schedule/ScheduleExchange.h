#pragma once
// The schedule exchange with the meter: writes a schedule image to the meter
// and reads the meter's image back. Widget-free; the window's schedule
// actions and the command-line program drive the same object and follow its
// signals.
//
// It owns the replies to functions 6 (coefficient), 7 (coefficient written),
// 38 and 40 (holiday and transfer slots) and the confirmations 9, 39 and 41;
// the replies to function 8 that carry a zone slot (length byte 3 or 10)
// reach it through recordReplies(), because the information readout keeps
// the schedule checksum (length byte 4) of the same function.
//
// The batches are plain request lists (buildScheduleWrite, buildScheduleRead)
// so every byte of them can be checked without a link.

#include "ScheduleFile.h"
#include "Tables.h"
#include "meter/MeterState.h"
#include "meter/OperationLogSink.h"
#include "meter/ResponseDispatcher.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace kelvar::link { class ExchangeEngine; }

namespace kelvar::schedule {

// True for a 7-byte record that applies to no day at all: its day mask is 0,
// or its month mask holds none of the months 1..12. The meter could do
// nothing with it.
bool coversNoCell(const QByteArray &record);

struct ScheduleWriteBatch {
    // 27 02, 29 02, 09 02, 07 03 coefficient; then, when any record is sent,
    // the used holiday and transfer slots and the records from slot 2 on.
    QList<QByteArray> requests;
    int recordCount = 0;    // records sent
    int leftOut = 0;        // records left out because they apply to no day
};
// The write of an image, without the access password request. Records that
// apply to no day are left out; the unused month bits 12..15 of the others
// are sent as 0 (the records cover the same days). A coefficient of 0 goes
// out as 1, the least the meter takes.
ScheduleWriteBatch buildScheduleWrite(const ScheduleImage &image);

// True for a reply of the schedule read: function 8 with a zone slot (any
// length byte but the checksum's 4), 38 or 40.
bool isScheduleReadReply(const QByteArray &response);

// 06 02; 08 03 slot for slots 0..255; 26 03 and 28 03 for slots 0..15.
QList<QByteArray> buildScheduleRead();
constexpr int ZoneSlots = 256;
constexpr int ReadProgressTotal = ZoneSlots + 2 * TableEntries; // 288

class ScheduleExchange : public QObject {
    Q_OBJECT
public:
    enum class Operation { None, Read, Write };
    enum class Start {
        Started,
        NotConnected,    // the link is down
        Busy,            // a schedule exchange or a settings write is still running
        TooManyRecords,  // more records than the meter's slots from slot 2 on
        InvalidPassword, // the access password is not usable
    };

    static const QList<int> &codes(); // 6, 7, 9, 38, 39, 40, 41

    ScheduleExchange(link::ExchangeEngine &engine, meter::ResponseDispatcher &dispatcher, meter::MeterState &state,
                     QObject *parent = nullptr);

    // The handler for the replies to function 8 with a zone slot; give it to
    // meter::registerMeterInfo.
    meter::ResponseDispatcher::Owner recordReplies();

    // Where a confirmed coefficient write is logged (bench mode); none: not logged.
    void setOperationLog(const meter::OperationLogSink *log) { m_log = log; }

    // Queues the write of the image behind the request in flight, preceded by
    // the access password request while the meter has not accepted one. Refused
    // with nothing queued otherwise; refusalText() then says why.
    Start startWrite(const ScheduleImage &image, const QString &accessPassword);
    // Queues the read of the whole image. No password is needed.
    Start startRead();

    Operation operation() const { return m_operation; }
    // The exchange that ended last (what the last finished() was about).
    Operation lastOperation() const { return m_lastOperation; }
    bool isBusy() const { return m_operation != Operation::None; }
    QString refusalText() const { return m_refusal; }
    // Records of the last write that were left out because they apply to no day.
    int leftOutRecords() const { return m_leftOut; }
    // The image of the last completed read: records in slot order, the holidays
    // and transfers in slot order, the coefficient as the meter holds it.
    const ScheduleImage &result() const { return m_result; }
    // The checksum of the last completed read, computed as the meter computes
    // the one it reports in the poll cycle: CRC-16 of every occupied zone slot
    // (slot number and record), the 16 holiday and 16 transfer slots as
    // stored, and the coefficient. It differs from the reported one when the
    // schedule changed between the two reads or a slot came back altered.
    quint16 readChecksum() const { return m_readChecksum; }

signals:
    // Read: zone, holiday and transfer slots answered, of 288. Write: requests
    // confirmed, of all requests of the batch (the password included).
    void progress(int done, int total);
    // The exchange ended: completed, or stopped by an error reply, a time-out
    // or a disconnect (error says which, for the operator).
    void finished(bool ok, const QString &error);
    // Every accepted reply: true for a reply of a schedule read (functions 8
    // with a zone slot, 38, 40), false for any other, so a progress bar shows
    // while a read runs and goes with the first poll reply after it.
    void gaugeVisible(bool visible);

private:
    Start refuse(Start start, const QString &text);
    Start begin(Operation operation, const QList<QByteArray> &requests, int uncounted);
    void counted(const QByteArray &request);
    void decode(const QByteArray &response, const QByteArray &request);
    void end(bool ok, const QString &error);
    void queueRanEmpty();

    link::ExchangeEngine &m_engine;
    meter::MeterState &m_state;
    const meter::OperationLogSink *m_log = nullptr;
    Operation m_operation = Operation::None;
    Operation m_lastOperation = Operation::None;
    QList<QByteArray> m_batch;
    int m_done = 0;
    int m_uncounted = 0;     // leading requests the progress leaves out (the coefficient of a read)
    int m_leftOut = 0;
    QString m_refusal;
    QString m_lastFailure;
    ScheduleImage m_result;
    QList<QByteArray> m_records;
    QList<Holiday> m_holidays;
    QList<Transfer> m_transfers;
    quint8 m_limit = 0;
    struct {
        QByteArray zones, holidays, transfers;
    } m_slotImage; // the slots of the read as the meter stores them
    quint16 m_readChecksum = 0;
};

} // namespace kelvar::schedule
