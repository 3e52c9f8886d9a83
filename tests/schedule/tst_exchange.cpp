// The schedule exchange against the simulated meter on a pseudo-terminal, in
// both protocol types: what goes on the line, what the meter holds after a
// write, what a read brings back, and how failures end.

#include "support/LinkRig.h"
#include "SampleSchedule.h"
#include "TestUtil.h"
#include "link/Catalogue.h"
#include "schedule/EditorImage.h"
#include "schedule/ScheduleExchange.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"

using namespace kelvar;
using kelvar::test::hex;
using kelvar::test::LinkRig;
using schedule::ScheduleExchange;
using schedule::ScheduleImage;

namespace {

constexpr int ExchangeWait = 60000;

// The schedule exchange added to the settings rig; function 8 shared with
// the information as in the window.
struct ScheduleRig : LinkRig {
    schedule::ScheduleExchange exchange{engine, dispatcher, state};
    QSignalSpy finished{&exchange, &ScheduleExchange::finished};
    QSignalSpy progress{&exchange, &ScheduleExchange::progress};

    bool startLink(link::Protocol protocol, const std::function<void(sim::MeterState &)> &change = {})
    {
        const bool ok = start([&](sim::MeterState &s) {
            s.protocol = protocol;
            s.address = 5;
            if (change)
                change(s);
        });
        meter::registerMeterInfo(dispatcher, info, exchange.recordReplies());
        exchange.setOperationLog(&log);
        return ok && waitForInfo();
    }
    bool waitFinished() { return finished.wait(ExchangeWait); }
    bool lastOk() const { return !finished.isEmpty() && finished.last().at(0).toBool(); }
    QString lastError() const { return finished.isEmpty() ? QString() : finished.last().at(1).toString(); }

    // The requests the meter took from the first schedule write on, without
    // their CRC and without the poll requests around the batch.
    QList<QByteArray> writeRequests() const
    {
        QList<QByteArray> out;
        bool inBatch = false;
        for (const QByteArray &r : server.receivedRequests()) {
            const int code = quint8(r.at(0));
            inBatch = inBatch || code == link::fn::Password || code == link::fn::WriteHoliday;
            const bool batchCode = code == link::fn::Password || code == link::fn::WriteHoliday
                || code == link::fn::WriteTransfer || code == link::fn::WriteSchedule || code == link::fn::WriteLimit;
            if (inBatch && batchCode)
                out << r.chopped(2);
        }
        return out;
    }
};

QByteArray record(const char *text)
{
    return hex(text);
}

QList<QByteArray> hexList(std::initializer_list<const char *> texts)
{
    QList<QByteArray> out;
    for (const char *t : texts)
        out << hex(t);
    return out;
}

} // namespace

class TestScheduleExchange : public QObject {
    Q_OBJECT
private slots:
    void protocols_data() { test::addProtocolRows(); }

    // Write, then read back: the same schedule; the wire carries exactly the
    // write batch; progress reaches 288; the meter's checksum changes.
    void writeThenReadBack_data() { protocols_data(); }
    void writeThenReadBack()
    {
        QFETCH(link::Protocol, protocol);
        ScheduleRig rig;
        QVERIFY(rig.startLink(protocol));
        const quint16 checksumBefore = rig.server.state().scheduleChecksum();
        rig.server.clearReceived();

        const ScheduleImage image = test::sampleSchedule();
        QCOMPARE(rig.exchange.startWrite(image, QStringLiteral("1")), ScheduleExchange::Start::Started);
        QVERIFY(rig.engine.ScheduleWriteActive());
        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::Busy);
        QVERIFY(rig.waitFinished());
        QVERIFY2(rig.lastOk(), qPrintable(rig.lastError()));
        QCOMPARE(rig.indicators.last(), app::Indicator::Green);
        QCOMPARE(rig.writeRequests(), hexList({"14 04 01 00", "27 02", "29 02", "09 02", "07 03 07",
                                               "27 05 00 08 03", "27 05 01 01 05", "29 07 00 09 01 00 06",
                                               "09 0A 02 10 00 00 00 FF FF 0F", "09 0A 03 21 07 30 0F 1F FF 0F",
                                               "09 0A 04 00 23 00 00 60 03 00"}));
        QCOMPARE(rig.progress.last(), QVariantList({11, 11}));
        QVERIFY(rig.server.state().scheduleChecksum() != checksumBefore);
        QVERIFY(rig.logLines().last().endsWith(QStringLiteral("] Коэффициент лимита тарифного расписания=7")));

