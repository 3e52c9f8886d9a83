// Settings and calibration writes through the engine against the simulated
// meter on a pseudo-terminal: what lands in the meter, the outcome, the
// operation log and the link switch.

#include "support/LinkRig.h"
#include "TestUtil.h"
#include "common/TextFormat.h"
#include "link/Catalogue.h"

using namespace kelvar;
using kelvar::test::LinkRig;

namespace {
const QDateTime ClockToSet(QDate(2031, 3, 14), QTime(15, 9, 26));

meter::SettingsValues everything()
{
    meter::SettingsValues v;
    v.writeLink = v.writeTime = v.writeBilling = v.resetTariff = v.writeIntegration = v.writeDescription
        = v.writePassword = v.writeDisplay = true;
    v.date = ClockToSet.date();
    v.time = ClockToSet.time();
    v.summerTime = true;
    v.billingDay = 25;
    v.billingHour = 17;
    v.displayMask = 0x2A;
    v.protocol = link::Protocol::Rs485;
    v.newAddress = 56;
    v.baudIndex = 2;
    v.peakMinutes = 60;
    v.penaltySeconds = 45;
    v.description = QStringLiteral("Щит 2, подъезд 4");
    v.newPassword = QStringLiteral("4242");
    v.number = 123456;
    return v;
}
} // namespace

