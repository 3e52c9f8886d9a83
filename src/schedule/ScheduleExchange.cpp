#include "ScheduleExchange.h"

#include "ZoneRecord.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "link/ExchangeEngine.h"
#include "link/Frame.h"
#include "meter/SettingsBatch.h"

namespace kelvar::schedule {

using link::bcdDecode;
using link::byteAt;
namespace fn = link::fn;

bool coversNoCell(const QByteArray &record)
{
    const quint16 months = quint16(byteAt(record, 5) | (byteAt(record, 6) << 8));
    return byteAt(record, 4) == 0 || (months & AllMonths) == 0;
}

ScheduleWriteBatch buildScheduleWrite(const ScheduleImage &image)
{
    ScheduleWriteBatch batch;
    batch.requests << link::clearHolidaysRequest() << link::clearTransfersRequest() << link::clearScheduleRequest()
                   << link::writeLimitRequest(limitCoefficient(image.limitCoefficient));
    QList<QByteArray> records;
    for (const QByteArray &record : image.records) {
        if (coversNoCell(record)) {
            ++batch.leftOut;
            continue;
        }
        QByteArray sent = record.left(RecordSize).leftJustified(RecordSize, '\0');
        sent[6] = char(byteAt(sent, 6) & (AllMonths >> 8));
        records << sent;
    }
    batch.recordCount = int(records.size());
    // Without a record the meter is left with empty tables and the coefficient.
    if (records.isEmpty())
        return batch;
    for (int i = 0; i < TableEntries; ++i) {
        const QByteArray entry = image.holidayTable.mid(2 * i, 2);
        if (byteAt(entry, 0) && byteAt(entry, 1))
            batch.requests << link::writeHolidayRequest(quint8(i), entry);
    }
    for (int i = 0; i < TableEntries; ++i) {
        const QByteArray entry = image.transferTable.mid(4 * i, 4);
        // A year byte 00 is the year 2000 and goes out like any other.
        if (byteAt(entry, 0) && byteAt(entry, 1) && byteAt(entry, 3))
            batch.requests << link::writeTransferRequest(quint8(i), entry);
    }
    for (int n = 0; n < records.size(); ++n)
        batch.requests << link::writeScheduleRecordRequest(quint8(FirstZoneSlot + n), records[n]);
    return batch;
}

bool isScheduleReadReply(const QByteArray &response)
{
    const quint8 code = byteAt(response, 0);
    return (code == fn::ReadSchedule && byteAt(response, 1) != 4) || code == fn::ReadHoliday
        || code == fn::ReadTransfer;
}

QList<QByteArray> buildScheduleRead()
{
    QList<QByteArray> requests;
    requests.reserve(1 + ReadProgressTotal);
    requests << link::request(fn::ReadLimit);
    for (int slot = 0; slot < ZoneSlots; ++slot)
        requests << link::readScheduleRecordRequest(quint8(slot));
    for (int slot = 0; slot < TableEntries; ++slot)
        requests << link::readHolidayRequest(quint8(slot));
    for (int slot = 0; slot < TableEntries; ++slot)
        requests << link::readTransferRequest(quint8(slot));
    return requests;
}

const QList<int> &ScheduleExchange::codes()
{
    static const QList<int> list{fn::ReadLimit,   fn::WriteLimit,   fn::WriteSchedule, fn::ReadHoliday,
                                 fn::WriteHoliday, fn::ReadTransfer, fn::WriteTransfer};
    return list;
}

ScheduleExchange::ScheduleExchange(link::ExchangeEngine &engine, meter::ResponseDispatcher &dispatcher,
                                   meter::MeterState &state, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_state(state)
{
    dispatcher.registerOwner(codes(), [this](const QByteArray &response, const QByteArray &request) {
        decode(response, request);
    });
    // Progress counts every answered request of the batch, whoever decodes it
    // (the access password belongs to the settings owner).
    connect(&dispatcher, &meter::ResponseDispatcher::responseAccepted, this, [this](const QByteArray &response) {
        emit gaugeVisible(isScheduleReadReply(response));
        counted(m_engine.currentFrame());
    });
    connect(&dispatcher, &meter::ResponseDispatcher::responseFailed, this,
            [this](const QString &text) { m_lastFailure = text; });
    connect(&engine, &link::ExchangeEngine::protocolLine, this, [this](const QString &line) {
        if (line.endsWith(link::ExchangeEngine::TimeoutText))
            m_lastFailure = QStringLiteral("счетчик не ответил");
    });
    // The queue runs empty when the batch is done or was abandoned.
    connect(&engine, &link::ExchangeEngine::EnableControls, this, [this](bool enabled) {
        if (enabled)
            queueRanEmpty();
    });
    connect(&engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (!connected && isBusy())
            end(false, QStringLiteral("связь разорвана"));
    });
}

meter::ResponseDispatcher::Owner ScheduleExchange::recordReplies()
{
    return [this](const QByteArray &response, const QByteArray &request) { decode(response, request); };
}

ScheduleExchange::Start ScheduleExchange::refuse(Start start, const QString &text)
{
    m_refusal = text;
    return start;
}

ScheduleExchange::Start ScheduleExchange::startWrite(const ScheduleImage &image, const QString &accessPassword)
{
    m_refusal.clear();
    if (!m_engine.isConnected())
        return refuse(Start::NotConnected, QStringLiteral("Нет связи со счетчиком."));
    if (isBusy() || m_engine.writeBatchPending())
        return refuse(Start::Busy, QStringLiteral("Обмен со счетчиком еще не завершен."));
    const ScheduleWriteBatch batch = buildScheduleWrite(image);
    if (!fitsInMeter(batch.recordCount))
        return refuse(Start::TooManyRecords, tooManyRecordsMessage(batch.recordCount));
    const meter::AccessStep access = meter::accessPasswordStep({m_state.PasswordAccepted, accessPassword});
    if (access.refused)
        return refuse(Start::InvalidPassword, QStringLiteral("Недопустимый пароль"));

    QList<QByteArray> requests;
    if (!access.request.isEmpty())
        requests << access.request;
    requests << batch.requests;
    m_leftOut = batch.leftOut;
    if (!m_engine.beginWriteBatch(link::WriteBatch::Schedule))
        return refuse(Start::Busy, QStringLiteral("Обмен со счетчиком еще не завершен."));
    return begin(Operation::Write, requests, 0);
}

ScheduleExchange::Start ScheduleExchange::startRead()
{
    m_refusal.clear();
    if (!m_engine.isConnected())
        return refuse(Start::NotConnected, QStringLiteral("Нет связи со счетчиком."));
    if (isBusy() || m_engine.writeBatchPending())
        return refuse(Start::Busy, QStringLiteral("Обмен со счетчиком еще не завершен."));
    m_records.clear();
    m_holidays.clear();
    m_transfers.clear();
    m_limit = 0;
    m_slotImage = {};
    return begin(Operation::Read, buildScheduleRead(), 1);
}

ScheduleExchange::Start ScheduleExchange::begin(Operation operation, const QList<QByteArray> &requests, int uncounted)
{
    m_operation = operation;
    m_batch = requests;
    m_done = 0;
    m_uncounted = uncounted;
    m_lastFailure.clear();
    for (const QByteArray &request : requests)
        m_engine.AddCommand(request);
    if (operation == Operation::Read)
        m_engine.beginReadBatch();   // a write started its batch before it queued
    emit progress(0, int(m_batch.size()) - m_uncounted);
    return Start::Started;
}

void ScheduleExchange::counted(const QByteArray &request)
{
    if (!isBusy() || m_done >= m_batch.size() || request != m_batch[m_done])
        return;
    ++m_done;
    if (m_done > m_uncounted)
        emit progress(m_done - m_uncounted, int(m_batch.size()) - m_uncounted);
}

void ScheduleExchange::decode(const QByteArray &response, const QByteArray &request)
{
    const quint8 code = byteAt(response, 0);
    const quint8 length = byteAt(response, 1);
    if (code == fn::WriteLimit && m_log)
        m_log->AddToOperationLog(m_state.MeterNumber, QStringLiteral("Коэффициент лимита тарифного расписания=%1")
                                                          .arg(byteAt(request, 2)));
    if (m_operation != Operation::Read)
        return;
    switch (code) {
    case fn::ReadLimit:
        m_limit = byteAt(response, 2);
        break;
    case fn::ReadSchedule:
        if (length == 2 + 1 + RecordSize) {
            m_records << response.mid(3, RecordSize);
            m_slotImage.zones += response.mid(2, 1 + RecordSize);
        }
        break;
    case fn::ReadHoliday: {
        m_slotImage.holidays += response.mid(3, 2);
        const Holiday h{bcdDecode(byteAt(response, 3)), bcdDecode(byteAt(response, 4))};
        if (length == 5 && h.day >= 1 && h.day <= 31 && h.month >= 1 && h.month <= 12)
            m_holidays << h;
        break;
    }
    case fn::ReadTransfer: {
        m_slotImage.transfers += response.mid(3, 4);
        const Transfer t{QDate(2000 + bcdDecode(byteAt(response, 5)), bcdDecode(byteAt(response, 4)),
                               bcdDecode(byteAt(response, 3))),
                         byteAt(response, 6)};
        if (length == 7 && t.date.isValid() && t.dayType >= 1 && t.dayType <= DayTypeCount)
            m_transfers << t;
        break;
    }
    default:
        break;
    }
    if (m_done == m_batch.size()) {
        m_result.records = m_records;
        m_result.holidayTable = encodeHolidayTable(m_holidays);
        m_result.transferTable = encodeTransferTable(m_transfers);
        m_result.limitCoefficient = m_limit;
        m_readChecksum = link::crc16(m_slotImage.zones + m_slotImage.holidays + m_slotImage.transfers
                                     + QByteArray(1, char(m_limit)));
        end(true, {});
    }
}

void ScheduleExchange::queueRanEmpty()
{
    if (!isBusy())
        return;
    if (m_operation == Operation::Write && m_done == m_batch.size())
        end(true, {});
    else
        end(false, m_lastFailure.isEmpty() ? QStringLiteral("обмен прерван") : m_lastFailure);
}

void ScheduleExchange::end(bool ok, const QString &error)
{
    const Operation operation = m_operation;
    m_lastOperation = operation;
    m_operation = Operation::None;
    m_batch.clear();
    QString text;
    if (!ok && operation == Operation::Write)
        text = link::ExchangeEngine::ScheduleWriteFailedText + QStringLiteral(" Причина: %1.").arg(error);
    else if (!ok)
        text = QStringLiteral("Чтение тарифного расписания не завершено: %1.").arg(error);
    emit finished(ok, text);
}

} // namespace kelvar::schedule