        rig.progress.clear();
        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY2(rig.lastOk(), qPrintable(rig.lastError()));
        QCOMPARE(rig.exchange.result(), image);
        QCOMPARE(rig.progress.size(), 1 + schedule::ReadProgressTotal);
        QCOMPARE(rig.progress.last(), QVariantList({288, 288}));
        QVERIFY(!rig.engine.ScheduleWriteActive());
    }

    // The batch without records: the three clears and the coefficient only,
    // holidays or not; the password goes only while none was accepted.
    void writeWithoutRecords()
    {
        ScheduleRig rig;
        QVERIFY(rig.startLink(link::Protocol::Rs485));
        rig.server.clearReceived();
        ScheduleImage image = test::sampleSchedule();
        image.records.clear();
        QCOMPARE(rig.exchange.startWrite(image, QStringLiteral("1")), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY2(rig.lastOk(), qPrintable(rig.lastError()));
        QVERIFY(rig.state.PasswordAccepted);
        // Once accepted, the password field is not even read.
        QCOMPARE(rig.exchange.startWrite(image, QStringLiteral("not a number")), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY2(rig.lastOk(), qPrintable(rig.lastError()));
        QCOMPARE(rig.writeRequests(), hexList({"14 04 01 00", "27 02", "29 02", "09 02", "07 03 07",
                                               "27 02", "29 02", "09 02", "07 03 07"}));
        const sim::MeterState s = rig.server.state();
        for (int slot = 0; slot < sim::ZoneSlotCount; ++slot)
            QVERIFY(s.zones[slot].isEmpty());
        QCOMPARE(s.holidays[0], QByteArray(2, '\0'));
    }

    // Refusals leave the line as it was: nothing of the batch reaches the meter.
    void refusedBeforeAnythingIsQueued_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("text");
        QTest::newRow("password not a number") << "12a" << 3 << int(ScheduleExchange::Start::InvalidPassword)
                                               << "Недопустимый пароль";
        QTest::newRow("password -1") << "-1" << 3 << int(ScheduleExchange::Start::InvalidPassword)
                                     << "Недопустимый пароль";
        QTest::newRow("255 records") << "1" << 255 << int(ScheduleExchange::Start::TooManyRecords) << "(255)";
    }
    void refusedBeforeAnythingIsQueued()
    {
        QFETCH(QString, password);
        QFETCH(int, records);
        QFETCH(int, expected);
        QFETCH(QString, text);
        ScheduleRig rig;
        QVERIFY(rig.startLink(link::Protocol::Rs485));
        ScheduleImage image = test::sampleSchedule();
        image.records.clear();
        for (int i = 0; i < records; ++i)
            image.records << record("00 00 00 00 01 01 00");
        rig.server.clearReceived();
        QCOMPARE(int(rig.exchange.startWrite(image, password)), expected);
        QVERIFY(rig.exchange.refusalText().contains(text));
        QVERIFY(!rig.engine.ScheduleWriteActive());
        QVERIFY(!rig.exchange.isBusy());
        // Polling goes on; none of the batch is among what the meter takes.
        QTRY_VERIFY(rig.server.receivedRequests().size() >= 3);
        QVERIFY(rig.writeRequests().isEmpty());
    }

    // 254 records fit: the last goes to slot 255.
    void fullMeter()
    {
        ScheduleImage image = test::sampleSchedule();
        image.records.clear();
        for (int i = 0; i < schedule::MaxMeterRecords; ++i)
            image.records << record("00 00 00 00 01 01 00");
        const schedule::ScheduleWriteBatch batch = schedule::buildScheduleWrite(image);
        QCOMPARE(batch.recordCount, 254);
        QCOMPARE(batch.requests.last().left(3), hex("09 0A FF"));
    }

    // Records that apply to no day stay out of the write and are counted; the
    // unused month bits of the others go out as 0, so the meter takes them.
    void recordsThatCoverNoDay()
    {
        ScheduleRig rig;
        QVERIFY(rig.startLink(link::Protocol::Modbus));
        ScheduleImage image = test::sampleSchedule();
        image.records = {record("00 00 00 00 00 FF 0F"),  // no day type
                         record("10 07 00 00 FF 00 00"),  // no month
                         record("00 08 00 00 FF 00 F0"),  // only the unused month bits
                         record("11 23 00 00 FF FF FF"),  // every month and the unused bits
                         record("00 00 00 00 FF FF 0F")};
        QCOMPARE(rig.exchange.startWrite(image, QStringLiteral("1")), ScheduleExchange::Start::Started);
        QCOMPARE(rig.exchange.leftOutRecords(), 3);
        QVERIFY(rig.waitFinished());
        QVERIFY2(rig.lastOk(), qPrintable(rig.lastError()));
        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.zones[2], record("11 23 00 00 FF FF 0F"));
        QCOMPARE(s.zones[3], record("00 00 00 00 FF FF 0F"));
        QVERIFY(s.zones[4].isEmpty());
    }

    // A silence in the middle: red, the message says the meter's schedule may
    // be incomplete, and the rest of the batch never reaches the meter.
    void silenceInTheMiddleOfAWrite_data() { protocols_data(); }
    void silenceInTheMiddleOfAWrite()
    {
        QFETCH(link::Protocol, protocol);
        ScheduleRig rig;
        QVERIFY(rig.startLink(protocol));
        sim::Faults faults;
        faults.silentFunction = link::fn::WriteTransfer;
        rig.server.setFaults(faults);
        rig.server.clearReceived();
        QCOMPARE(rig.exchange.startWrite(test::sampleSchedule(), QStringLiteral("1")), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY(!rig.lastOk());
        QVERIFY(rig.lastError().contains(QStringLiteral("может быть неполным")));
        QCOMPARE(rig.indicators.last(), app::Indicator::Red);
        QTRY_COMPARE(rig.failures.size(), 1);
        QVERIFY(rig.failures.first().contains(QStringLiteral("запишите его еще раз")));
        rig.server.setFaults({});
        QCOMPARE(rig.writeRequests(), hexList({"14 04 01 00", "27 02", "29 02"}));
        QVERIFY(!rig.exchange.isBusy());
        QVERIFY(!rig.engine.ScheduleWriteActive());
    }

    // A meter without zones: 256 zone steps, no record; the read replaces the
    // editor's schedule with the empty one; a transfer of 31.02 is no transfer.
    void readOfAnEmptyMeterEmptiesTheEditor()
    {
        ScheduleRig rig;
        QVERIFY(rig.startLink(link::Protocol::Rs485, [](sim::MeterState &s) {
            s.zones.fill(QByteArray());
            s.transfers[0] = hex("31 02 27 01");
            s.transfers[1] = hex("01 05 27 06");
            s.limitCoefficient = 0;
        }));
        schedule::ScheduleModel model;
        schedule::ScheduleTables tables;
        QVERIFY(model.SetShedule({record("10 00 00 00 FF FF 0F")}));
        tables.setLimitCoefficient(9);
        QSignalSpy replaced(&model, &schedule::ScheduleModel::scheduleReplaced);

        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY(rig.lastOk());
        int zoneSteps = 0;
        for (const QList<QVariant> &p : std::as_const(rig.progress))
            zoneSteps += p.at(0).toInt() >= 1 && p.at(0).toInt() <= 256;
        QCOMPARE(zoneSteps, 256);
        QVERIFY(rig.exchange.result().records.isEmpty());

        QVERIFY(schedule::applyImage(rig.exchange.result(), model, tables));
        QCOMPARE(replaced.size(), 1);
        QVERIFY(model.SavedList().isEmpty());
        QCOMPARE(model.recordCount(), 0);
        QCOMPARE(tables.transfers(), QList<schedule::Transfer>({{QDate(2027, 5, 1), 6}}));
        QCOMPARE(tables.holidays(), schedule::defaultHolidays());
        QCOMPARE(tables.limitCoefficient(), 1);
    }

    // A read that stops early ends as failed and names the cause; nothing of
    // it is offered as the meter's schedule.
    void readThatStops_data()
    {
        QTest::addColumn<int>("silentFunction");
        QTest::addColumn<int>("errorFunction");
        QTest::newRow("silence at the holidays") << int(link::fn::ReadHoliday) << -1;
        QTest::newRow("error reply at the coefficient") << -1 << int(link::fn::ReadLimit);
    }
    void readThatStops()
    {
        QFETCH(int, silentFunction);
        QFETCH(int, errorFunction);
        ScheduleRig rig;
        QVERIFY(rig.startLink(link::Protocol::Modbus));
        const ScheduleImage before = rig.exchange.result();
        sim::Faults faults;
        faults.silentFunction = silentFunction;
        faults.errorFunction = errorFunction;
        faults.errorCode = 4;
        rig.server.setFaults(faults);
        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::Started);
        QVERIFY(rig.waitFinished());
        QVERIFY(!rig.lastOk());
        QVERIFY(rig.lastError().startsWith(QStringLiteral("Чтение тарифного расписания не завершено")));
        QCOMPARE(rig.exchange.result(), before);
        QVERIFY(rig.failures.isEmpty()); // a read is not a write: no write failure box
        rig.server.setFaults({});
        // The link goes on polling and a new read can start.
        QTRY_VERIFY(!rig.engine.queue().isEmpty());
        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::Started);
        rig.engine.ActionDisconnectExecute();
        QCOMPARE(rig.finished.size(), 2);
        QVERIFY(rig.lastError().contains(QStringLiteral("связь разорвана")));
        QCOMPARE(rig.exchange.startRead(), ScheduleExchange::Start::NotConnected);
    }
};

QTEST_MAIN(TestScheduleExchange)
#include "tst_exchange.moc"
