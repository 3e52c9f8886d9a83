#include "export/TextGrid.h"

#include "common/TextFormat.h"

#include <QAbstractItemModel>

#include <cmath>

namespace kelvar::exporting {

TextGrid makeGrid(const QStringList &captions, const QList<QStringList> &rows)
{
    TextGrid grid;
    grid.columnCount = int(captions.size());
    grid.rows.reserve(rows.size() + 1);
    grid.rows.append(captions);
    for (QStringList row : rows) {
        if (row.size() > grid.columnCount)
            row.resize(grid.columnCount);
        while (row.size() < grid.columnCount)
            row.append(QString());
        grid.rows.append(std::move(row));
    }
    return grid;
}

TextGrid ListViewToGrid(const QAbstractItemModel &model)
{
    TextGrid grid;
    grid.columnCount = model.columnCount();
    const int rowCount = model.rowCount();
    grid.rows.reserve(rowCount + 1);
    QStringList captions;
    for (int j = 0; j < grid.columnCount; ++j)
        captions.append(model.headerData(j, Qt::Horizontal, Qt::DisplayRole).toString());
    grid.rows.append(captions);
    for (int r = 0; r < rowCount; ++r) {
        QStringList row;
        row.reserve(grid.columnCount);
        for (int j = 0; j < grid.columnCount; ++j)
            row.append(model.data(model.index(r, j), Qt::DisplayRole).toString());
        grid.rows.append(std::move(row));
    }
    return grid;
}

std::optional<double> cellNumber(const QString &text)
{
    // The rule is "reads as a decimal number": a text is a text exactly when
    // reading it with the fallbacks 0 and 1 gives back 0 and 1. Digit groups
    // are not part of a number here, so "1 234" stays the text it is.
    QLocale locale = text::locale();
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

// The journal's name in an export heading; the first three end in a blank.
QString exportName(JournalKind journal)
{
    switch (journal) {
    case JournalKind::Yearly: return QStringLiteral("Годовой журнал ");
    case JournalKind::Daily: return QStringLiteral("Суточный журнал ");
    case JournalKind::Profile: return QStringLiteral("Профиль нагрузки ");
    case JournalKind::Settings: return QStringLiteral("Журнал установок");
    case JournalKind::PowerOn: return QStringLiteral("Журнал включений");
    }
    return {};
}

QString journalTitle(qint64 meterNumber, const QString &name)
{
    return QStringLiteral("Счетчик № %1, %2").arg(meterNumber).arg(name);
}

} // namespace

QString exportTitle(JournalKind journal, qint64 meterNumber)
{
    return journalTitle(meterNumber, exportName(journal));
}

QString printTitle(JournalKind journal, qint64 meterNumber)
{
    // A printed page names the yearly and daily journals without the blank;
    // the load profile keeps it.
    QString name = exportName(journal);
    if (journal == JournalKind::Yearly || journal == JournalKind::Daily)
        name.chop(1);
    return journalTitle(meterNumber, name);
}

QString printDateLine(const QDateTime &when)
{
    return text::locale().toString(when, QStringLiteral("d MMMM yyyy 'г.' HH:mm:ss"));
}

} // namespace kelvar::exporting
