#pragma once
// The tariff schedule as the editor holds it: the committed list of zone
// records (SavedList), the list being edited (WorkList), the current cell and
// the flags of every cell of the year grid.
//
// The order of the records matters: it is the order in which GetShedule
// exports them and the write sends them to the meter, so every operation
// keeps the exact order its algorithm produces (records inserted at the front,
// appended at the end, merged into the earlier of two records).

#include "CellFlags.h"
#include "ZoneRecord.h"

#include <QList>
#include <QObject>

namespace kelvar::schedule {

class ScheduleModel : public QObject {
    Q_OBJECT
public:
    explicit ScheduleModel(QObject *parent = nullptr);

    // --- State -------------------------------------------------------------
    const QList<ZoneRecord> &SavedList() const { return m_saved; }
    const QList<ZoneRecord> &WorkList() const { return m_work; }
    int recordCount() const { return static_cast<int>(m_work.size()); }
    // True while WorkList holds edits that are neither committed nor reverted
    // (the editor's "Сохранить" and "Отменить" buttons are enabled).
    bool hasUncommittedChanges() const { return m_uncommitted; }

    int CurMonth() const { return m_curMonth; }
    int CurDayType() const { return m_curDayType; }
    const CellFlags &SelectedCells() const { return m_selected; }
    const CellFlags &EmptyCells() const { return m_empty; }
    const CellFlags &NoMidnightCells() const { return m_noMidnight; }
    const CellFlags &EquivalentCells() const { return m_equivalent; }
    const CellFlags &ChangedCells() const { return m_changed; }

    // The grid's selection and current cell. Neither recomputes the flags: the
    // editor runs EquivalentDays and EditDays after a click.
    void setCurrentCell(int month, int dayType);
    void setSelectedCells(const CellFlags &cells);

    // The zones of a cell of WorkList, ordered by start time.
    QList<Zone> zonesOf(int month, int dayType) const;
    bool isCellEmpty(int month, int dayType) const;

    // --- Operations ----------------------------------------------------------
    // Replaces both lists by the decoded records, in the given order, and
    // reverts. When a record cannot be decoded (wrong size, no valid time of
    // day) nothing changes and the reason goes to *error.
    bool SetShedule(const QList<QByteArray> &records, QString *error = nullptr);
    // Commits, then gives one 7-byte image per record of SavedList, in order.
    QList<QByteArray> GetShedule();

    void EmptyDays();
    void EquivalentDays();

    // Zone edits of the current cell; each then copies the current cell's
    // programme to the changed cells (EditDays). A zone that is not valid
    // (Zone::isValid) is refused with false and changes nothing.
    bool InsertTZone(const Zone &zone);
    bool UpdateTZone(const Zone &zone);
    void DeleteTZone(int start);

    // Copies the current cell's programme to every cell flagged in
    // ChangedCells, normalises WorkList and returns its record count.
    int EditDays();
    // Merges records of equal content with equal day masks or equal month
    // masks until no merge is left; part of EditDays.
    void normaliseWorkList();

    void commit();
    void revert();

signals:
    void uncommittedChangesChanged(bool uncommitted);
    void recordCountChanged(int count);
    // SetShedule replaced the whole schedule (a file load, a meter read, a new
    // schedule): views list the current cell again and repaint.
    void scheduleReplaced();

private:
    int removeCell(int index, int month, int dayType);
    void finishZoneEdit();
    void setUncommitted(bool on);
    void reportCount();

    QList<ZoneRecord> m_saved;
    QList<ZoneRecord> m_work;
    int m_curMonth = 1;
    int m_curDayType = 1;
    CellFlags m_selected = CellFlags::single(1, 1);
    CellFlags m_empty = CellFlags::all();
    CellFlags m_noMidnight = CellFlags::all();
    CellFlags m_equivalent = CellFlags::all();
    CellFlags m_changed;
    bool m_uncommitted = false;
    int m_reportedCount = 0;
};

} // namespace kelvar::schedule
