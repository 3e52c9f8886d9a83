// The schedule model: cell flags, zone edits, copying a cell's programme,
// normal form, commit and revert, and what it reports to the editor.

#include "TestUtil.h"
#include "schedule/ScheduleModel.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvar::schedule;
using kelvar::test::hex;

Q_DECLARE_METATYPE(Zone)
Q_DECLARE_METATYPE(QList<ZoneRecord>)

namespace {

Zone zone(int start, int tariff, int limit = 0, int exceed = 0)
{
    return Zone{start, quint8(tariff), quint8(limit), quint8(exceed ? exceed : tariff)};
}

ZoneRecord record(const Zone &z, int days, int months)
{
    return ZoneRecord{z, quint8(days), quint16(months)};
}

QList<QByteArray> images(const QList<ZoneRecord> &records)
{
    QList<QByteArray> out;
    for (const ZoneRecord &r : records)
        out.append(encodeRecord(r));
    return out;
}

void load(ScheduleModel &model, const QList<ZoneRecord> &records)
{
    QVERIFY(model.SetShedule(images(records)));
}

const Zone Z1 = zone(7 * 60, 1);
const Zone Z2 = zone(7 * 60, 2);
const Zone Z3 = zone(23 * 60, 3, 10, 1);

} // namespace

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void emptyModel()
    {
        ScheduleModel model;
        QCOMPARE(model.recordCount(), 0);
        QCOMPARE(model.EmptyCells(), CellFlags::all());
        QCOMPARE(model.NoMidnightCells(), CellFlags::all());
        QCOMPARE(model.EquivalentCells(), CellFlags::all());
        QCOMPARE(model.SelectedCells(), CellFlags::single(1, 1));
        QVERIFY(!model.ChangedCells().any());
        QVERIFY(model.GetShedule().isEmpty());
        QVERIFY(!model.hasUncommittedChanges());
        model.EquivalentDays();
        QCOMPARE(model.EquivalentCells().count(), 96);
    }

    void programmeCopiedToWholeYear_data()
    {
        QTest::addColumn<int>("zones");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("dayType");
        QTest::newRow("1 zone from (1,1)") << 1 << 1 << 1;
        QTest::newRow("3 zones from (6,4)") << 3 << 6 << 4;
        QTest::newRow("6 zones from (12,8)") << 6 << 12 << 8;
    }
    void programmeCopiedToWholeYear()
    {
        QFETCH(int, zones);
        QFETCH(int, month);
        QFETCH(int, dayType);
        ScheduleModel model;
        model.setCurrentCell(month, dayType);
        model.revert();
        QList<Zone> programme;
        for (int i = 0; i < zones; ++i) {
            const Zone z = zone(i * 150 + 30 * (i % 2), i % 3 + 1, i % 2 ? 20 : 0, i % 2 ? (i + 1) % 3 + 1 : 0);
            QVERIFY(model.InsertTZone(z));
            programme.append(z);
        }
        QCOMPARE(model.recordCount(), zones);
        QCOMPARE(model.zonesOf(month, dayType), programme);

        model.setSelectedCells(CellFlags::rectangle(1, 1, 12, 8));
        model.EquivalentDays();
        QCOMPARE(model.ChangedCells().count(), 95);
        QCOMPARE(model.EditDays(), zones);
        for (const ZoneRecord &r : model.WorkList()) {
            QCOMPARE(int(r.dayMask), 0xFF);
            QCOMPARE(int(r.monthMask), 0x0FFF);
        }
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= 8; ++d)
                QCOMPARE(model.zonesOf(m, d), programme);
        QVERIFY(!model.EmptyCells().any());
    }

    void copyToOneCell_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("dayType");
        QTest::addColumn<QList<ZoneRecord>>("expected");
        // The current cell is (2, 3) with a one-cell record of Z3.
        QTest::newRow("other month and day type")
            << 5 << 6 << QList<ZoneRecord>{record(Z3, 0x20, 0x010), record(Z3, 0x04, 0x002)};
        QTest::newRow("same month") << 2 << 5 << QList<ZoneRecord>{record(Z3, 0x14, 0x002)};
        QTest::newRow("same day type") << 9 << 3 << QList<ZoneRecord>{record(Z3, 0x04, 0x102)};
    }
    void copyToOneCell()
    {
        QFETCH(int, month);
        QFETCH(int, dayType);
        QFETCH(QList<ZoneRecord>, expected);
        ScheduleModel model;
        model.setCurrentCell(2, 3);
        model.revert();
        QVERIFY(model.InsertTZone(Z3));
        CellFlags selection = CellFlags::single(2, 3);
        selection.set(month, dayType);
        model.setSelectedCells(selection);
        model.EquivalentDays();
        QCOMPARE(model.ChangedCells(), CellFlags::single(month, dayType));
        QCOMPARE(model.EditDays(), int(expected.size()));
        QCOMPARE(model.WorkList(), expected);
    }

    void copyReplacesTargetProgramme()
    {
        // The target's own zones go, the current cell's come.
        ScheduleModel model;
        load(model, {record(Z1, 0xFF, 0x0FFF), record(Z3, 0x01, 0x001)});
        model.setCurrentCell(1, 1);
        model.setSelectedCells(CellFlags::rectangle(1, 1, 1, 2));
        model.EquivalentDays();
        QCOMPARE(model.ChangedCells(), CellFlags::single(1, 2));
        model.EditDays();
        QCOMPARE(model.zonesOf(1, 2), (QList<Zone>{Z1, Z3}));
        QCOMPARE(model.zonesOf(1, 3), QList<Zone>{Z1});
        QCOMPARE(model.WorkList(), (QList<ZoneRecord>{record(Z1, 0xFF, 0x0FFF), record(Z3, 0x03, 0x001)}));
    }

    void copyEmptyCell()
    {
        // An empty current cell empties the selected cells.
        ScheduleModel model;
        load(model, {record(Z1, 0xFE, 0x0FFF), record(Z3, 0x02, 0x002)});
        model.setSelectedCells(CellFlags::rectangle(1, 1, 3, 2));
        model.EquivalentDays();
        QCOMPARE(model.ChangedCells().count(), 3);
        model.EditDays();
        for (int m = 1; m <= 3; ++m) {
            QVERIFY(model.zonesOf(m, 2).isEmpty());
            QVERIFY(model.EmptyCells().at(m, 2));
            QCOMPARE(model.zonesOf(m, 3), QList<Zone>{Z1});
        }
        QCOMPARE(model.zonesOf(4, 2), QList<Zone>{Z1});
    }

    void removalRules_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("months");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("dayType");
        QTest::addColumn<QList<ZoneRecord>>("expected");
        QTest::newRow("1: only this cell") << 0x01 << 0x001 << 1 << 1 << QList<ZoneRecord>{};
        QTest::newRow("2: further months") << 0x01 << 0x007 << 2 << 1 << QList<ZoneRecord>{record(Z1, 0x01, 0x005)};
        QTest::newRow("3: further day types") << 0x07 << 0x001 << 1 << 2 << QList<ZoneRecord>{record(Z1, 0x05, 0x001)};
        QTest::newRow("4: both") << 0x03 << 0x003 << 1 << 1
                                 << QList<ZoneRecord>{record(Z1, 0x02, 0x003), record(Z1, 0x01, 0x002)};
        QTest::newRow("4: whole year") << 0xFF << 0x0FFF << 12 << 8
                                       << QList<ZoneRecord>{record(Z1, 0x7F, 0x0FFF), record(Z1, 0x80, 0x07FF)};
    }
    void removalRules()
    {
        QFETCH(int, days);
        QFETCH(int, months);
        QFETCH(int, month);
        QFETCH(int, dayType);
        QFETCH(QList<ZoneRecord>, expected);
        ScheduleModel model;
        model.setCurrentCell(month, dayType);
        load(model, {record(Z1, days, months)});
        model.DeleteTZone(Z1.start);
        QCOMPARE(model.WorkList(), expected);
        QVERIFY(model.zonesOf(month, dayType).isEmpty());
        QVERIFY(model.EmptyCells().at(month, dayType));
        QVERIFY(model.hasUncommittedChanges());
        CellFlags left;
        for (const ZoneRecord &r : expected)
            left = left | CellFlags::coveredBy(r);
        QCOMPARE(left, CellFlags::coveredBy(record(Z1, days, months)) & ~CellFlags::single(month, dayType));
    }

    void updateZone_data()
    {
        QTest::addColumn<QList<ZoneRecord>>("before");
        QTest::addColumn<QList<ZoneRecord>>("after");
        // The current cell is (2, 1); Z1 becomes Z2 there.
        QTest::newRow("one-cell record overwritten")
            << QList<ZoneRecord>{record(Z3, 0x01, 0x002), record(Z1, 0x01, 0x002)}
            << QList<ZoneRecord>{record(Z3, 0x01, 0x002), record(Z2, 0x01, 0x002)};
        QTest::newRow("months of one day type: shrunk, one-cell record appended")
            << QList<ZoneRecord>{record(Z1, 0x01, 0x007)}
            << QList<ZoneRecord>{record(Z1, 0x01, 0x005), record(Z2, 0x01, 0x002)};
        QTest::newRow("appended record merges by day mask")
            << QList<ZoneRecord>{record(Z1, 0x01, 0x007), record(Z2, 0x01, 0x008)}
            << QList<ZoneRecord>{record(Z1, 0x01, 0x005), record(Z2, 0x01, 0x00A)};
        QTest::newRow("appended record merges by month mask")
            << QList<ZoneRecord>{record(Z1, 0x03, 0x002), record(Z2, 0x04, 0x002)}
            << QList<ZoneRecord>{record(Z1, 0x02, 0x002), record(Z2, 0x05, 0x002)};
        QTest::newRow("no zone at that time: added")
            << QList<ZoneRecord>{record(Z3, 0xFF, 0x0FFF)}
            << QList<ZoneRecord>{record(Z3, 0xFF, 0x0FFF), record(Z2, 0x01, 0x002)};
    }
    void updateZone()
    {
        QFETCH(QList<ZoneRecord>, before);
        QFETCH(QList<ZoneRecord>, after);
        ScheduleModel model;
        model.setCurrentCell(2, 1);
        load(model, before);
        QVERIFY(model.UpdateTZone(Z2));
        QCOMPARE(model.WorkList(), after);
        QVERIFY(model.zonesOf(2, 1).contains(Z2));
        QVERIFY(!model.zonesOf(2, 1).contains(Z1));
    }

    void insertMergesIntoRecordOfSameDayTypes()
    {
        ScheduleModel model;
        load(model, {record(Z3, 0x80, 0x0FFF), record(Z1, 0x01, 0x001)});
        model.setCurrentCell(2, 1);
        model.revert();
        QVERIFY(model.InsertTZone(Z1));
        QCOMPARE(model.WorkList(), (QList<ZoneRecord>{record(Z3, 0x80, 0x0FFF), record(Z1, 0x01, 0x003)}));
        QVERIFY(model.InsertTZone(zone(0, 3)));
        QCOMPARE(model.WorkList().last(), record(zone(0, 3), 0x01, 0x002));
    }

    void insertAtTakenTimeReplaces()
    {
        // A cell never gets two zones starting at the same time.
        ScheduleModel model;
        load(model, {record(Z1, 0x01, 0x003)});
        QVERIFY(model.InsertTZone(Z2));
        QCOMPARE(model.zonesOf(1, 1), QList<Zone>{Z2});
        QCOMPARE(model.zonesOf(2, 1), QList<Zone>{Z1});
    }

    void invalidZoneRefused_data()
    {
        QTest::addColumn<Zone>("z");
        QTest::newRow("24:00") << zone(1440, 1);
        QTest::newRow("negative time") << zone(-1, 1);
        QTest::newRow("tariff 0") << Zone{60, 0, 0, 1};
        QTest::newRow("exceed tariff 9") << Zone{60, 1, 5, 9};
    }
    void invalidZoneRefused()
    {
        QFETCH(Zone, z);
        ScheduleModel model;
        load(model, {record(Z1, 0x01, 0x001)});
        QSignalSpy spy(&model, &ScheduleModel::uncommittedChangesChanged);
        QVERIFY(!model.InsertTZone(z));
        QVERIFY(!model.UpdateTZone(z));
        QCOMPARE(model.WorkList(), model.SavedList());
        QCOMPARE(spy.count(), 0);
    }

    void midnightFlags()
    {
        ScheduleModel model;
        model.setCurrentCell(3, 4);
        model.revert();
        QVERIFY(model.InsertTZone(zone(7 * 60, 2)));
        QVERIFY(!model.EmptyCells().at(3, 4));
        QVERIFY(model.NoMidnightCells().at(3, 4));
        QVERIFY(model.EmptyCells().at(3, 5));
        QVERIFY(model.InsertTZone(zone(0, 1)));
        QVERIFY(!model.NoMidnightCells().at(3, 4));
        QCOMPARE(model.zonesOf(3, 4), (QList<Zone>{zone(0, 1), zone(7 * 60, 2)}));
    }

    void equivalence_data()
    {
        QTest::addColumn<QList<ZoneRecord>>("records");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("dayType");
        QTest::addColumn<bool>("equivalent");
        // The current cell is (1, 1).
        QTest::newRow("same zones from other records")
            << QList<ZoneRecord>{record(Z1, 0x01, 0x001), record(Z3, 0x01, 0x001), record(Z1, 0x02, 0x002),
                                 record(Z3, 0x06, 0x002)}
            << 2 << 2 << true;
        QTest::newRow("one zone more") << QList<ZoneRecord>{record(Z1, 0x03, 0x001), record(Z3, 0x02, 0x001)} << 1
                                       << 2 << false;
        QTest::newRow("one zone less") << QList<ZoneRecord>{record(Z1, 0x03, 0x001), record(Z3, 0x01, 0x001)} << 1
                                       << 2 << false;
        QTest::newRow("other tariff, same time")
            << QList<ZoneRecord>{record(Z1, 0x01, 0x001), record(Z2, 0x02, 0x001)} << 1 << 2 << false;
        QTest::newRow("empty cell") << QList<ZoneRecord>{record(Z1, 0x01, 0x001)} << 5 << 5 << false;
        QTest::newRow("both empty") << QList<ZoneRecord>{record(Z1, 0x02, 0x001)} << 5 << 5 << true;
    }
    void equivalence()
    {
        QFETCH(QList<ZoneRecord>, records);
        QFETCH(int, month);
        QFETCH(int, dayType);
        QFETCH(bool, equivalent);
        ScheduleModel model;
        load(model, records);
        QVERIFY(model.EquivalentCells().at(1, 1));
        QCOMPARE(model.EquivalentCells().at(month, dayType), equivalent);

        CellFlags selection = CellFlags::single(1, 1);
        selection.set(month, dayType);
        model.setSelectedCells(selection);
        model.EquivalentDays();
        QCOMPARE(model.ChangedCells().at(month, dayType), !equivalent);
        QCOMPARE(model.hasUncommittedChanges(), !equivalent);
    }

    void reportsToEditor()
    {
        ScheduleModel model;
        QSignalSpy changes(&model, &ScheduleModel::uncommittedChangesChanged);
        QSignalSpy counts(&model, &ScheduleModel::recordCountChanged);

        QVERIFY(model.InsertTZone(Z1));
        QVERIFY(model.InsertTZone(Z3));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toBool(), true);
        QCOMPARE(counts.count(), 2);
        QCOMPARE(counts.at(1).at(0).toInt(), 2);

        model.commit();
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changes.at(1).at(0).toBool(), false);
        QCOMPARE(model.SavedList(), model.WorkList());

        model.DeleteTZone(Z3.start);
        QCOMPARE(counts.last().at(0).toInt(), 1);
        model.revert();
        QCOMPARE(changes.last().at(0).toBool(), false);
        QCOMPARE(counts.last().at(0).toInt(), 2);
        QCOMPARE(model.zonesOf(1, 1), (QList<Zone>{Z1, Z3}));

        QVERIFY(model.SetShedule({}));
        QCOMPARE(counts.last().at(0).toInt(), 0);
        QVERIFY(!model.hasUncommittedChanges());
    }

    void revertRestoresAndShrinksSelection()
    {
        ScheduleModel model;
        load(model, {record(Z1, 0x01, 0x001)});
        model.setSelectedCells(CellFlags::rectangle(1, 1, 4, 4));
        model.EquivalentDays();
        model.EditDays();
        QVERIFY(model.hasUncommittedChanges());
        QVERIFY(model.WorkList() != model.SavedList());
        model.revert();
        QCOMPARE(model.WorkList(), model.SavedList());
        QCOMPARE(model.SelectedCells(), CellFlags::single(1, 1));
        QVERIFY(!model.ChangedCells().any());
        QVERIFY(!model.hasUncommittedChanges());
    }

    void exportKeepsOrderAndCommits()
    {
        const QList<ZoneRecord> records{record(Z3, 0x80, 0x0FFF), record(Z1, 0x7F, 0x0FFF),
                                        record(zone(0, 2), 0x7F, 0x0FFF)};
        ScheduleModel model;
        load(model, records);
        QCOMPARE(model.GetShedule(), images(records));
        model.setCurrentCell(12, 8);
        model.setSelectedCells(CellFlags::single(12, 8));
        QVERIFY(model.InsertTZone(Z1));
        QVERIFY(model.hasUncommittedChanges());
        const QList<QByteArray> exported = model.GetShedule();
        QVERIFY(!model.hasUncommittedChanges());
        QCOMPARE(model.SavedList(), model.WorkList());
        QCOMPARE(exported, images(model.SavedList()));
    }

    void badRecordsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("hour 24") << hex("00 24 00 00 01 01 00");
        QTest::newRow("minute 75") << hex("00 10 75 00 01 01 00");
        QTest::newRow("short record") << hex("00 10 00 00 01 01");
    }
    void badRecordsChangeNothing()
    {
        QFETCH(QByteArray, bad);
        ScheduleModel model;
        const QList<ZoneRecord> kept{record(Z1, 0xFF, 0x0FFF)};
        load(model, kept);
        QVERIFY(model.InsertTZone(Z3)); // an uncommitted edit survives too
        const QList<ZoneRecord> work = model.WorkList();
        QString error;
        QVERIFY(!model.SetShedule({encodeRecord(record(Z2, 0x01, 0x001)), bad}, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Запись 2 ")), qPrintable(error));
        QCOMPARE(model.SavedList(), kept);
        QCOMPARE(model.WorkList(), work);
        QVERIFY(model.hasUncommittedChanges());
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
