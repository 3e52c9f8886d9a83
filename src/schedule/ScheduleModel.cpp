#include "ScheduleModel.h"

#include <algorithm>
#include <array>

namespace kelvar::schedule {

namespace {

int cellIndex(int month, int dayType)
{
    return (month - 1) * DayTypeCount + dayType - 1;
}

} // namespace

ScheduleModel::ScheduleModel(QObject *parent) : QObject(parent) {}

void ScheduleModel::setCurrentCell(int month, int dayType)
{
    if (month < 1 || month > MonthCount || dayType < 1 || dayType > DayTypeCount)
        return;
    m_curMonth = month;
    m_curDayType = dayType;
}

void ScheduleModel::setSelectedCells(const CellFlags &cells)
{
    m_selected = cells;
}

QList<Zone> ScheduleModel::zonesOf(int month, int dayType) const
{
    QList<Zone> zones;
    for (const ZoneRecord &r : m_work)
        if (r.covers(month, dayType))
            zones.append(r.zone);
    std::stable_sort(zones.begin(), zones.end(),
                     [](const Zone &a, const Zone &b) { return a.start < b.start; });
    return zones;
}

bool ScheduleModel::isCellEmpty(int month, int dayType) const
{
    return std::none_of(m_work.cbegin(), m_work.cend(),
                        [=](const ZoneRecord &r) { return r.covers(month, dayType); });
}

bool ScheduleModel::SetShedule(const QList<QByteArray> &records, QString *error)
{
    QList<ZoneRecord> decoded;
    decoded.reserve(records.size());
    for (const QByteArray &image : records) {
        QString reason;
        const std::optional<ZoneRecord> r = decodeRecord(image, &reason);
        if (!r) {
            if (error)
                *error = QStringLiteral("Запись %1 тарифного расписания: %2.").arg(decoded.size() + 1).arg(reason);
            return false;
        }
        decoded.append(*r);
    }
    m_saved = decoded;
    revert();
    emit scheduleReplaced();
    return true;
}

QList<QByteArray> ScheduleModel::GetShedule()
{
    commit();
    QList<QByteArray> images;
    images.reserve(m_saved.size());
    for (const ZoneRecord &r : m_saved)
        images.append(encodeRecord(r));
    return images;
}

void ScheduleModel::EmptyDays()
{
    m_empty = CellFlags::all();
    m_noMidnight = CellFlags::all();
    for (const ZoneRecord &r : m_work) {
        const bool midnight = r.zone.start == 0;
        forEachCoveredCell(r, [&](int m, int d) {
            m_empty.set(m, d, false);
            if (midnight)
                m_noMidnight.set(m, d, false);
        });
    }
}

void ScheduleModel::EquivalentDays()
{
    EmptyDays();
    if (m_empty.at(m_curMonth, m_curDayType)) {
        m_equivalent = m_empty;
    } else {
        // A counts, per cell, the records whose content is that of a zone of
        // the current cell; B the others. With at most one record of a given
        // content per cell, equal counts mean equal zone sets.
        std::array<int, CellCount> a{};
        std::array<int, CellCount> b{};
        for (const ZoneRecord &r : m_work) {
            if (!r.covers(m_curMonth, m_curDayType))
                continue;
            for (const ZoneRecord &s : m_work) {
                std::array<int, CellCount> &counter = s.sameContent(r) ? a : b;
                forEachCoveredCell(s, [&counter](int m, int d) { ++counter[cellIndex(m, d)]; });
            }
        }
        const int cur = cellIndex(m_curMonth, m_curDayType);
        m_equivalent = CellFlags();
        for (int m = 1; m <= MonthCount; ++m)
            for (int d = 1; d <= DayTypeCount; ++d)
                m_equivalent.set(m, d, a[cellIndex(m, d)] == a[cur] && b[cellIndex(m, d)] == b[cur]);
    }
    m_changed = m_selected & ~m_equivalent;
    if (m_changed.any())
        setUncommitted(true);
}

// Takes cell (month, dayType) out of the record at index, which covers it, so
// that the records together cover what they covered less that cell. Returns
// the index of the next record to examine: a deleted record is not stepped
// over, and a record inserted at the front shifts the examined one by one.
int ScheduleModel::removeCell(int index, int month, int dayType)
{
    const quint16 mt = GetMaska(month);
    const quint8 dt = static_cast<quint8>(GetMaska(dayType));
    ZoneRecord &r = m_work[index];
    if (r.dayMask == dt && r.monthMask == mt) {
        m_work.removeAt(index);
        return index;
    }
    if (r.dayMask == dt) {
        r.monthMask &= static_cast<quint16>(~mt);
        return index + 1;
    }
    if (r.monthMask == mt) {
        r.dayMask &= static_cast<quint8>(~dt);
        return index + 1;
    }
    ZoneRecord otherDays = r;
    otherDays.dayMask &= static_cast<quint8>(~dt);
    r.dayMask = dt;
    r.monthMask &= static_cast<quint16>(~mt);
    m_work.prepend(otherDays);
    return index + 2;
}

bool ScheduleModel::InsertTZone(const Zone &zone)
{
    if (!zone.isValid())
        return false;
    // A cell holds at most one zone per start time: a zone entered at a time
    // the cell already uses replaces the existing one.
    const bool timeTaken = std::any_of(m_work.cbegin(), m_work.cend(), [&](const ZoneRecord &r) {
        return r.zone.start == zone.start && r.covers(m_curMonth, m_curDayType);
    });
    if (timeTaken)
        return UpdateTZone(zone);

    const quint16 mc = GetMaska(m_curMonth);
    const quint8 dc = static_cast<quint8>(GetMaska(m_curDayType));
    const auto merge = std::find_if(m_work.begin(), m_work.end(), [&](const ZoneRecord &r) {
        return r.zone == zone && (r.dayMask == dc || r.monthMask == mc);
    });
    if (merge != m_work.end()) {
        merge->dayMask |= dc;
        merge->monthMask |= mc;
    } else {
        m_work.append(ZoneRecord{zone, dc, mc});
    }
    finishZoneEdit();
    return true;
}

bool ScheduleModel::UpdateTZone(const Zone &zone)
{
    if (!zone.isValid())
        return false;
    const quint16 mc = GetMaska(m_curMonth);
    const quint8 dc = static_cast<quint8>(GetMaska(m_curDayType));
    bool overwritten = false;
    for (int i = 0; i < m_work.size(); ++i) {
        ZoneRecord &r = m_work[i];
        if (r.zone.start != zone.start || !r.covers(m_curMonth, m_curDayType))
            continue;
        if (r.dayMask == dc && r.monthMask == mc) {
            r.zone = zone;
            overwritten = true;
        } else {
            removeCell(i, m_curMonth, m_curDayType);
        }
        break;
    }
    if (!overwritten)
        m_work.append(ZoneRecord{zone, dc, mc});
    finishZoneEdit();
    return true;
}

void ScheduleModel::DeleteTZone(int start)
{
    for (int i = 0; i < m_work.size(); ++i) {
        if (m_work[i].zone.start == start && m_work[i].covers(m_curMonth, m_curDayType)) {
            removeCell(i, m_curMonth, m_curDayType);
            break;
        }
    }
    finishZoneEdit();
}

void ScheduleModel::finishZoneEdit()
{
    EquivalentDays();
    m_changed.set(m_curMonth, m_curDayType);
    setUncommitted(true);
    EditDays();
}

int ScheduleModel::EditDays()
{
    const int cm = m_curMonth;
    const int cd = m_curDayType;
    const quint16 mc = GetMaska(cm);
    const quint8 dc = static_cast<quint8>(GetMaska(cd));
    const bool currentEmpty = isCellEmpty(cm, cd);

    for (int m = 1; m <= MonthCount; ++m) {
        for (int d = 1; d <= DayTypeCount; ++d) {
            if (!m_changed.at(m, d))
                continue;
            if (currentEmpty) {
                // The changed cells become empty like the current one.
                for (int i = 0; i < m_work.size();)
                    i = m_work[i].covers(m, d) ? removeCell(i, m, d) : i + 1;
                continue;
            }
            if (m == cm && d == cd)
                continue;
            const quint16 mt = GetMaska(m);
            const quint8 dt = static_cast<quint8>(GetMaska(d));
            for (int i = 0; i < m_work.size();) {
                ZoneRecord &r = m_work[i];
                if (!r.covers(cm, cd)) {
                    i = r.covers(m, d) ? removeCell(i, m, d) : i + 1;
                    continue;
                }
                // Extend a record of the current cell to the target when it
                // stays a product of two sets; else give the target its own.
                const bool moreDays = r.dayMask != dc;
                const bool moreMonths = r.monthMask != mc;
                bool extended = false;
                if (d == cd && !moreDays) {
                    r.monthMask |= mt;
                    extended = true;
                } else if (m == cm && !moreMonths) {
                    r.dayMask |= dt;
                    extended = true;
                }
                if (!extended && !r.covers(m, d)) {
                    const ZoneRecord own{r.zone, dt, mt};
                    m_work.prepend(own);
                    i += 2;
                    continue;
                }
                ++i;
            }
        }
    }

    // Every selected cell now has the current cell's programme, and its flags.
    const bool noMidnight = std::none_of(m_work.cbegin(), m_work.cend(), [=](const ZoneRecord &r) {
        return r.zone.start == 0 && r.covers(cm, cd);
    });
    for (int m = 1; m <= MonthCount; ++m) {
        for (int d = 1; d <= DayTypeCount; ++d) {
            if (m_selected.at(m, d)) {
                m_empty.set(m, d, currentEmpty);
                m_noMidnight.set(m, d, noMidnight);
            }
        }
    }

    normaliseWorkList();
    reportCount();
    return recordCount();
}

void ScheduleModel::normaliseWorkList()
{
    for (;;) {
        const qsizetype before = m_work.size();
        for (qsizetype i = 0; i + 1 < m_work.size(); ++i) {
            for (qsizetype j = i + 1; j < m_work.size();) {
                ZoneRecord &a = m_work[i];
                const ZoneRecord &b = m_work[j];
                if (a.sameContent(b) && a.dayMask == b.dayMask) {
                    a.monthMask |= b.monthMask;
                    m_work.removeAt(j);
                } else if (a.sameContent(b) && a.monthMask == b.monthMask) {
                    a.dayMask |= b.dayMask;
                    m_work.removeAt(j);
                } else {
                    ++j;
                }
            }
        }
        if (m_work.size() >= before)
            break;
    }
}

void ScheduleModel::commit()
{
    m_saved = m_work;
    setUncommitted(false);
    EquivalentDays();
    reportCount();
}

void ScheduleModel::revert()
{
    m_selected = CellFlags::single(m_curMonth, m_curDayType);
    m_work = m_saved;
    setUncommitted(false);
    EquivalentDays();
    reportCount();
}

void ScheduleModel::setUncommitted(bool on)
{
    if (m_uncommitted == on)
        return;
    m_uncommitted = on;
    emit uncommittedChangesChanged(on);
}

void ScheduleModel::reportCount()
{
    const int count = recordCount();
    if (count == m_reportedCount)
        return;
    m_reportedCount = count;
    emit recordCountChanged(count);
}

} // namespace kelvar::schedule
