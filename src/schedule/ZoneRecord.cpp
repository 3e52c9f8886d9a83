#include "ZoneRecord.h"

#include "link/Encoding.h"

namespace kelvar::schedule {

using link::bcdDecode;
using link::bcdEncode;

QString timeText(int minute)
{
    return QStringLiteral("%1:%2")
        .arg(minute / 60, 2, 10, QLatin1Char('0'))
        .arg(minute % 60, 2, 10, QLatin1Char('0'));
}

bool Zone::isValid() const
{
    return start >= 0 && start < MinutesPerDay && tariff >= 1 && tariff <= 8 && exceedTariff >= 1
        && exceedTariff <= 8;
}

QByteArray encodeRecord(const ZoneRecord &record)
{
    const Zone &z = record.zone;
    QByteArray image;
    image.reserve(RecordSize);
    image.append(static_cast<char>(((z.tariff - 1) & 7) | (((z.exceedTariff - 1) & 7) << 4)));
    image.append(static_cast<char>(bcdEncode(z.start / 60)));
    image.append(static_cast<char>(bcdEncode(z.start % 60)));
    image.append(static_cast<char>(z.limit));
    image.append(static_cast<char>(record.dayMask));
    image.append(static_cast<char>(record.monthMask & 0xFF));
    image.append(static_cast<char>(record.monthMask >> 8));
    return image;
}

std::optional<ZoneRecord> decodeRecord(const QByteArray &image, QString *error)
{
    if (image.size() != RecordSize) {
        if (error)
            *error = QStringLiteral("запись занимает %1 байт вместо 7")
                         .arg(image.size());
        return std::nullopt;
    }
    const auto byte = [&image](int i) { return link::byteAt(image, i); };
    const int hour = bcdDecode(byte(1));
    const int minute = bcdDecode(byte(2));
    if (hour > 23 || minute > 59) {
        if (error)
            *error = QStringLiteral("недопустимое время начала зоны %1:%2")
                         .arg(hour, 2, 10, QLatin1Char('0'))
                         .arg(minute, 2, 10, QLatin1Char('0'));
        return std::nullopt;
    }
    ZoneRecord r;
    r.zone.start = hour * 60 + minute;
    r.zone.tariff = static_cast<quint8>((byte(0) & 7) + 1);
    r.zone.exceedTariff = static_cast<quint8>(((byte(0) >> 4) & 7) + 1);
    r.zone.limit = byte(3);
    r.dayMask = byte(4);
    r.monthMask = static_cast<quint16>(byte(5) | (byte(6) << 8));
    return r;
}

QString monthShortName(int month)
{
    static const char *const names[MonthCount] = {"ЯНВ", "ФЕВ", "МАР", "АПР", "МАЙ", "ИЮН",
                                                  "ИЮЛ", "АВГ", "СЕН", "ОКТ", "НОЯ", "ДЕК"};
    return month >= 1 && month <= MonthCount ? QString::fromUtf8(names[month - 1]) : QString();
}

QString dayTypeShortName(int dayType)
{
    static const char *const names[DayTypeCount] = {"ПН", "ВТ", "СР", "ЧТ", "ПТ", "СБ", "ВС", "ПР"};
    return dayType >= 1 && dayType <= DayTypeCount ? QString::fromUtf8(names[dayType - 1]) : QString();
}

} // namespace kelvar::schedule
