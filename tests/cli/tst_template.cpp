// Settings templates: what a template text means, what it refuses (with the
// key and the line), its canonical text, and the comparison with a meter read.

#include "meter/SettingsTemplate.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar;
using meter::ComparisonRow;

namespace {

const char *const FullText = "; Kelvar 517 settings template\n"
                             "[settings]\n"
                             "protocol = modbus\n"
                             "address = 17\n"
                             "baud = 19200\n"
                             "parity = odd\n"
                             "clock = 2031-03-14 15:09:26\n"
                             "summer_time = yes\n"
                             "billing_day = 25\n"
                             "billing_hour = 17\n"
                             "display = billing, power, phases\n"
                             "peak_minutes = 60\n"
                             "penalty_seconds = 45\n"
                             "description = \" Щит 2, подъезд 4 \"\n"
                             "password = 65535\n"
                             "number = 131071\n"
                             "reset_schedule = yes\n";

// A meter that shows exactly what FullText asks for.
meter::MeterReading matchingReading()
{
    meter::MeterReading m;
    m.link = meter::MeterReading::Link{link::Protocol::Modbus, 17, 2, 2};
    m.clock = QDateTime(QDate(2031, 3, 14), QTime(15, 9, 26));
    m.summerTime = true;
    m.billingDay = 25;
    m.billingHour = 17;
    m.displayMask = 0x2A;
    m.peakMinutes = 60;
    m.penaltySeconds = 45;
    m.description = QStringLiteral(" Щит 2, подъезд 4 ");
    m.number = 131071;
    return m;
}

QStringList differing(const QList<ComparisonRow> &rows)
{
    QStringList keys;
    for (const ComparisonRow &r : rows) {
        if (r.state == ComparisonRow::State::Differs)
            keys << r.key;
    }
    return keys;
}

} // namespace

class TestTemplate : public QObject
{
    Q_OBJECT
private slots:
    void fullTemplate()
    {
        QString error;
        const auto tpl = meter::parseTemplate(QString::fromUtf8(FullText), &error);
        QVERIFY2(tpl, qPrintable(error));
        const meter::SettingsValues &v = tpl->values;
        QVERIFY(v.writeLink && v.writeTime && v.writeBilling && v.writeDisplay && v.writeIntegration
                && v.writeDescription && v.writePassword && v.resetTariff);
        QCOMPARE(v.protocol, link::Protocol::Modbus);
        QCOMPARE(v.newAddress, 17);
        QCOMPARE(v.baudIndex, 2);
        QCOMPARE(v.parityIndex, 2);
        QVERIFY(tpl->fixedClock);
        QCOMPARE(QDateTime(v.date, v.time), QDateTime(QDate(2031, 3, 14), QTime(15, 9, 26)));
        QCOMPARE(v.displayMask, quint8(0x2A));
        QCOMPARE(v.description, QStringLiteral(" Щит 2, подъезд 4 "));
        QCOMPARE(v.newPassword, QStringLiteral("65535"));
        QCOMPARE(v.number, 131071u);
        // The canonical text is the text itself, and reads back the same.
        QCOMPARE(meter::serialiseTemplate(*tpl), QString::fromUtf8(FullText));
    }

