// The programming record read back by independent readers: kelvar517-cli
// runs against the simulated meter, and pdftotext, pdfinfo and pdftoppm
// (poppler) read the PDF it wrote; the expected values come from the
// simulator's state, the colours from the editor's start colours.

#include "TestUtil.h"
#include "common/TextFormat.h"
#include "link/Catalogue.h"
#include "link/Encoding.h"
#include "meter/SettingsBatch.h"
#include "metersim/MeterServer.h"
#include "report/ProgrammingRecord.h"
#include "report/RecordDocument.h"
#include "schedule/ZoneRecord.h"
#include "support/MeterStart.h"
#include "support/ProtocolRows.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace kelvar;

namespace {

QString poppler(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfText(const QString &pdf)
{
    // Without -layout every cell of a table stands on a line of its own.
    return poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
}

int pdfPages(const QString &pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(poppler(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Page 1 at 100 dpi.
QImage firstPage(const QString &pdf, const QString &dir)
{
    const QString stem = QDir(dir).filePath(QStringLiteral("page"));
    poppler(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-f"),
                                         QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                         QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 3 && qAbs(qGreen(a) - qGreen(b)) <= 3 && qAbs(qBlue(a) - qBlue(b)) <= 3;
}

QByteArray record(int tariff, int exceed, int hour, int minute, int limit, quint8 days, quint16 months)
{
    return schedule::encodeRecord({{hour * 60 + minute, quint8(tariff), quint8(limit), quint8(exceed)}, days, months});
}

const QRgb Cream = qRgb(0xFF, 0xFB, 0xF0), Sky = qRgb(0xA6, 0xCA, 0xF0), Orange = qRgb(0xFF, 0x8C, 0x1A);
const QRgb BeforeFirstZone = qRgb(0x80, 0x80, 0x80), NoZones = qRgb(0xA0, 0xA0, 0xA4);

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT
private slots:
    void fromTheMeter_data() { test::addProtocolRows(); }

    // Every value the record names, as the meter holds it; the zone tables
    // of the schedule in the meter; the grid's cells in the tariff colours.
    void fromTheMeter()
    {
        QFETCH(link::Protocol, protocol);
        const bool modbus = protocol == link::Protocol::Modbus;
        sim::MeterServer server;
        QVERIFY(test::startMeter(server, [&](sim::MeterState &s) {
            s.protocol = protocol;
            s.address = 37;
            s.baudIndex = 3;
            s.parity = modbus ? 2 : 0;
            s.serialNumber = 4711;
            s.summerTime = true;
            s.displayMask = 0x05;
            s.integrationMinutes = 15;
            s.averagingSeconds = 33;
            s.description = text::toCp1251(QStringLiteral("Подстанция 3")).leftJustified(48, '\0');
            s.zones.fill({});
            s.zones[2] = record(1, 1, 0, 0, 0, 0x1F, 0x0FFF);   // weekdays: tariff 1 all day
            s.zones[3] = record(3, 2, 0, 0, 5, 0x20, 0x003F);   // Saturdays January..June: 3, above 5: 2
            s.zones[4] = record(2, 2, 7, 0, 0, 0x80, 0x0FFF);   // holidays: tariff 2 from 07:00
            s.holidays.fill(QByteArray(2, '\0'));
            s.holidays[0] = test::hex("08 03");
            s.transfers.fill(QByteArray(4, '\0'));
            s.transfers[0] = test::hex("09 01 26 06");
            s.limitCoefficient = 7;
        }));
        server.updateState([](sim::MeterState &s) {
            s.billingDay = 12;
            s.billingHour = 7;
        });
        const sim::MeterState s = server.state();

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("record.pdf"));
        QProcess cli;
        cli.start(QStringLiteral(KELVAR_CLI_PATH),
                  {QStringLiteral("passport"), QStringLiteral("--out"), pdf, QStringLiteral("--port"),
                   server.devicePath(), QStringLiteral("--protocol"), modbus ? "modbus" : "rs485",
                   QStringLiteral("--address"), QStringLiteral("37"), QStringLiteral("--baud"),
                   QStringLiteral("38400"), QStringLiteral("--parity"), modbus ? "odd" : "none",
                   QStringLiteral("--pause"), QStringLiteral("0")});
        QVERIFY(cli.waitForFinished(120000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());

        const QString text = pdfText(pdf);
        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 1);
        const QStringList expected{
            report::recordTitle(), QStringLiteral("Kelvar 517.01"), QStringLiteral("004711"),
            QStringLiteral("%1.%2").arg(s.versionMajor).arg(s.versionMinor), QStringLiteral("Подстанция 3"),
            QString::number(s.billingDay), QString::number(s.billingHour), QString::number(s.integrationMinutes),
            QString::number(s.averagingSeconds), meter::displayItemTexts().at(0), meter::displayItemTexts().at(2),
            QString::number(s.address), QStringLiteral("38400"), meter::protocolTexts().at(modbus ? 1 : 0),
            meter::parityTexts().at(s.parity), QStringLiteral("08.03"), QStringLiteral("09.01.2026"),
            QString::number(s.scheduleChecksum()), QStringLiteral("Контрольные суммы совпадают"),
            // the zone tables: start, tariff, limit in watts at coefficient 7
            QStringLiteral("00:00"), QStringLiteral("07:00"), QStringLiteral("5 (714,3 Вт)"),
            QStringLiteral("ПН, ВТ, СР, ЧТ, ПТ: ЯНВ–ДЕК"), QStringLiteral("СБ: ЯНВ–ИЮН"), QStringLiteral("ПР: ЯНВ–ДЕК"),
            QStringLiteral("Лист %1 из %1").arg(pages)};
        for (const QString &value : expected)
            QVERIFY2(text.contains(value), qPrintable(value + QStringLiteral(" missing in:\n") + text));
        QVERIFY(!text.contains(meter::displayItemTexts().at(1)));
        QCOMPARE(text.count(QStringLiteral("Счетчик № 004711")), 2 * pages); // running head and foot
        QCOMPARE(text.count(QStringLiteral("Программа ")), 3);

        // The grid: A4 at 100 dpi, 20 mm left margin, 13 columns across 180 mm,
        // rows 8 mm high; its top is where column 0 turns header gray for
        // half a row (the corner cell; text edges are gray for a pixel or two).
        const QImage page = firstPage(pdf, dir.path());
        QCOMPARE(page.width(), 827);
        const double mm = 100 / 25.4;
        const int x0 = qRound(20 * mm), rh = qRound(8 * mm);
        const double cw = 180 * mm / 13;
        int top = 0;
        for (int run = 0; top < page.height() && run < rh / 2; ++top)
            run = near(page.pixel(x0 + 3, top), qRgb(0xE6, 0xE6, 0xE6)) ? run + 1 : 0;
        top -= rh / 2 + 1;
        QVERIFY(top < page.height() * 3 / 4);
        // (month, day type, place across the cell, upper half) -> colour
        const struct {
            int month, dayType;
            double across;
            bool upper;
            QRgb color;
        } samples[] = {
            {1, 1, 0.2, true, Cream},  {12, 5, 0.8, false, Cream},       {3, 6, 0.2, true, Sky},
            {3, 6, 0.2, false, Orange}, {8, 6, 0.2, false, NoZones},     {5, 7, 0.5, true, NoZones},
            {2, 8, 0.1, false, BeforeFirstZone}, {2, 8, 0.8, false, Sky}, {2, 8, 0.8, true, Sky},
        };
        for (const auto &c : samples) {
            const QPoint at(x0 + int(cw * (c.month + c.across)), top + c.dayType * rh + (c.upper ? rh / 4 : rh * 3 / 4));
            QVERIFY2(near(page.pixel(at), c.color), qPrintable(QStringLiteral("cell %1/%2 at %3,%4: %5")
                                                                   .arg(c.month).arg(c.dayType).arg(at.x()).arg(at.y())
                                                                   .arg(page.pixel(at), 6, 16)));
        }
    }

    // A read that cannot finish, or a file that cannot be written: no new
    // file, an older one stays as it was.
    void nothingWritten_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exit");
        QTest::newRow("meter goes silent") << true << "kept.pdf" << 2;
        QTest::newRow("no such folder") << false << "missing/record.pdf" << 3;
    }
    void nothingWritten()
    {
        QFETCH(bool, silent);
        QFETCH(QString, name);
        QFETCH(int, exit);
        sim::MeterServer server;
        QVERIFY(test::startMeter(server));
        if (silent) {
            sim::Faults faults;
            faults.silentFunction = link::fn::ReadTransfer;
            server.setFaults(faults);
        }
        QTemporaryDir dir;
        QVERIFY(test::writeFile(dir.filePath(QStringLiteral("kept.pdf")), "kept"));
        QProcess cli;
        cli.start(QStringLiteral(KELVAR_CLI_PATH), {QStringLiteral("passport"), QStringLiteral("--out"),
                                                    dir.filePath(name), QStringLiteral("--port"), server.devicePath(),
                                                    QStringLiteral("--timeout"), QStringLiteral("300")});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), exit);
        QCOMPARE(test::readFile(dir.filePath(QStringLiteral("kept.pdf"))), QByteArray("kept"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.pdf"});
    }

    // Long records run over several pages, each numbered and carrying the
    // serial number; a checksum that differs is marked.
    void pages_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("reported");
        QTest::newRow("three records, checksums agree") << 3 << "4660";
        QTest::newRow("254 records, checksums differ") << 254 << "17";
    }
    void pages()
    {
        QFETCH(int, records);
        QFETCH(QString, reported);
        QList<schedule::ZoneRecord> zones;
        for (int i = 0; i < records; ++i) // a distinct programme per cell for the first 96
            zones << schedule::ZoneRecord{{(i * 7) % 1440, quint8(1 + i % 3), 0, quint8(1 + i % 3)},
                                          quint8(schedule::GetMaska(1 + i % 8)), schedule::GetMaska(1 + (i / 8) % 12)};
        report::ProgrammingRecord r;
        r.serialNumber = QStringLiteral("123456");
        r.meter = {{QStringLiteral("Заводской номер"), r.serialNumber}};
        r.programmes = report::dayProgrammes(zones, &r.cellProgramme);
        r.reportedChecksum = reported;
        r.computedChecksum = 0x1234;
        r.context.readAt = QDateTime(QDate(2026, 12, 9), QTime(22, 36, 35));
        r.context.tariffColors = {1, 2, 3};

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
        QVERIFY(report::writeRecordPdf(r, pdf));
        const QString text = pdfText(pdf);
        const int pages = pdfPages(pdf);
        QVERIFY(records < 100 || pages > 3);
        const QStringList perPage = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        QCOMPARE(perPage.size(), pages);
        for (int i = 0; i < pages; ++i) {
            QVERIFY2(perPage.at(i).contains(QStringLiteral("Лист %1 из %2").arg(i + 1).arg(pages)), qPrintable(perPage.at(i)));
            QVERIFY(perPage.at(i).contains(QStringLiteral("Счетчик № 123456")));
        }
        QCOMPARE(text.count(QStringLiteral("Программа ")), std::min(records, 96));
        QCOMPARE(text.contains(QStringLiteral("контрольные суммы не совпадают")), reported != QStringLiteral("4660"));
        QVERIFY(text.contains(QStringLiteral("09.12.2026 22:36:35")));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestRecord t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_record.moc"
