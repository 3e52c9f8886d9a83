// The meter information readout: poll replies to row texts under a Russian
// locale, the duration text, the clock deviation and the reset.

#include "TestUtil.h"
#include "engine/FakeChannel.h"
#include "link/Catalogue.h"
#include "link/Frame.h"
#include "meter/MeterInfo.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvar::meter;
using kelvar::test::hex;

namespace {
enum Table { Main, Addi };

QString value(const MeterInfo &info, int table, int row)
{
    return table == Main ? info.mainValue(row) : info.addiValue(row);
}

// A clock reply: seconds, minutes, hours (BCD), day of week, day, month, year, status.
QByteArray clockReply(const char *block) { return hex("04 0A") + hex(block); }

// Production mode, the workstation clock stopped at 2026-12-09 14:05:09, and
// every meter last programmed ten days before.
void productionAtFixedTime(MeterInfo &info)
{
    const QDateTime now(QDate(2026, 12, 9), QTime(14, 5, 9));
    info.setProductionMode(true);
    info.setClock([now] { return now; });
    info.setLastSetTimeLookup([now](quint32) { return now.addDays(-10); });
}
} // namespace

class TestMeterInfo : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void captions()
    {
        QCOMPARE(MeterInfo::mainCaptions().size(), MeterInfo::RowCount);
        QCOMPARE(MeterInfo::addiCaptions().size(), MeterInfo::RowCount);
        // The row enums and the captions must agree: the report reads rows by number.
        QCOMPARE(MeterInfo::mainCaptions()[MeterInfo::RowTemperature], QStringLiteral("Температура"));
        QCOMPARE(MeterInfo::mainCaptions()[MeterInfo::RowScheduleChecksum],
                 QStringLiteral("Контрольная сумма тарифного расписания"));
        QCOMPARE(MeterInfo::addiCaptions()[MeterInfo::RowBillingPeakTime], QStringLiteral("Время фиксации"));
        QCOMPARE(MeterInfo::addiCaptions()[MeterInfo::RowLoadPower], QStringLiteral("Текущая мощность, Вт"));
        QVERIFY(MeterInfo::mainCaptions()[5].isEmpty());
        QVERIFY(MeterInfo::addiCaptions()[18].isEmpty());
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("prior");    // decoded first (to show what a reply leaves alone)
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("expected");
        const QByteArray none;
        const QByteArray v517 = hex("00 07 05 01 01 17 05");

        QTest::newRow("type 517.01") << none << v517 << int(Main) << int(MeterInfo::RowType) << "Kelvar 517.01";
        QTest::newRow("version 1.5") << none << v517 << int(Main) << int(MeterInfo::RowVersion) << "1.5";
        QTest::newRow("model 51700") << none << hex("00 07 00 00 00 17 05") << int(Main) << int(MeterInfo::RowType) << "Kelvar 517.00";
        QTest::newRow("version two digits") << none << hex("00 07 12 34 00 17 05") << int(Main) << int(MeterInfo::RowVersion) << "34.12";
        QTest::newRow("model 100") << none << hex("00 07 05 01 00 01 00") << int(Main) << int(MeterInfo::RowType) << "Kelvar 1.00";
        QTest::newRow("model 100 keeps version") << v517 << hex("00 07 09 09 00 01 00") << int(Main) << int(MeterInfo::RowVersion) << "1.5";

        QTest::newRow("number 42") << none << hex("01 05 2A 00 00") << int(Main) << int(MeterInfo::RowNumber) << "000042";
        QTest::newRow("number 0") << none << hex("01 05 00 00 00") << int(Main) << int(MeterInfo::RowNumber) << "0";
        QTest::newRow("number 17 bits") << none << hex("01 05 39 30 03") << int(Main) << int(MeterInfo::RowNumber) << "077881";
        QTest::newRow("number max") << none << hex("01 05 FF FF FF") << int(Main) << int(MeterInfo::RowNumber) << "131071";

        const QByteArray c61 = clockReply("09 05 14 03 09 12 26 61");
        const QByteArray c80 = clockReply("09 05 14 03 09 12 26 80");
        QTest::newRow("date time") << none << c61 << int(Main) << int(MeterInfo::RowDateTime) << "09.12.2026 14:05:09";
        QTest::newRow("date time at midnight") << none << clockReply("00 00 00 01 01 01 26 80") << int(Main)
                                               << int(MeterInfo::RowDateTime) << "01.01.2026 00:00:00";
        QTest::newRow("0x61 clock test") << none << c61 << int(Main) << int(MeterInfo::RowClockTest)
                                         << "Время не установлено. Неисправность ЧРВ.";
        QTest::newRow("0x61 summer") << none << c61 << int(Main) << int(MeterInfo::RowSummerTime) << "нет";
        QTest::newRow("0x61 tariff") << none << c61 << int(Main) << int(MeterInfo::RowTariff) << "2";
        QTest::newRow("0x80 clock test") << none << c80 << int(Main) << int(MeterInfo::RowClockTest) << "Ok";
        QTest::newRow("0x80 summer") << none << c80 << int(Main) << int(MeterInfo::RowSummerTime) << "да";
        QTest::newRow("0x80 tariff") << none << c80 << int(Main) << int(MeterInfo::RowTariff) << "1";
        QTest::newRow("time not set only") << none << clockReply("00 00 00 01 01 01 00 40") << int(Main)
                                           << int(MeterInfo::RowClockTest) << "Время не установлено. ";
        QTest::newRow("clock fault only") << none << clockReply("00 00 00 01 01 01 00 20") << int(Main)
                                          << int(MeterInfo::RowClockTest) << "Неисправность ЧРВ.";
        QTest::newRow("tariff bits 0..2") << none << clockReply("00 00 00 01 01 01 00 1F") << int(Main)
                                          << int(MeterInfo::RowTariff) << "8";
        QTest::newRow("month 13") << none << clockReply("00 00 12 01 01 13 26 00") << int(Main) << int(MeterInfo::RowDateTime) << "?";
        QTest::newRow("hour 25") << none << clockReply("00 00 25 01 01 01 26 00") << int(Main) << int(MeterInfo::RowDateTime) << "?";
        QTest::newRow("31 February") << none << clockReply("00 00 12 01 31 02 26 00") << int(Main) << int(MeterInfo::RowDateTime) << "?";

        QTest::newRow("checksum") << none << hex("08 04 34 12") << int(Main) << int(MeterInfo::RowScheduleChecksum) << "4660";
        QTest::newRow("load 12345") << none << hex("0C 05 39 30 00") << int(Addi) << int(MeterInfo::RowLoadPower) << "1234,5";
        QTest::newRow("load 0") << none << hex("0C 05 00 00 00") << int(Addi) << int(MeterInfo::RowLoadPower) << "0,0";
        QTest::newRow("load 24 bits") << none << hex("0C 05 FF FF FF") << int(Addi) << int(MeterInfo::RowLoadPower) << "1677721,5";

        // Tariff 1: 4000 counts, tariff 2: 6000, tariff 3: 1; billing 1: 10 counts.
        const QByteArray readings = hex("0F 22 A0 0F 00 00 70 17 00 00 01 00 00 00 FF FF FF FF"
                                        "0A 00 00 00 00 00 00 00 00 00 00 00 FF FF FF FF");
        QTest::newRow("tariff 1") << none << readings << int(Addi) << int(MeterInfo::RowTariff1) << "1";
        QTest::newRow("tariff 2") << none << readings << int(Addi) << int(MeterInfo::RowTariff2) << "1,5";
        QTest::newRow("tariff 3") << none << readings << int(Addi) << int(MeterInfo::RowTariff3) << "0,00025";
        QTest::newRow("total") << none << readings << int(Addi) << int(MeterInfo::RowTotal) << "2,50025";
        QTest::newRow("billing 1") << none << readings << int(Addi) << int(MeterInfo::RowBilling1) << "0,0025";
        QTest::newRow("billing 3") << none << readings << int(Addi) << int(MeterInfo::RowBilling3) << "0";
        QTest::newRow("readings max") << none << hex("0F 22 FF FF FF FF") + QByteArray(28, '\0') << int(Addi)
                                      << int(MeterInfo::RowTotal) << "1073741,82375";

        const QByteArray counters2881 = hex("11 06 41 0B 00 07");
        QTest::newRow("operating 2881") << none << counters2881 << int(Main) << int(MeterInfo::RowOperatingTime) << "1д.00:00:30";
        QTest::newRow("operating 0") << none << hex("11 06 00 00 00 00") << int(Main) << int(MeterInfo::RowOperatingTime) << "00:00:00";
        QTest::newRow("corrections") << none << counters2881 << int(Main) << int(MeterInfo::RowCorrections) << "7";

        const QByteArray phases = hex("13 0E A0 0F 00 00 40 1F 00 00 00 00 00 00");
        QTest::newRow("phase A") << none << phases << int(Addi) << int(MeterInfo::RowPhaseA) << "1";
        QTest::newRow("phase B") << none << phases << int(Addi) << int(MeterInfo::RowPhaseB) << "2";
        QTest::newRow("phase C") << none << phases << int(Addi) << int(MeterInfo::RowPhaseC) << "0";

        QTest::newRow("integration") << none << hex("1E 03 0E") << int(Main) << int(MeterInfo::RowPeakIntegration) << "15";
        QTest::newRow("billing day") << none << hex("22 04 23 15") << int(Main) << int(MeterInfo::RowBillingDay) << "15";
        QTest::newRow("billing hour") << none << hex("22 04 23 15") << int(Main) << int(MeterInfo::RowBillingHour) << "23";

        // 86400 s = 2000-01-02 00:00 (the time of day is left out at midnight), 86400+3661 = 01:01:01.
        const QByteArray peaks = hex("2B 10 80 51 01 00 39 30 00 CD 5F 01 00 01 00 01");
        const QByteArray zeroPeaks = hex("2B 10 00 00 00 00 05 00 00 00 00 00 00 06 00 00");
        QTest::newRow("peak") << none << peaks << int(Addi) << int(MeterInfo::RowPeakPower) << "12345";
        QTest::newRow("peak time") << none << peaks << int(Addi) << int(MeterInfo::RowPeakTime) << "02.01.2000";
        QTest::newRow("billing peak") << none << peaks << int(Addi) << int(MeterInfo::RowBillingPeakPower) << "65537";
        QTest::newRow("billing peak time") << none << peaks << int(Addi) << int(MeterInfo::RowBillingPeakTime) << "02.01.2000 01:01:01";
        QTest::newRow("zero times keep time") << peaks << zeroPeaks << int(Addi) << int(MeterInfo::RowPeakTime) << "02.01.2000";
        QTest::newRow("zero times keep time 2") << peaks << zeroPeaks << int(Addi) << int(MeterInfo::RowBillingPeakTime) << "02.01.2000 01:01:01";
        QTest::newRow("zero times power") << peaks << zeroPeaks << int(Addi) << int(MeterInfo::RowPeakPower) << "5";
        QTest::newRow("zero times, empty before") << none << zeroPeaks << int(Addi) << int(MeterInfo::RowPeakTime) << "";
        QTest::newRow("peaks wrong length") << peaks << hex("2B 03 00") << int(Addi) << int(MeterInfo::RowPeakPower) << "12345";

        QTest::newRow("calibrated") << none << hex("2C 06 CD 5F 01 00") << int(Main) << int(MeterInfo::RowCalibrated) << "02.01.2000 01:01:01";
        QTest::newRow("not calibrated") << hex("2C 06 CD 5F 01 00") << hex("2C 06 00 00 00 00") << int(Main)
                                        << int(MeterInfo::RowCalibrated) << "";

        QTest::newRow("temperature F6") << none << hex("2D 03 F6") << int(Main) << int(MeterInfo::RowTemperature) << "-10";
        QTest::newRow("temperature 19") << none << hex("2D 03 19") << int(Main) << int(MeterInfo::RowTemperature) << "+25";
        QTest::newRow("temperature 0") << none << hex("2D 03 00") << int(Main) << int(MeterInfo::RowTemperature) << "+0";
        QTest::newRow("temperature 80") << none << hex("2D 03 80") << int(Main) << int(MeterInfo::RowTemperature) << "-128";
        QTest::newRow("temperature 7F") << none << hex("2D 03 7F") << int(Main) << int(MeterInfo::RowTemperature) << "+127";

        // "Тест 1" in Windows-1251, then zero bytes, then text behind the zero that is not shown.
        QByteArray description = hex("30 32") + hex("D2 E5 F1 F2 20 31");
        description += QByteArray(10, '\0') + QByteArray("tail");
        description += QByteArray(50 - description.size(), '\0');
        QByteArray fullDescription = hex("30 32") + QByteArray(48, 'A');
        QTest::newRow("description") << none << description << int(Main) << int(MeterInfo::RowDescription) << "Тест 1";
        QTest::newRow("description 48 chars") << none << fullDescription << int(Main) << int(MeterInfo::RowDescription)
                                              << QString(48, QLatin1Char('A'));
        QTest::newRow("description wrong length") << description << hex("30 03 41") << int(Main)
                                                  << int(MeterInfo::RowDescription) << "";

        QTest::newRow("penalty integration") << none << hex("4E 03 FF") << int(Main) << int(MeterInfo::RowPenaltyIntegration) << "255";
    }
    void decode()
    {
        QFETCH(QByteArray, prior);
        QFETCH(QByteArray, response);
        QFETCH(int, table);
        QFETCH(int, row);
        QFETCH(QString, expected);
        MeterState state;
        MeterInfo info(state);
        if (!prior.isEmpty())
            QVERIFY(info.decode(prior));
        QVERIFY(info.decode(response));
        QCOMPARE(value(info, table, row), expected);
    }

    void stateFromReplies()
    {
        MeterState state;
        MeterInfo info(state);
        info.decode(hex("00 07 05 01 01 17 05"));
        info.decode(hex("01 05 39 30 03"));
        info.decode(clockReply("09 05 14 03 09 12 26 61"));
        QCOMPARE(state.ModelCode, 51701);
        QCOMPARE(state.MeterNumber, 77881u);
        QCOMPARE(int(state.MeterStatus), 0x61);
        QCOMPARE(state.MeterTime, QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9)));
        info.decode(clockReply("09 05 14 03 09 13 26 00"));
        QVERIFY(!state.MeterTime.isValid());
    }

    void notOurs_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("schedule record (length 10)") << hex("08 0A 00 00 00 00 00 00 00 00");
        QTest::newRow("schedule write answer (length 3)") << hex("08 03 00");
        QTest::newRow("settings write") << hex("02 02");
        QTest::newRow("journal") << hex("12 02");
        QTest::newRow("empty") << QByteArray();
    }
    void notOurs()
    {
        QFETCH(QByteArray, response);
        MeterState state;
        MeterInfo info(state);
        QSignalSpy mainSpy(&info, &MeterInfo::mainRowChanged);
        QVERIFY(!info.decode(response));
        QCOMPARE(mainSpy.count(), 0);
    }

    void displayMask()
    {
        MeterState state;
        MeterInfo info(state);
        QSignalSpy spy(&info, &MeterInfo::displayMaskChanged);
        QVERIFY(info.decode(hex("0D 03 25")));
        QCOMPARE(int(info.displayMask()), 0x25);
        QCOMPARE(spy.count(), 1);
        QVERIFY(info.decode(hex("0D 03 00")));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.last().at(0).value<quint8>(), quint8(0));
        // The mask outlives a reset.
        info.ResetMeterInfo();
        info.decode(hex("0D 03 07"));
        info.ResetMeterInfo();
        QCOMPARE(int(info.displayMask()), 7);
    }

    void formatDuration_data()
    {
        QTest::addColumn<quint32>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0") << 0u << "00:00:00";
        QTest::newRow("59") << 59u << "00:00:59";
        QTest::newRow("one hour") << 3600u << "01:00:00";
        QTest::newRow("a day less a second") << 86399u << "23:59:59";
        QTest::newRow("one day") << 86400u << "1д.00:00:00";
        QTest::newRow("3d 5h 4m 3s") << quint32(3 * 86400 + 5 * 3600 + 4 * 60 + 3) << "3д.05:04:03";
        QTest::newRow("largest 24-bit count") << 16777215u * 30u << "5825д.10:07:30";
        QTest::newRow("unsigned max") << 4294967295u << "49710д.06:28:15";
    }
    void formatDuration()
    {
        QFETCH(quint32, seconds);
        QFETCH(QString, expected);
        QCOMPARE(FormatDuration(seconds), expected);
    }

    void drift_data()
    {
        QTest::addColumn<bool>("production");
        QTest::addColumn<QDateTime>("lastSet");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QByteArray>("clock");
        QTest::addColumn<QString>("expected");
        const QDateTime now(QDate(2026, 12, 9), QTime(14, 5, 9));
        const QByteArray exact = clockReply("09 05 14 03 09 12 26 00");
        const QByteArray ahead10 = clockReply("19 05 14 03 09 12 26 00");
        QTest::newRow("10 s ahead after 10 days") << true << now.addDays(-10) << now << ahead10 << "1,00";
        QTest::newRow("10 s ahead after 3 days") << true << now.addDays(-3) << now << ahead10 << "3,33";
        QTest::newRow("behind after a day") << true << now.addSecs(30 - 86400) << now.addSecs(30) << exact << "-30,00";
        QTest::newRow("exact") << true << now.addDays(-5) << now << exact << "0,00";
        QTest::newRow("half a day: too soon") << true << now.addSecs(-43200) << now << ahead10 << "";
        QTest::newRow("just over half a day") << true << now.addSecs(-43201) << now << exact << "0,00";
        QTest::newRow("never set") << true << QDateTime() << now << ahead10 << "";
        QTest::newRow("invalid meter time") << true << now.addDays(-10) << now << clockReply("09 05 14 03 09 13 26 00") << "";
        QTest::newRow("bench mode") << false << now.addDays(-10) << now << ahead10 << "";
    }
    void drift()
    {
        QFETCH(bool, production);
        QFETCH(QDateTime, lastSet);
        QFETCH(QDateTime, now);
        QFETCH(QByteArray, clock);
        QFETCH(QString, expected);
        MeterState state;
        MeterInfo info(state);
        info.setProductionMode(production);
        info.setClock([now] { return now; });
        state.LastSetTime = lastSet;
        QVERIFY(info.decode(clock));
        QCOMPARE(info.delta(), expected);
        QCOMPARE(state.DriftCount, expected.isEmpty() ? 0 : 1);
    }

    void driftIsAveraged()
    {
        MeterState state;
        MeterInfo info(state);
        productionAtFixedTime(info);
        info.decode(hex("01 05 2A 00 00"));
        info.decode(clockReply("19 05 14 03 09 12 26 00")); // +10 s -> 1 s/day
        info.decode(clockReply("39 05 14 03 09 12 26 00")); // +30 s -> 3 s/day
        QCOMPARE(state.DriftCount, 2);
        QCOMPARE(info.delta(), QStringLiteral("2,00"));
        // A read without a valid time empties the field but keeps the sum.
        info.decode(clockReply("39 05 14 03 09 13 26 00"));
        QCOMPARE(info.delta(), QString());
        QCOMPARE(state.DriftCount, 2);
    }

    void lastSetTimeLookup()
    {
        MeterState state;
        MeterInfo info(state);
        QList<quint32> asked;
        const QDateTime set(QDate(2026, 1, 1), QTime(8, 0));
        info.setLastSetTimeLookup([&](quint32 n) { asked << n; return n == 42 ? set : QDateTime(); });
        QSignalSpy spy(&info, &MeterInfo::meterNumberRead);

        info.decode(hex("01 05 2A 00 00"));
        QVERIFY(asked.isEmpty()); // bench mode never asks
        info.ResetMeterInfo();

        info.setProductionMode(true);
        info.decode(hex("01 05 2A 00 00"));
        info.decode(hex("01 05 2A 00 00"));
        QCOMPARE(asked, QList<quint32>{42});  // the same meter is asked about once
        QCOMPARE(state.LastSetTime, set);
        info.decode(hex("01 05 2B 00 00"));   // another meter answers
        QCOMPARE(asked, (QList<quint32>{42, 43}));
        QVERIFY(!state.LastSetTime.isValid());

        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.at(1).at(1).toBool(), true);
        QCOMPARE(spy.at(2).at(1).toBool(), false);
        QCOMPARE(spy.at(3).at(0).value<quint32>(), 43u);
    }

    // The information owns its poll codes on the dispatcher; function 8 is
    // shared with the schedule, which gets every reply but the checksum.
    void dispatcherRouting_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("scheduleCalls");
        QTest::newRow("checksum") << hex("08 04 34 12") << int(MeterInfo::RowScheduleChecksum) << "4660" << 0;
        QTest::newRow("schedule record") << hex("08 0A 05 01 02 03 04 05 06 07") << int(MeterInfo::RowScheduleChecksum) << "" << 1;
        QTest::newRow("temperature") << hex("2D 03 F6") << int(MeterInfo::RowTemperature) << "-10" << 0;
        QTest::newRow("averaging") << hex("4E 03 0A") << int(MeterInfo::RowPenaltyIntegration) << "10" << 0;
    }
    void dispatcherRouting()
    {
        QFETCH(QByteArray, response);
        QFETCH(int, row);
        QFETCH(QString, expected);
        QFETCH(int, scheduleCalls);
        kelvar::test::FakeChannel channel;
        kelvar::link::ExchangeEngine engine(&channel);
        engine.setProtocol(kelvar::link::Protocol::Modbus); // no echo test: the reply stands alone
        ResponseDispatcher dispatcher(engine);
        MeterState state;
        MeterInfo info(state);
        QList<QByteArray> scheduled;
        registerMeterInfo(dispatcher, info, [&](const QByteArray &r, const QByteArray &) { scheduled << r; });
        for (quint8 code : MeterInfo::codes())
            QVERIFY(dispatcher.hasOwner(code));
        QVERIFY(!dispatcher.hasOwner(kelvar::link::fn::WriteTime));
        QSignalSpy failed(&dispatcher, &ResponseDispatcher::responseFailed);
        dispatcher.ProcessResponse(kelvar::link::AppendCrc(response));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(info.mainValue(row), expected);
        QCOMPARE(scheduled.size(), scheduleCalls);
    }

    void reset()
    {
        MeterState state;
        MeterInfo info(state);
        productionAtFixedTime(info);
        info.decode(hex("00 07 05 01 01 17 05"));
        info.decode(hex("01 05 2A 00 00"));
        info.decode(clockReply("19 05 14 03 09 12 26 00"));
        info.decode(hex("0F 22 A0 0F") + QByteArray(30, '\0'));
        state.PasswordAccepted = true;
        QVERIFY(!info.delta().isEmpty());

        QSignalSpy resetSpy(&info, &MeterInfo::infoReset);
        QSignalSpy mainSpy(&info, &MeterInfo::mainRowChanged);
        info.ResetMeterInfo();
        QCOMPARE(resetSpy.count(), 1);
        QCOMPARE(info.mainValues(), QStringList(MeterInfo::RowCount, QString()));
        QCOMPARE(info.addiValues(), QStringList(MeterInfo::RowCount, QString()));
        QVERIFY(mainSpy.count() > 0);
        QCOMPARE(info.delta(), QString());
        QCOMPARE(state.ModelCode, 0);
        QCOMPARE(state.MeterNumber, 0u);
        QCOMPARE(state.MeterStatus, quint8(0));
        QVERIFY(!state.LastSetTime.isValid());
        QCOMPARE(state.DriftSum, 0.0);
        QCOMPARE(state.DriftCount, 0);
        QVERIFY(!state.PasswordAccepted);
        // After the reset the same number counts as a new meter again.
        QSignalSpy numberSpy(&info, &MeterInfo::meterNumberRead);
        info.decode(hex("01 05 2A 00 00"));
        QCOMPARE(numberSpy.at(0).at(1).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(TestMeterInfo)
#include "tst_meterinfo.moc"
