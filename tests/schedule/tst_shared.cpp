// What the schedule tab and the schedule actions share: the holiday and
// transfer lists with the limit coefficient, the model's announcement of a
// replaced schedule, and the tariff colours in the machine-wide store.

#include "TestUtil.h"
#include "schedule/ScheduleModel.h"
#include "schedule/ScheduleTables.h"
#include "schedule/TariffColors.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

using namespace kelvar::schedule;
using kelvar::test::hex;

class TestShared : public QObject {
    Q_OBJECT
    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase()
    {
        // The machine-wide store of this run lives in a folder of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_settingsDir.path());
    }

    // A table of the wrong length changes nothing and announces nothing; a
    // good one replaces the list and is announced once.
    void tablesReplaceWholeLists()
    {
        ScheduleTables tables;
        tables.loadDefaultHolidays();
        QSignalSpy holidays(&tables, &ScheduleTables::holidaysChanged);
        QSignalSpy transfers(&tables, &ScheduleTables::transfersChanged);
        QVERIFY(!tables.SetCel(QByteArray(31, '\0')));
        QVERIFY(!tables.SetTrans(QByteArray(63, '\0')));
        QCOMPARE(tables.holidays().size(), 12);
        QCOMPARE(holidays.count(), 0);
        QCOMPARE(transfers.count(), 0);

        QVERIFY(tables.SetCel(hex("0000 3102").leftJustified(32, '\0')));
        QCOMPARE(tables.holidays(), (QList<Holiday>{{31, 2}}));
        QVERIFY(tables.SetTrans(hex("31022701 01052706").leftJustified(64, '\0')));
        QCOMPARE(tables.transfers(), (QList<Transfer>{{QDate(2027, 5, 1), 6}}));
        QCOMPARE(holidays.count(), 1);
        QCOMPARE(transfers.count(), 1);
        QCOMPARE(tables.GetTrans().left(4), hex("01052706"));
    }

    void removeSelectedRows()
    {
        ScheduleTables tables;
        tables.loadDefaultHolidays();
        // Rows in any order, a repeat and one past the end.
        tables.removeHolidays({11, 0, 5, 0, 40});
        QCOMPARE(tables.holidays().size(), 9);
        QCOMPARE(tables.holidays().first(), (Holiday{2, 1}));
        QCOMPARE(tables.holidays().last(), (Holiday{12, 6}));
        QVERIFY(!tables.holidays().contains(Holiday{7, 1}));
    }

    // A meter read appends in slot order without sorting, at most 16, and
    // only entries a table could carry.
    void readAppendsInSlotOrder()
    {
        ScheduleTables tables;
        tables.loadDefaultHolidays();
        tables.clearHolidays();
        QVERIFY(tables.appendHoliday({9, 5}));
        QVERIFY(tables.appendHoliday({1, 1}));
        QVERIFY(!tables.appendHoliday({32, 1}));
        QVERIFY(!tables.appendHoliday({1, 13}));
        QCOMPARE(tables.holidays(), (QList<Holiday>{{9, 5}, {1, 1}}));
        for (int i = 0; i < 14; ++i)
            QVERIFY(tables.appendHoliday({i + 1, 3}));
        QVERIFY(!tables.appendHoliday({20, 3}));

        QVERIFY(!tables.appendTransfer({QDate(2027, 2, 31), 1}));
        QVERIFY(!tables.appendTransfer({QDate(2100, 1, 1), 1}));
        QVERIFY(!tables.appendTransfer({QDate(2027, 3, 1), 9}));
        QVERIFY(tables.appendTransfer({QDate(2027, 3, 1), 8}));
        QCOMPARE(tables.transfers().size(), 1);
    }

    void limitCoefficientBounds_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("announced");
        QTest::newRow("a 0 from a meter or a file shows as 1") << 0 << 1 << 0;
        QTest::newRow("in range") << 40 << 40 << 1;
        QTest::newRow("top") << 255 << 255 << 1;
        QTest::newRow("above the byte") << 300 << 255 << 1;
    }
    void limitCoefficientBounds()
    {
        QFETCH(int, given);
        ScheduleTables tables;
        QSignalSpy spy(&tables, &ScheduleTables::limitCoefficientChanged);
        tables.setLimitCoefficient(given);
        QTEST(tables.limitCoefficient(), "kept");
        QTEST(int(spy.count()), "announced");
    }

    // Views follow a schedule replaced as a whole; a refused file leaves the
    // schedule and says nothing.
    void modelAnnouncesReplacement()
    {
        ScheduleModel model;
        QSignalSpy replaced(&model, &ScheduleModel::scheduleReplaced);
        QVERIFY(model.SetShedule({hex("00070000010100")}));
        QCOMPARE(replaced.count(), 1);
        QVERIFY(!model.SetShedule({hex("00250000010100")}));
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(model.recordCount(), 1);
        model.SetShedule({});
        QCOMPARE(replaced.count(), 2);
        QCOMPARE(model.recordCount(), 0);
    }

    void colourReferences()
    {
        QCOMPARE(colorRef(0xFF, 0x8C, 0x1A), 0x001A8CFFu);
        QCOMPARE(colorRefRed(0x001A8CFF), 0xFF);
        QCOMPARE(colorRefGreen(0x001A8CFF), 0x8C);
        QCOMPARE(colorRefBlue(0x001A8CFF), 0x1A);
    }

    // Three written, eight read; a value that is missing or no number stays 0.
    void coloursRoundTrip()
    {
        {
            const auto store = openTariffColorStore();
            store->clear();
            store->setValue("Color7", 0x123456);
            store->setValue("Color8", "blue");
            QVERIFY(writeTariffColors(*store, {0x00F0FBFF, 0x00F0CAA6, 0x001A8CFF}));
        }
        const auto store = openTariffColorStore();
        const ZoneColors colors = readZoneColors(*store);
        QCOMPARE(colors, (ZoneColors{0x00F0FBFF, 0x00F0CAA6, 0x001A8CFF, 0, 0, 0, 0x123456, 0}));
        QVERIFY(QFile::exists(m_settingsDir.path() + "/Kelvar/Schedule.conf"));
    }

    // A store that cannot exist (its folder would lie inside a plain file):
    // nothing read, nothing written, no complaint.
    void unusableStoreIsPassedOver()
    {
        QTemporaryFile plain;
        QVERIFY(plain.open());
        QSettings store(plain.fileName() + "/Kelvar/Schedule.conf", QSettings::IniFormat);
        QVERIFY(!writeTariffColors(store, {1, 2, 3}));
        QCOMPARE(readZoneColors(store), ZoneColors{});
    }
};

QTEST_GUILESS_MAIN(TestShared)
#include "tst_shared.moc"
