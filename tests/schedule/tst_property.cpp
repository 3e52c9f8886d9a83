// Random edit sequences checked against a plain reference that keeps the
// programme of each of the 96 cells on its own: after every step the records
// must give every cell exactly the reference's zones, stay in normal form and
// survive the 7-byte image and the schedule file unchanged.

#include "schedule/ScheduleFile.h"
#include "schedule/ScheduleModel.h"

#include <QMap>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <array>

using namespace kelvar::schedule;

namespace {

using Programme = QMap<int, Zone>; // zones of one cell by start minute
using Cells = std::array<Programme, CellCount>;

int idx(int month, int dayType)
{
    return (month - 1) * DayTypeCount + dayType - 1;
}

Cells cellsOf(const QList<ZoneRecord> &records)
{
    Cells cells;
    for (const ZoneRecord &r : records)
        forEachCoveredCell(r, [&](int m, int d) { cells[idx(m, d)].insert(r.zone.start, r.zone); });
    return cells;
}

// The reference: what each cell holds, which cells are selected, and the
// editor's "uncommitted" state.
struct Reference {
    Cells work;
    Cells saved;
    int month = 1;
    int dayType = 1;
    CellFlags selected = CellFlags::single(1, 1);
    bool uncommitted = false;

    Programme &current() { return work[idx(month, dayType)]; }

    // Every selected cell gets the current cell's programme.
    void copyToSelected()
    {
        for (int m = 1; m <= MonthCount; ++m)
            for (int d = 1; d <= DayTypeCount; ++d)
                if (selected.at(m, d) && work[idx(m, d)] != current()) {
                    work[idx(m, d)] = current();
                    uncommitted = true;
                }
    }
};

class Run {
public:
    explicit Run(quint32 seed) : m_random(seed) {}

    int bounded(int n) { return static_cast<int>(m_random.bounded(n)); }

    Zone randomZone()
    {
        static const int times[] = {0, 60, 420, 450, 720, 1020, 1380, 1439};
        static const int limits[] = {0, 0, 5, 200};
        Zone z;
        z.start = times[bounded(8)];
        z.tariff = static_cast<quint8>(1 + bounded(3));
        z.limit = static_cast<quint8>(limits[bounded(4)]);
        z.exceedTariff = z.limit == 0 ? z.tariff : static_cast<quint8>((z.tariff + bounded(2)) % 3 + 1);
        return z;
    }

    // A start time of the current cell, or now and then one it does not use.
    int someStart(const Programme &p)
    {
        if (p.isEmpty() || bounded(5) == 0)
            return randomZone().start;
        return p.keys().at(bounded(int(p.size())));
    }

    ScheduleModel model;
    Reference ref;

    QString step()
    {
        const int kind = bounded(100);
        if (kind < 30) {
            const Zone z = randomZone();
            require(model.InsertTZone(z));
            ref.current()[z.start] = z;
            ref.uncommitted = true;
            ref.copyToSelected();
            return QStringLiteral("insert %1").arg(z.time());
        }
        if (kind < 45) {
            Zone z = randomZone();
            z.start = someStart(ref.current());
            require(model.UpdateTZone(z));
            ref.current()[z.start] = z;
            ref.uncommitted = true;
            ref.copyToSelected();
            return QStringLiteral("update %1").arg(z.time());
        }
        if (kind < 60) {
            const int start = someStart(ref.current());
            model.DeleteTZone(start);
            ref.current().remove(start);
            ref.uncommitted = true;
            ref.copyToSelected();
            return QStringLiteral("delete %1").arg(timeText(start));
        }
        if (kind < 78) {
            // Shift- or Ctrl-selection: the current cell stays and stays selected.
            CellFlags selection;
            if (bounded(2)) {
                selection = CellFlags::rectangle(ref.month, ref.dayType, 1 + bounded(12), 1 + bounded(8));
            } else {
                selection = ref.selected;
                for (int n = 1 + bounded(6); n > 0; --n) {
                    const int m = 1 + bounded(12), d = 1 + bounded(8);
                    selection.set(m, d, !selection.at(m, d));
                }
                selection.set(ref.month, ref.dayType);
            }
            model.setSelectedCells(selection);
            model.EquivalentDays();
            model.EditDays();
            ref.selected = selection;
            ref.copyToSelected();
            return QStringLiteral("select %1 cells").arg(selection.count());
        }
        if (kind < 88) {
            // A plain click elsewhere; pending changes are committed or dropped first.
            if (ref.uncommitted)
                bounded(2) ? commit() : revert();
            ref.month = 1 + bounded(12);
            ref.dayType = 1 + bounded(8);
            ref.selected = CellFlags::single(ref.month, ref.dayType);
            model.setCurrentCell(ref.month, ref.dayType);
            model.setSelectedCells(ref.selected);
            model.EquivalentDays();
            model.EditDays();
            return QStringLiteral("click (%1,%2)").arg(ref.month).arg(ref.dayType);
        }
        if (kind < 93) {
            commit();
            return QStringLiteral("commit");
        }
        if (kind < 98) {
            revert();
            return QStringLiteral("revert");
        }
        // Export and load back, as a save followed by a load does.
        const QList<QByteArray> exported = model.GetShedule();
        require(model.SetShedule(exported));
        ref.saved = ref.work;
        ref.selected = CellFlags::single(ref.month, ref.dayType);
        ref.uncommitted = false;
        return QStringLiteral("reload");
    }