class TestSettingsLink : public QObject {
    Q_OBJECT
private slots:
    void fullWrite_data() { test::addProtocolRows(); }
    void fullWrite()
    {
        QFETCH(link::Protocol, protocol);
        LinkRig rig;
        QVERIFY(rig.start([&](sim::MeterState &s) { s.protocol = protocol; s.address = 3; }));
        QVERIFY(rig.waitForInfo());
        const sim::MeterState before = rig.server.state();
        QCOMPARE(before.serialNumber, 0u);

        meter::SettingsValues values = everything();
        rig.settings.setValuesSource([&] { return values; });
        QSignalSpy resets(&rig.info, &meter::MeterInfo::infoReset);
        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::Started);
        QVERIFY(rig.engine.SettingsWriteActive());
        QVERIFY(rig.waitForOutcome());
        QCOMPARE(rig.indicators.last(), app::Indicator::Green);
        QVERIFY(!rig.engine.SettingsWriteActive());
        QVERIFY(rig.failures.isEmpty());

        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.serialNumber, 123456u);
        QCOMPARE(s.billingDay, 25);
        QCOMPARE(s.billingHour, 17);
        QCOMPARE(s.displayMask, quint8(0x2A));
        QCOMPARE(s.integrationMinutes, 60);
        QCOMPARE(s.averagingSeconds, 45);
        QCOMPARE(s.description, text::toCp1251(values.description).leftJustified(48, '\0'));
        QCOMPARE(s.password, quint16(4242));
        QVERIFY(s.summerTime);
        const qint64 expectedOffset = QDateTime::currentDateTime().secsTo(ClockToSet);
        QVERIFY2(qAbs(s.clockOffset - expectedOffset) <= 3, qPrintable(QString::number(s.clockOffset - expectedOffset)));
        for (const QByteArray &zone : s.zones)
            QVERIFY(zone.isEmpty() || zone == QByteArray(zone.size(), '\0'));
        QCOMPARE(s.address, quint8(56));
        QCOMPARE(s.baudIndex, 2);
        QCOMPARE(s.protocol, link::Protocol::Rs485);
        // The program followed the meter to its new link parameters.
        QCOMPARE(rig.engine.address(), 56);
        QCOMPARE(rig.engine.baudIndex(), 2);
        QCOMPARE(rig.engine.protocol(), link::Protocol::Rs485);

        // The requests went out in the fixed order, the link parameters last.
        QList<int> codes = rig.receivedCodes();
        const qsizetype first = codes.indexOf(link::fn::Password);
        QVERIFY(first >= 0);
        QCOMPARE(codes.mid(first, 14), (QList<int>{20, 5, 20, 2, 35, 14, 31, 79, 39, 41, 9, 36, 49, 3}));

        // Two seconds after the green indicator the information is reset and
        // read afresh from the meter at its new address.
        QTRY_VERIFY_WITH_TIMEOUT(resets.count() >= 1, 5000);
        QVERIFY(!rig.state.PasswordAccepted);
        QTRY_COMPARE_WITH_TIMEOUT(rig.info.mainValue(meter::MeterInfo::RowNumber), QStringLiteral("123456"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.info.mainValue(meter::MeterInfo::RowDescription), values.description, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.info.mainValue(meter::MeterInfo::RowBillingDay), QStringLiteral("25"), 10000);
        QVERIFY(rig.protocol.filter(link::ExchangeEngine::TimeoutText).isEmpty());

        const QString stamp = QStringLiteral("000000[");
        const QStringList lines = rig.logLines();
        QCOMPARE(lines.size(), 10);
        for (const QString &line : lines)
            QVERIFY2(line.startsWith(stamp), qPrintable(line));
        QStringList texts;
        for (const QString &line : lines)
            texts << line.section(QStringLiteral("] "), 1);
        QCOMPARE(texts, (QStringList{
                            "Время=" + text::dateTime(ClockToSet) + " Автопереход на летнее время",
                            "Пароль на запись=4242",
                            "Номер=123456",
                            "Расчетный день=25 Расчетный час=17",
                            "Режим индикации=показания на РДЧ  мощность фазные значения потребления ",
                            "Время интегрирования детектора пиковой можщности=60",
                            "Время интегрирования мощности при переходе на штрафной тариф=45",
                            "Сброс показаний на РДЧ",
                            "Описание=Щит 2, подъезд 4",
                            "Адрес=56 Скорость=19200",
                        }));
    }

    void wrongAccessPassword()
    {
        LinkRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.waitForInfo());
        const sim::MeterState before = rig.server.state();
        rig.server.clearReceived();

        meter::SettingsValues values = everything();
        rig.settings.setValuesSource([&] { return values; });
        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("2")), meter::SettingsOwner::Start::Started);
        QVERIFY(rig.waitForOutcome());
        QCOMPARE(rig.indicators.last(), app::Indicator::Red);
        QTRY_COMPARE(rig.failures, QStringList{link::ExchangeEngine::SettingsWriteFailedText});
        QVERIFY(rig.protocol.contains(QStringLiteral("Ошибка: Нет доступа для записи (ввод пароля)")));
        QVERIFY(!rig.engine.SettingsWriteActive());
        QVERIFY(!rig.state.PasswordAccepted);

        // Nothing behind the password reached the meter; polling goes on.
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().size() >= rig.receivedCodes().indexOf(20) + 3, 5000);
        const QList<int> writeCodes{2, 3, 5, 9, 14, 31, 35, 36, 39, 41, 49, 79};
        const QList<int> codes = rig.receivedCodes();
        QCOMPARE(codes.count(20), 1);
        for (int code : codes)
            QVERIFY2(!writeCodes.contains(code), qPrintable(QString::number(code)));
        sim::MeterState after = rig.server.state();
        QCOMPARE(after.serialNumber, before.serialNumber);
        QCOMPARE(after.description, before.description);
        QCOMPARE(after.displayMask, before.displayMask);
        QCOMPARE(after.address, before.address);
        QCOMPARE(after.password, before.password);
        QVERIFY(rig.logLines().isEmpty());
    }

    void failureAtTheThirdWrite()
    {
        LinkRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.waitForInfo());
        const sim::MeterState before = rig.server.state();
        sim::Faults faults;
        faults.errorFunction = link::fn::WriteDisplay;
        faults.errorCode = 4;
        rig.server.setFaults(faults);

        meter::SettingsValues values;
        values.writeTime = values.writeBilling = values.writeDisplay = values.writeIntegration = true;
        values.date = ClockToSet.date();
        values.time = ClockToSet.time();
        values.billingDay = 7;
        values.billingHour = 8;
        values.displayMask = 0x01;
        values.peakMinutes = 5;
        values.penaltySeconds = 6;
        rig.settings.setValuesSource([&] { return values; });
        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::Started);
        QVERIFY(rig.waitForOutcome());
        QCOMPARE(rig.indicators.last(), app::Indicator::Red);
        QTRY_COMPARE(rig.failures.size(), 1);
        QVERIFY(rig.protocol.contains(QStringLiteral("Ошибка: Неверные данные запроса (запись индикатора)")));
        rig.server.setFaults({});

        const sim::MeterState s = rig.server.state();
        QVERIFY(qAbs(s.clockOffset - QDateTime::currentDateTime().secsTo(ClockToSet)) <= 3);
        QCOMPARE(s.billingDay, 7);
        QCOMPARE(s.billingHour, 8);
        QCOMPARE(s.displayMask, before.displayMask);
        QCOMPARE(s.integrationMinutes, before.integrationMinutes);
        QCOMPARE(s.averagingSeconds, before.averagingSeconds);
        QCOMPARE(rig.logLines().size(), 2);

        // The queue was emptied and polling resumed: the meter is read again.
        QVERIFY(rig.engine.queue().size() <= 1);
        rig.server.clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().size() >= 3, 5000);
        QVERIFY(!rig.receivedCodes().contains(link::fn::WriteIntegration));
    }

    void linkWriteToModbus()
    {
        LinkRig rig;
        QVERIFY(rig.start([](sim::MeterState &s) { s.address = 9; }));
        QVERIFY(rig.waitForInfo());

        meter::SettingsValues values;
        values.writeLink = true;
        values.protocol = link::Protocol::Modbus;
        values.parityIndex = 1;
        values.baudIndex = 1;
        values.newAddress = 21;
        rig.settings.setValuesSource([&] { return values; });
        QCOMPARE(rig.settings.ActionSettingExecute(QStringLiteral("1")), meter::SettingsOwner::Start::Started);
        QVERIFY(rig.waitForOutcome());
        QCOMPARE(rig.indicators.last(), app::Indicator::Green);
        QCOMPARE(rig.engine.protocol(), link::Protocol::Modbus);
        QCOMPARE(rig.engine.parityIndex(), 1);
        QCOMPARE(rig.engine.baudIndex(), 1);
        QCOMPARE(rig.engine.address(), 21);
        const sim::MeterState s = rig.server.state();
        QCOMPARE(s.protocol, link::Protocol::Modbus);
        QCOMPARE(s.parity, 1);
        QCOMPARE(s.baudIndex, 1);
        QCOMPARE(s.address, quint8(21));
        QCOMPARE(rig.logLines().size(), 2);
        QVERIFY(rig.logLines().at(0).endsWith(QStringLiteral("] Адрес=21 Скорость=9600")));
        QVERIFY(rig.logLines().at(1).endsWith(QStringLiteral("] Паритет=четн.")));

        // After the reset the program polls the meter in the new settings.
        QTRY_VERIFY_WITH_TIMEOUT(rig.info.mainValue(meter::MeterInfo::RowNumber).isEmpty(), 5000);
        QVERIFY(rig.waitForInfo());
        rig.server.clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().size() >= 16, 10000);
        QVERIFY(rig.protocol.filter(link::ExchangeEngine::TimeoutText).isEmpty());
    }

    void productionHooks_data()
    {
        QTest::addColumn<bool>("clockSynced");
        QTest::newRow("server clock read") << true;
        QTest::newRow("server clock unreadable") << false;
    }
    void productionHooks()
    {
        QFETCH(bool, clockSynced);
        LinkRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.waitForInfo());
        rig.log.setEnabled(false);
        int syncs = 0;
        int records = 0;
        rig.settings.setProductionMode(true);
        rig.settings.setSyncClockFromServer([&] { ++syncs; return clockSynced; });
        rig.settings.setRecordSettingsOperation([&] { ++records; });
        meter::SettingsValues values;
        values.writeBilling = true;
        values.billingDay = 9;
        rig.settings.setValuesSource([&] { return values; });
        rig.server.clearReceived();

        const auto start = rig.settings.ActionSettingExecute(QStringLiteral("1"));
        QCOMPARE(syncs, 1);
        QCOMPARE(start, clockSynced ? meter::SettingsOwner::Start::Started : meter::SettingsOwner::Start::ClockSyncFailed);
        QCOMPARE(rig.engine.SettingsWriteActive(), clockSynced);
        if (clockSynced) {
            QVERIFY(rig.waitForOutcome());
            QCOMPARE(rig.indicators.last(), app::Indicator::Green);
            QCOMPARE(rig.server.state().billingDay, 9);
        } else {
            // The password request still goes out; no write follows and nothing is reported.
            QTRY_VERIFY_WITH_TIMEOUT(rig.state.PasswordAccepted, 5000);
            QTest::qWait(500);
            QVERIFY(!rig.receivedCodes().contains(link::fn::WriteBilling));
            QVERIFY(rig.indicators.isEmpty());
        }
        QCOMPARE(records, clockSynced ? 1 : 0);
        QVERIFY(rig.logLines().isEmpty());   // production benches keep no local log
    }

    void calibrationRoundTrip_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::newRow("limits") << -32768 << 32767 << 1;
        QTest::newRow("minus one, zero") << -1 << 0 << 32767;
    }
    void calibrationRoundTrip()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        LinkRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.waitForInfo());
        meter::Coefficients shown{0, 0, 0};
        rig.calibration.setShownTexts([&] {
            return QStringList{QString::number(shown[0]), QString::number(shown[1]), QString::number(shown[2])};
        });
        QObject::connect(&rig.calibration, &meter::CalibrationOwner::coefficientsRead,
                         [&](int x, int y, int z) { shown = {x, y, z}; });

        using Start = meter::CalibrationOwner::WriteStart;
        QCOMPARE(rig.calibration.BtnWriteCalibrClick({a, b, c}, QStringLiteral("-1")), Start::InvalidPassword);
        QCOMPARE(rig.calibration.BtnWriteCalibrClick({a, b, c}, QStringLiteral("x")), Start::InvalidPassword);
        rig.server.clearReceived();
        shown = {a, b, c};
        QSignalSpy ended(&rig.calibration, &meter::CalibrationOwner::writeEnded);
        QCOMPARE(rig.calibration.BtnWriteCalibrClick({a, b, c}, QStringLiteral("1")), Start::Started);
        QVERIFY(rig.engine.CalibrationWriteActive());
        QTRY_VERIFY_WITH_TIMEOUT(rig.server.state().calibration == (std::array<qint16, 3>{qint16(a), qint16(b), qint16(c)}), 5000);
        QTRY_VERIFY(rig.state.PasswordAccepted);
        QList<int> codes = rig.receivedCodes();
        QCOMPARE(codes.mid(codes.indexOf(20), 2), (QList<int>{20, 11}));
        QTRY_COMPARE(rig.logLines().size(), 1);
        QVERIFY(rig.logLines().at(0).endsWith(QStringLiteral("] Коэффициенты калибровки=%1,%2,%3").arg(a).arg(b).arg(c)));
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended.first(), (QVariantList{true, QString()}));
        QCOMPARE(rig.indicators, QList<app::Indicator>{app::Indicator::Green});

        // Password accepted: the next write sends the coefficients alone.
        rig.server.clearReceived();
        QCOMPARE(rig.calibration.BtnWriteCalibrClick({c, b, a}, QStringLiteral("x")), Start::Started);
        QTRY_VERIFY_WITH_TIMEOUT(rig.receivedCodes().contains(11), 5000);
        QVERIFY(!rig.receivedCodes().contains(20));

        shown = {0, 0, 0};
        rig.calibration.BtnReadCalibrClick();
        QTRY_COMPARE_WITH_TIMEOUT(shown, (meter::Coefficients{c, b, a}), 5000);
        QVERIFY(!rig.indicators.contains(app::Indicator::Red));
    }
};

QTEST_GUILESS_MAIN(TestSettingsLink)
#include "tst_settings_link.moc"
