// The settings write as bytes: which requests a write sends, in which order,
// and the operation-log line each confirmation gives.

#include "TestUtil.h"
#include "meter/SettingsBatch.h"

#include <QtTest>

using namespace kelvar::meter;
using kelvar::link::Protocol;
using kelvar::test::hex;
using kelvar::test::hexText;

Q_DECLARE_METATYPE(kelvar::meter::SettingsValues)
Q_DECLARE_METATYPE(kelvar::meter::WriteAccess)

namespace {
const QString Pw1 = QStringLiteral("14 04 01 00"); // access password 1

SettingsValues ticked(std::function<void(SettingsValues &)> set)
{
    SettingsValues v;
    v.date = QDate(2026, 12, 9);
    v.time = QTime(14, 5, 9);
    set(v);
    return v;
}

QString batchText(const SettingsBatch &b)
{
    QStringList parts;
    if (!b.passwordRequest.isEmpty())
        parts << hexText(b.passwordRequest);
    for (const QByteArray &w : b.writes)
        parts << hexText(w);
    return parts.join(QStringLiteral(" | "));
}
} // namespace

class TestSettingsBatch : public QObject {
    Q_OBJECT
private slots:
    void batch_data()
    {
        QTest::addColumn<SettingsValues>("values");
        QTest::addColumn<WriteAccess>("access");
        QTest::addColumn<uint>("meterNumber");
        QTest::addColumn<QString>("expected");

        const WriteAccess fresh{false, QStringLiteral("1")};
        const WriteAccess accepted{true, QStringLiteral("1")};

        QTest::newRow("nothing ticked, number entered: nothing at all")
            << ticked([](SettingsValues &v) { v.number = 4711; }) << fresh << 0u << QString();
        QTest::newRow("number entered for an unnumbered meter goes behind the clock")
            << ticked([](SettingsValues &v) { v.writeTime = true; v.number = 70000; }) << fresh << 0u
            << Pw1 + " | 05 0A 09 05 14 03 09 12 26 00 | 02 05 70 11 01";
        QTest::newRow("number not written to a numbered meter")
            << ticked([](SettingsValues &v) { v.writeDisplay = true; v.number = 4711; }) << fresh << 42u
            << Pw1 + " | 0E 03 00";
        QTest::newRow("password accepted earlier: not sent again")
            << ticked([](SettingsValues &v) { v.writeBilling = true; v.billingDay = 31; v.billingHour = 23; })
            << accepted << 0u << QStringLiteral("23 04 23 31");
        QTest::newRow("new password with an unaccepted access password: two function-20 requests")
            << ticked([](SettingsValues &v) { v.writePassword = true; v.newPassword = QStringLiteral("4660"); })
            << fresh << 0u << Pw1 + " | 14 04 34 12";
        QTest::newRow("access password above 65535 sent modulo 65536")
            << ticked([](SettingsValues &v) { v.writeDisplay = true; v.displayMask = 0x3F; })
            << WriteAccess{false, QStringLiteral("65537")} << 0u << QStringLiteral("14 04 01 00 | 0E 03 3F");
        QTest::newRow("new password above 65535 sent modulo 65536")
            << ticked([](SettingsValues &v) { v.writePassword = true; v.newPassword = QStringLiteral("131074"); })
            << accepted << 0u << QStringLiteral("14 04 02 00");
        QTest::newRow("unreadable new password sent as the default")
            << ticked([](SettingsValues &v) { v.writePassword = true; v.newPassword = QStringLiteral("12a"); })
            << accepted << 0u << QStringLiteral("14 04 01 00");
        QTest::newRow("empty description: 31 32 and 48 zero bytes")
            << ticked([](SettingsValues &v) { v.writeDescription = true; }) << accepted << 0u
            << QStringLiteral("31 32") + QString(" 00").repeated(48);
        QTest::newRow("description in Windows-1251, padded")
            << ticked([](SettingsValues &v) { v.writeDescription = true; v.description = QStringLiteral("Щит 2"); })
            << accepted << 0u << QStringLiteral("31 32 D9 E8 F2 20 32") + QString(" 00").repeated(43);
        QTest::newRow("MODBUS even 9600: link byte 51")
            << ticked([](SettingsValues &v) {
                   v.writeLink = true; v.protocol = Protocol::Modbus; v.parityIndex = 1; v.baudIndex = 1; v.newAddress = 17; })
            << accepted << 0u << QStringLiteral("03 04 11 51");
        QTest::newRow("MODBUS odd 4800: link byte 70")
            << ticked([](SettingsValues &v) {
                   v.writeLink = true; v.protocol = Protocol::Modbus; v.parityIndex = 2; v.newAddress = 255; })
            << accepted << 0u << QStringLiteral("03 04 FF 70");
        QTest::newRow("Rs-485 38400: link byte 03, parity ignored")
            << ticked([](SettingsValues &v) { v.writeLink = true; v.baudIndex = 3; v.parityIndex = 2; v.newAddress = 0; })
            << accepted << 0u << QStringLiteral("03 04 00 03");
        QTest::newRow("integration 60 minutes sent as 3B, 60 seconds as is")
            << ticked([](SettingsValues &v) { v.writeIntegration = true; v.peakMinutes = 60; v.penaltySeconds = 60; })
            << accepted << 0u << QStringLiteral("1F 03 3B | 4F 03 3C");
        QTest::newRow("integration 1 minute and 5 seconds")
            << ticked([](SettingsValues &v) { v.writeIntegration = true; })
            << accepted << 0u << QStringLiteral("1F 03 00 | 4F 03 05");
        QTest::newRow("2009 gives 09")
            << ticked([](SettingsValues &v) { v.writeTime = true; v.date = QDate(2009, 3, 1); v.time = QTime(0, 0); })
            << accepted << 0u << QStringLiteral("05 0A 00 00 00 07 01 03 09 00");
        QTest::newRow("2010 gives 10 (BCD), Friday, summer flag, milliseconds dropped")
            << ticked([](SettingsValues &v) {
                   v.writeTime = true; v.date = QDate(2010, 12, 31); v.time = QTime(23, 59, 58, 999); v.summerTime = true; })
            << accepted << 0u << QStringLiteral("05 0A 58 59 23 05 31 12 10 80");
        QTest::newRow("tariff reset: four data-less requests")
            << ticked([](SettingsValues &v) { v.resetTariff = true; })
            << accepted << 0u << QStringLiteral("27 02 | 29 02 | 09 02 | 24 02");
        QTest::newRow("everything ticked: fixed order, link parameters last")
            << ticked([](SettingsValues &v) {
                   v.writeLink = v.writeTime = v.writeBilling = v.resetTariff = v.writeIntegration = v.writeDescription
                       = v.writePassword = v.writeDisplay = true;
                   v.number = 123456; v.newPassword = QStringLiteral("7"); v.billingDay = 5; v.billingHour = 7;
                   v.displayMask = 0x15; v.newAddress = 56; v.baudIndex = 2; })
            << fresh << 0u
            << Pw1 + " | 05 0A 09 05 14 03 09 12 26 00 | 14 04 07 00 | 02 05 40 E2 01 | 23 04 07 05 | 0E 03 15"
                     " | 1F 03 00 | 4F 03 05 | 27 02 | 29 02 | 09 02 | 24 02 | 31 32" + QString(" 00").repeated(48)
                   + " | 03 04 38 02";
    }
    void batch()
    {
        QFETCH(SettingsValues, values);
        QFETCH(WriteAccess, access);
        QFETCH(uint, meterNumber);
        QFETCH(QString, expected);
        const SettingsBatch b = buildSettingsBatch(values, access, meterNumber);
        QCOMPARE(b.outcome, expected.isEmpty() ? SettingsBatch::Outcome::Nothing : SettingsBatch::Outcome::Write);
        QCOMPARE(batchText(b), expected);
    }

