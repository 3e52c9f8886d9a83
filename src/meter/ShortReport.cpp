#include "ShortReport.h"

#include "common/TextFormat.h"
#include "meter/MeterInfo.h"
#include "meter/SettingsBatch.h"

#include <QSaveFile>

namespace kelvar::meter {

namespace {
const QString Tab = QStringLiteral("\t");

void appendTable(QStringList &lines, const QStringList &captions, const QStringList &values)
{
    for (qsizetype row = 0; row < captions.size(); ++row)
        lines << captions.at(row) + Tab + values.value(row);
}
} // namespace

ShortReportInput shortReportInput(const MeterInfo &info, const QDateTime &now)
{
    ShortReportInput in;
    in.systemTime = now;
    in.mainCaptions = MeterInfo::mainCaptions();
    in.mainValues = info.mainValues();
    in.addiCaptions = MeterInfo::addiCaptions();
    in.addiValues = info.addiValues();
    const QStringList &items = displayItemTexts();
    for (int bit = 0; bit < items.size(); ++bit) {
        if ((info.displayMask() >> bit) & 1)
            in.displayItems << items.at(bit);
    }
    return in;
}

QStringList shortReportLines(const ShortReportInput &in)
{
    QStringList lines;
    lines << QStringLiteral("Системное время") + Tab + text::dateTime(in.systemTime);
    lines << Tab;
    appendTable(lines, in.mainCaptions, in.mainValues);
    lines << Tab;
    appendTable(lines, in.addiCaptions, in.addiValues);
    lines << Tab;
    lines << QStringLiteral("Индикатор") + Tab;
    for (const QString &item : in.displayItems)
        lines << Tab + item;
    return lines;
}

QByteArray shortReportBytes(const ShortReportInput &input)
{
    QByteArray bytes;
    for (const QString &line : shortReportLines(input)) {
        bytes += text::toCp1251(line);
        bytes += "\r\n";
    }
    return bytes;
}

bool saveShortReport(const QString &path, const ShortReportInput &input, QString *error)
{
    QSaveFile file(path);
    const QByteArray bytes = shortReportBytes(input);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

} // namespace kelvar::meter
