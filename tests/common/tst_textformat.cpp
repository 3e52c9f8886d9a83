// Texts in the operator's locale and Windows-1251 conversion.

#include "common/TextFormat.h"

#include <QtTest>

using namespace kelvar;

class TestTextFormat : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void decimal_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("whole") << 1234567.0 << "1234567";
        QTest::newRow("quarter watt-hour") << 0.00025 << "0,00025";
        QTest::newRow("energy") << 12345.75 << "12345,75";
        QTest::newRow("binary fraction noise cut at 15 digits") << 0.1 + 0.2 << "0,3";
        QTest::newRow("negative") << -2.5 << "-2,5";
        QTest::newRow("large, no exponent") << 1e20 << "100000000000000000000";
        QTest::newRow("small, no exponent") << 1.5e-7 << "0,00000015";
        QTest::newRow("15 significant digits") << 1073741.82375 << "1073741,82375";
        QTest::newRow("max count") << 4294967295.0 * 0.00025 << "1073741,82375";
    }
    void decimal()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(text::decimal(value), text);
    }

    void fixedAndParse()
    {
        QCOMPARE(text::fixed(12345.678, 2), QStringLiteral("12345,68"));
        QCOMPARE(text::fixed(-0.5, 3), QStringLiteral("-0,500"));
        bool ok = false;
        QCOMPARE(text::parseDecimal(QStringLiteral("12,5"), &ok), 12.5);
        QVERIFY(ok);
        text::parseDecimal(QStringLiteral("Итого"), &ok);
        QVERIFY(!ok);
    }

    void datesAndTimes()
    {
        QCOMPARE(text::shortDate(QDate(2026, 12, 9)), QStringLiteral("09.12.2026"));
        QCOMPARE(text::longTime(QTime(7, 5, 9)), QStringLiteral("07:05:09"));
        QVERIFY(!text::longTimeFormat().contains(QLatin1Char('t')));
        QCOMPARE(text::dateTime(QDateTime(QDate(2026, 12, 9), QTime(14, 5, 9))), QStringLiteral("09.12.2026 14:05:09"));
        QCOMPARE(text::dateTime(QDateTime(QDate(2026, 12, 9), QTime(0, 0))), QStringLiteral("09.12.2026"));
        QCOMPARE(text::dateTime(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1))), QStringLiteral("09.12.2026 00:00:01"));
    }

    // A locale that names no language gives the Russian formats; a chosen one is followed.
    void languageOfTheWorkstation_data()
    {
        QTest::addColumn<QLocale>("workstation");
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("energy");
        QTest::newRow("C") << QLocale::c() << "09.12.2026 22:36:35" << "27345,915";
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedKingdom) << "09/12/2026 22:36:35"
                                 << "27345.915";
    }
    void languageOfTheWorkstation()
    {
        QFETCH(QLocale, workstation);
        QFETCH(QString, when);
        QFETCH(QString, energy);
        QLocale::setDefault(workstation);
        const QString date = text::dateTime(QDateTime(QDate(2026, 12, 9), QTime(22, 36, 35)));
        const QString number = text::decimal(27345.915);
        bool ok = false;
        const double parsed = text::parseDecimal(energy, &ok);
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(date, when);
        QCOMPARE(number, energy);
        QVERIFY(ok);
        QCOMPARE(parsed, 27345.915);
    }

    void cp1251()
    {
        const QString s = QStringLiteral("Ёлка щит №5");
        const QByteArray b = text::toCp1251(s);
        QCOMPARE(b.toHex(' ').toUpper(), QByteArray("A8 EB EA E0 20 F9 E8 F2 20 B9 35"));
        QCOMPARE(text::fromCp1251(b), s);
        // Every byte decodes to something and survives the round trip but the unassigned 0x98.
        for (int i = 0; i < 256; ++i) {
            if (i == 0x98)
                continue;
            const QByteArray one(1, char(i));
            QCOMPARE(text::toCp1251(text::fromCp1251(one)), one);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextFormat)
#include "tst_textformat.moc"