    void commit()
    {
        model.commit();
        ref.saved = ref.work;
        ref.uncommitted = false;
    }

    void revert()
    {
        model.revert();
        ref.work = ref.saved;
        ref.selected = CellFlags::single(ref.month, ref.dayType);
        ref.uncommitted = false;
    }

private:
    // QVERIFY inside a helper that returns a value.
    static void require(bool ok)
    {
        if (!ok)
            throw std::runtime_error("operation refused");
    }

    QRandomGenerator m_random;
};

// Empty when the list is in normal form, else what breaks it.
QString normalFormFault(const QList<ZoneRecord> &list)
{
    for (int i = 0; i < list.size(); ++i) {
        const ZoneRecord &a = list[i];
        if (a.dayMask == 0 || (a.monthMask & AllMonths) == 0 || (a.monthMask & ~AllMonths))
            return QStringLiteral("record %1 has masks %2/%3").arg(i).arg(a.dayMask).arg(a.monthMask);
        for (int j = i + 1; j < list.size(); ++j) {
            const ZoneRecord &b = list[j];
            if (a.sameContent(b) && (a.dayMask == b.dayMask || a.monthMask == b.monthMask))
                return QStringLiteral("records %1 and %2 could be merged").arg(i).arg(j);
        }
    }
    return {};
}

} // namespace

class TestProperty : public QObject {
    Q_OBJECT
private slots:
    void randomEdits_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("steps");
        QTest::newRow("seed 1") << 1u << 2000;
        QTest::newRow("seed 517") << 517u << 2000;
        QTest::newRow("seed 20261209") << 20261209u << 2000;
    }
    void randomEdits()
    {
        QFETCH(quint32, seed);
        QFETCH(int, steps);
        Run run(seed);
        QSignalSpy counts(&run.model, &ScheduleModel::recordCountChanged);
        int largest = 0;
        for (int n = 0; n < steps; ++n) {
            QString what;
            try {
                what = run.step();
            } catch (const std::exception &e) {
                QFAIL(qPrintable(QStringLiteral("step %1: %2").arg(n).arg(QString::fromLatin1(e.what()))));
            }
            const QString at = QStringLiteral("step %1 (%2)").arg(n).arg(what);
            const ScheduleModel &model = run.model;
            const QList<ZoneRecord> &work = model.WorkList();
            largest = std::max(largest, int(work.size()));

            // Every cell holds exactly the reference's zones, and the flags agree.
            const Cells cells = cellsOf(work);
            for (int m = 1; m <= MonthCount; ++m) {
                for (int d = 1; d <= DayTypeCount; ++d) {
                    const Programme &expected = run.ref.work[idx(m, d)];
                    QVERIFY2(cells[idx(m, d)] == expected,
                             qPrintable(QStringLiteral("%1: cell (%2,%3)").arg(at).arg(m).arg(d)));
                    QVERIFY2(model.EmptyCells().at(m, d) == expected.isEmpty(), qPrintable(at));
                    QVERIFY2(model.NoMidnightCells().at(m, d) == !expected.contains(0), qPrintable(at));
                }
            }
            QVERIFY2(cellsOf(model.SavedList()) == run.ref.saved, qPrintable(at));
            const QString fault = normalFormFault(work);
            QVERIFY2(fault.isEmpty(), qPrintable(at + QStringLiteral(": ") + fault));
            QCOMPARE(model.hasUncommittedChanges(), run.ref.uncommitted);
            QCOMPARE(model.SelectedCells(), run.ref.selected);
            QCOMPARE(counts.isEmpty() ? 0 : counts.last().at(0).toInt(), model.recordCount());

            // Through the 7-byte image and a schedule file and back, in the same order.
            ScheduleImage image{QByteArray(32, '\0'), QByteArray(64, '\0'), 1, {}};
            for (const ZoneRecord &r : work) {
                image.records.append(encodeRecord(r));
                QCOMPARE(decodeRecord(image.records.last()), std::optional<ZoneRecord>(r));
            }
            const std::optional<ScheduleImage> read = decodeTsc(encodeTsc(image));
            QVERIFY2(read && *read == image, qPrintable(at));
            ScheduleModel loaded;
            QVERIFY(loaded.SetShedule(read->records));
            QVERIFY2(loaded.WorkList() == work, qPrintable(at));

            // Recomputed equivalence matches the reference's zone-set equality.
            run.model.EquivalentDays();
            const Programme &current = run.ref.work[idx(run.ref.month, run.ref.dayType)];
            for (int m = 1; m <= MonthCount; ++m)
                for (int d = 1; d <= DayTypeCount; ++d)
                    QVERIFY2(model.EquivalentCells().at(m, d) == (run.ref.work[idx(m, d)] == current), qPrintable(at));
            QVERIFY2(!model.ChangedCells().any(), qPrintable(at));
        }
        qInfo("seed %u: %d steps, at most %d records", seed, steps, largest);
    }
};

QTEST_GUILESS_MAIN(TestProperty)
#include "tst_property.moc"