    void accessPassword_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("request");
        QTest::newRow("digit") << "1" << false << "14 04 01 00";
        QTest::newRow("99999 modulo 65536") << "99999" << false << "14 04 9F 86";
        QTest::newRow("-2 as two's complement") << "-2" << false << "14 04 FE FF";
        QTest::newRow("-1 refused") << "-1" << true << "";
        QTest::newRow("empty refused") << "" << true << "";
        QTest::newRow("letters refused") << "12a" << true << "";
    }
    void accessPassword()
    {
        QFETCH(QString, text);
        QFETCH(bool, refused);
        QFETCH(QString, request);
        const AccessStep step = accessPasswordStep({false, text});
        QCOMPARE(step.refused, refused);
        QCOMPARE(hexText(step.request), request);
        QVERIFY(accessPasswordStep({true, text}).request.isEmpty());
        QVERIFY(!accessPasswordStep({true, text}).refused);

        // A refused password stops the whole write: nothing is sent.
        SettingsValues v;
        v.writeTime = true;
        v.date = QDate(2026, 1, 1);
        const SettingsBatch b = buildSettingsBatch(v, {false, text}, 0);
        QCOMPARE(b.outcome, refused ? SettingsBatch::Outcome::InvalidPassword : SettingsBatch::Outcome::Write);
        QCOMPARE(b.writes.isEmpty(), refused);
    }

    void logLines_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<SettingsValues>("values");
        QTest::addColumn<bool>("passwordAccepted");
        QTest::addColumn<QStringList>("lines");

        const SettingsValues v = ticked([](SettingsValues &v) {
            v.number = 4711; v.newAddress = 12; v.baudIndex = 3; v.displayMask = 0x29; v.newPassword = "123456";
            v.peakMinutes = 60; v.penaltySeconds = 17; v.billingDay = 5; v.billingHour = 0;
            v.description = QStringLiteral("Щит\t2"); });
        SettingsValues modbus = v;
        modbus.protocol = Protocol::Modbus;
        modbus.parityIndex = 2;
        SettingsValues midnight = v;
        midnight.time = QTime(0, 0, 0, 400);
        midnight.summerTime = true;

        QTest::newRow("number") << 0x02 << v << true << QStringList{"Номер=4711"};
        QTest::newRow("link Rs-485") << 0x03 << v << true << QStringList{"Адрес=12 Скорость=38400"};
        QTest::newRow("link MODBUS: second line with the parity")
            << 0x03 << modbus << true << QStringList{"Адрес=12 Скорость=38400", "Паритет=нечетн."};
        QTest::newRow("clock") << 0x05 << v << true
                               << QStringList{"Время=09.12.2026 14:05:09 Нет автоперехода на летнее время"};
        QTest::newRow("clock at midnight: date alone")
            << 0x05 << midnight << true << QStringList{"Время=09.12.2026 Автопереход на летнее время"};
        QTest::newRow("display items, each with a blank")
            << 0x0E << v << true << QStringList{"Режим индикации=суммарные показания мощность фазные значения потребления "};
        QTest::newRow("access password accepted: no line") << 0x14 << v << false << QStringList{};
        QTest::newRow("new password") << 0x14 << v << true << QStringList{"Пароль на запись=123456"};
        SettingsValues emptied = v;
        emptied.newPassword.clear();
        QTest::newRow("emptied new password: the default as sent")
            << 0x14 << emptied << true << QStringList{"Пароль на запись=1"};
        QTest::newRow("peak integration as shown")
            << 0x1F << v << true << QStringList{"Время интегрирования детектора пиковой можщности=60"};
        QTest::newRow("penalty integration")
            << 0x4F << v << true << QStringList{"Время интегрирования мощности при переходе на штрафной тариф=17"};
        QTest::newRow("billing") << 0x23 << v << true << QStringList{"Расчетный день=5 Расчетный час=0"};
        QTest::newRow("billing readings reset") << 0x24 << v << true << QStringList{"Сброс показаний на РДЧ"};
        QTest::newRow("description unchanged") << 0x31 << v << true << QStringList{"Описание=Щит\t2"};
        QTest::newRow("schedule clear: none") << 0x09 << v << true << QStringList{};
        QTest::newRow("holidays clear: none") << 0x27 << v << true << QStringList{};
        QTest::newRow("transfers clear: none") << 0x29 << v << true << QStringList{};
    }
    void logLines()
    {
        QFETCH(int, code);
        QFETCH(SettingsValues, values);
        QFETCH(bool, passwordAccepted);
        QFETCH(QStringList, lines);
        QCOMPARE(confirmationLogLines(quint8(code), values, passwordAccepted), lines);
    }

    // The meter keeps the description in Windows-1251: a write that would
    // turn characters into "?" is refused before anything is built.
    void descriptionOutsideTheCodePage_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("unwritable");
        QTest::newRow("Cyrillic, digits, euro and numero sign") << QStringLiteral("Щит №2 €") << QString();
        QTest::newRow("Latin with diaeresis") << QStringLiteral("Zähler") << QStringLiteral("ä");
        QTest::newRow("each character once, in order") << QStringLiteral("α-β-α") << QStringLiteral("αβ");
        QTest::newRow("outside the basic plane") << QStringLiteral("Щит 😀") << QStringLiteral("😀");
        QTest::newRow("a typed question mark is writable") << QStringLiteral("?") << QString();
    }
    void descriptionOutsideTheCodePage()
    {
        QFETCH(QString, description);
        QFETCH(QString, unwritable);
        const SettingsValues v = ticked([&](SettingsValues &v) {
            v.writeTime = true;
            v.writeDescription = true;
            v.description = description;
        });
        const SettingsBatch b = buildSettingsBatch(v, {false, QStringLiteral("1")}, 0);
        QCOMPARE(b.unwritable, unwritable);
        if (unwritable.isEmpty()) {
            QCOMPARE(b.outcome, SettingsBatch::Outcome::Write);
            return;
        }
        QCOMPARE(b.outcome, SettingsBatch::Outcome::UnwritableDescription);
        QVERIFY(b.passwordRequest.isEmpty() && b.writes.isEmpty());
        for (const QChar c : unwritable)
            QVERIFY(unwritableDescriptionText(unwritable).contains(c));
    }

    void newPasswordField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("kept");
        QTest::newRow("digits") << "123456" << true;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("negative") << "-3" << false;
        QTest::newRow("letter") << "1a" << false;
    }
    void newPasswordField()
    {
        QFETCH(QString, text);
        QFETCH(bool, kept);
        QCOMPARE(isNewPasswordText(text), kept);
        QCOMPARE(defaultPasswordText().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSettingsBatch)
#include "tst_settingsbatch.moc"