    // Only the settings named are written; the rest stay unticked.
    void partialTemplates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("clock from the workstation")
            << "CLOCK=Workstation\nsummer_time=no" << "clock = workstation\nsummer_time = no\n";
        QTest::newRow("rs485 drops parity") << "protocol = rs485\naddress = 0\nbaud = 4800\nparity = even"
                                            << "protocol = rs485\naddress = 0\nbaud = 4800\n";
        QTest::newRow("empty display list") << "display =" << "display = \n";
        QTest::newRow("reset no is no write") << "reset_schedule = no\nbilling_day=1\nbilling_hour=0"
                                              << "billing_day = 1\nbilling_hour = 0\n";
        QTest::newRow("clock with T") << "summer_time=no\nclock=2000-01-01T00:00:00"
                                      << "clock = 2000-01-01 00:00:00\nsummer_time = no\n";
        QTest::newRow("nothing") << "; only a comment\n\n" << "";
    }
    void partialTemplates()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QString error;
        const auto tpl = meter::parseTemplate(text, &error);
        QVERIFY2(tpl, qPrintable(error));
        const QString header = QStringLiteral("; Kelvar 517 settings template\n[settings]\n");
        QCOMPARE(meter::serialiseTemplate(*tpl), header + canonical);
        QCOMPARE(meter::parseTemplate(meter::serialiseTemplate(*tpl), &error), tpl);
    }

    // A refused template names the line and the key.
    void refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << "billing_day = 1\nbilling_hour = 2\ncolour = red" << "line 3: colour: unknown key";
        QTest::newRow("repeated key") << "display = total\n\ndisplay = power" << "line 3: display: given twice (first on line 1)";
        QTest::newRow("no equals sign") << "[settings]\naddress 5" << "line 2: expected key = value";
        QTest::newRow("second section") << "[settings]\n[other]" << "line 2: unexpected section";
        QTest::newRow("address above 255") << "protocol=rs485\naddress=256\nbaud=4800" << "line 2: address: \"256\"";
        QTest::newRow("address not a number") << "protocol=rs485\naddress=5a\nbaud=4800" << "line 2: address:";
        QTest::newRow("baud not offered") << "protocol=rs485\naddress=1\nbaud=1200" << "line 3: baud: \"1200\" is not one of";
        QTest::newRow("protocol unknown") << "protocol=rs232\naddress=1\nbaud=4800" << "line 1: protocol:";
        QTest::newRow("modbus without parity") << "protocol=modbus\naddress=1\nbaud=4800" << "line 1: protocol: modbus needs parity";
        QTest::newRow("parity alone") << "\nparity=odd" << "line 2: parity: needs protocol";
        QTest::newRow("link incomplete") << "baud=4800\nprotocol=rs485" << "line 2: protocol: needs address";
        QTest::newRow("billing day 0") << "billing_day=0\nbilling_hour=0" << "line 1: billing_day:";
        QTest::newRow("billing day 32") << "billing_day=32\nbilling_hour=0" << "line 1: billing_day:";
        QTest::newRow("billing hour 24") << "billing_day=1\nbilling_hour=24" << "line 2: billing_hour:";
        QTest::newRow("billing hour alone") << "billing_hour=3" << "line 1: billing_hour: needs billing_day";
        QTest::newRow("peak 0") << "peak_minutes=0\npenalty_seconds=5" << "line 1: peak_minutes:";
        QTest::newRow("peak 61") << "peak_minutes=61\npenalty_seconds=5" << "line 1: peak_minutes:";
        QTest::newRow("penalty 4") << "peak_minutes=1\npenalty_seconds=4" << "line 2: penalty_seconds:";
        QTest::newRow("penalty 61") << "peak_minutes=1\npenalty_seconds=61" << "line 2: penalty_seconds:";
        QTest::newRow("display item unknown") << "display = total, sound" << "line 1: display: \"sound\"";
        QTest::newRow("description too long") << "description=" + QString(49, QLatin1Char('x')) << "line 1: description: longer than 48";
        QTest::newRow("description outside the code page") << "description=Zählerschrank ✓" << "line 1: description: holds characters";
        QTest::newRow("password above 16 bits") << "password=65536" << "line 1: password:";
        QTest::newRow("password negative") << "password=-1" << "line 1: password:";
        QTest::newRow("number 0") << "number=0" << "line 1: number:";
        QTest::newRow("number above 17 bits") << "number=131072" << "line 1: number:";
        QTest::newRow("clock garbage") << "clock=soon\nsummer_time=no" << "line 1: clock:";
        QTest::newRow("clock before 2000") << "clock=1999-12-31 23:59:59\nsummer_time=no" << "line 1: clock:";
        QTest::newRow("clock impossible date") << "clock=2030-02-30 10:00:00\nsummer_time=no" << "line 1: clock:";
        QTest::newRow("summer time maybe") << "clock=workstation\nsummer_time=maybe" << "line 2: summer_time:";
        QTest::newRow("reset maybe") << "reset_schedule=1" << "line 1: reset_schedule:";
    }
    void refused()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!meter::parseTemplate(text, &error));
        QVERIFY2(error.startsWith(message), qPrintable(error));
    }

    void files()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.ini"));
        QString error;
        QVERIFY(!meter::loadTemplate(path, &error));
        QVERIFY2(error.startsWith(path + QStringLiteral(": cannot be read")), qPrintable(error));

        const auto tpl = meter::parseTemplate(QString::fromUtf8(FullText), &error);
        QVERIFY(meter::saveTemplate(path, *tpl, &error));
        QCOMPARE(meter::loadTemplate(path, &error), tpl);

        // Errors in a file name the file and the line.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("billing_day = 1\nbilling_hour = 99\n");
        f.close();
        QVERIFY(!meter::loadTemplate(path, &error));
        QVERIFY2(error.startsWith(path + QStringLiteral(":2: billing_hour:")), qPrintable(error));

        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("description = \xff\xfe\n");
        f.close();
        QVERIFY(!meter::loadTemplate(path, &error));
        QVERIFY2(error.contains(QStringLiteral("UTF-8")), qPrintable(error));

        // A file that cannot be written leaves nothing behind.
        QVERIFY(!meter::saveTemplate(dir.filePath(QStringLiteral("no/such/dir/t.ini")), *tpl, &error));
        QVERIFY(!error.isEmpty());
    }

    // Each change on the meter is named, and only that one.
    void comparison_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("differs");
        QTest::newRow("nothing") << "" << QStringList{};
        QTest::newRow("address") << "address" << QStringList{"address"};
        QTest::newRow("protocol") << "protocol" << QStringList{"protocol"};
        QTest::newRow("baud and parity") << "baud" << QStringList{"baud", "parity"};
        QTest::newRow("clock 6 s off") << "clock+6" << QStringList{"clock"};
        QTest::newRow("clock 5 s off") << "clock-5" << QStringList{};
        QTest::newRow("summer time") << "summer" << QStringList{"summer_time"};
        QTest::newRow("billing hour") << "hour" << QStringList{"billing_hour"};
        QTest::newRow("display bit 6 is not an item") << "mask64" << QStringList{};
        QTest::newRow("display") << "mask" << QStringList{"display"};
        QTest::newRow("penalty") << "penalty" << QStringList{"penalty_seconds"};
        QTest::newRow("description blank") << "description" << QStringList{"description"};
        QTest::newRow("number") << "number" << QStringList{"number"};
    }
    void comparison()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, differs);
        const auto tpl = meter::parseTemplate(QString::fromUtf8(FullText), nullptr);
        meter::MeterReading m = matchingReading();
        const QDateTime expected = *m.clock;
        if (change == "address") m.link->address = 18;
        if (change == "protocol") m.link->protocol = link::Protocol::Rs485;
        if (change == "baud") { m.link->baudIndex = 1; m.link->parityIndex = 0; }
        if (change == "clock+6") m.clock = m.clock->addSecs(6);
        if (change == "clock-5") m.clock = m.clock->addSecs(-5);
        if (change == "summer") m.summerTime = false;
        if (change == "hour") m.billingHour = 16;
        if (change == "mask64") m.displayMask = 0x6A;
        if (change == "mask") m.displayMask = 0x2B;
        if (change == "penalty") m.penaltySeconds = 44;
        if (change == "description") m.description = QStringLiteral("Щит 2, подъезд 4");
        if (change == "number") m.number = 1;
        const QList<ComparisonRow> rows = meter::compareTemplate(*tpl, m, expected);
        QCOMPARE(differing(rows), differs);
        QCOMPARE(meter::allMatch(rows), differs.isEmpty());
        // Every setting named has a row, in the template's order.
        QStringList keys;
        for (const ComparisonRow &r : rows)
            keys << r.key;
        QCOMPARE(keys, (QStringList{"protocol", "address", "baud", "parity", "clock", "summer_time", "billing_day",
                                    "billing_hour", "display", "peak_minutes", "penalty_seconds", "description",
                                    "password", "number", "reset_schedule"}));
        for (const ComparisonRow &r : rows) {
            const bool readBack = r.key != "password" && r.key != "reset_schedule";
            QCOMPARE(r.state != ComparisonRow::State::NotCompared, readBack);
        }
    }

    // What the read did not yield, or a clock that cannot be judged, is not compared.
    void unknownValues()
    {
        const auto tpl = meter::parseTemplate(QString::fromUtf8(FullText), nullptr);
        const QList<ComparisonRow> rows = meter::compareTemplate(*tpl, {}, QDateTime());
        for (const ComparisonRow &r : rows)
            QCOMPARE(r.state, ComparisonRow::State::NotCompared);
        meter::MeterReading m = matchingReading();
        const QList<ComparisonRow> noClock = meter::compareTemplate(*tpl, m, QDateTime());
        QCOMPARE(noClock.at(4).key, QStringLiteral("clock"));
        QCOMPARE(noClock.at(4).state, ComparisonRow::State::NotCompared);
        QCOMPARE(noClock.at(4).meter, QStringLiteral("2031-03-14 15:09:26"));
    }
};

QTEST_GUILESS_MAIN(TestTemplate)
#include "tst_template.moc"
