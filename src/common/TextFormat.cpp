#include "TextFormat.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cmath>
#include <cstdio>

namespace kelvar::text {

QString fromCp1251(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray toCp1251(const QString &text)
{
    QStringEncoder encoder("windows-1251", QStringEncoder::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

QString outsideCp1251(const QString &text)
{
    QString outside;
    for (const char32_t codePoint : text.toUcs4()) {
        const QString character = QString::fromUcs4(&codePoint, 1);
        // A character the code page holds comes back from its byte unchanged.
        if (fromCp1251(toCp1251(character)) != character && !outside.contains(character))
            outside += character;
    }
    return outside;
}

QLocale locale()
{
    // A C or POSIX locale names no language: the program's texts are Russian,
    // so its dates and numbers are written the Russian way to match them.
    QLocale l;
    if (l.language() == QLocale::C)
        l = QLocale(QLocale::Russian, QLocale::Russia);
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

static QString withLocaleSeparator(QString plain)
{
    const QString sep = locale().decimalPoint();
    if (sep != QLatin1String("."))
        plain.replace(QLatin1Char('.'), sep);
    return plain;
}

QString decimal(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");
    // Round to 15 significant digits first, then print positionally.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const double rounded = std::strtod(buf, nullptr);
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    const int decimals = std::max(0, 14 - exponent);
    QString plain = QString::number(rounded, 'f', std::min(decimals, 340));
    if (plain.contains(QLatin1Char('.'))) {
        while (plain.endsWith(QLatin1Char('0')))
            plain.chop(1);
        if (plain.endsWith(QLatin1Char('.')))
            plain.chop(1);
    }
    if (plain == QLatin1String("-0"))
        plain = QStringLiteral("0");
    return withLocaleSeparator(plain);
}

QString fixed(double value, int decimals)
{
    return withLocaleSeparator(QString::number(value, 'f', decimals));
}

double parseDecimal(const QString &text, bool *ok)
{
    return locale().toDouble(text.trimmed(), ok);
}

QString shortDateFormat()
{
    return locale().dateFormat(QLocale::ShortFormat);
}

QString longTimeFormat()
{
    // Qt's long format carries a time-zone part ("t"); drop it and the blank before it.
    QString format = locale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    if (!format.contains(QLatin1Char('s')))
        format = locale().timeFormat(QLocale::ShortFormat) + QStringLiteral(":ss");
    return format.trimmed();
}

QString shortDate(const QDate &date)
{
    return locale().toString(date, shortDateFormat());
}

QString longTime(const QTime &time)
{
    return locale().toString(time, longTimeFormat());
}

QString dateTime(const QDateTime &dt)
{
    const QString date = shortDate(dt.date());
    if (dt.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + longTime(dt.time());
}

} // namespace kelvar::text
