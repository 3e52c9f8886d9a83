#pragma once
// Texts as the operator sees them: Windows-1251 conversion for files and the
// wire, and numbers, dates and times in the workstation's locale.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

namespace kelvar::text {

// Windows-1251 bytes to text and back. Characters outside the code page become '?'.
QString fromCp1251(const QByteArray &bytes);
QByteArray toCp1251(const QString &text);
// The characters of text that Windows-1251 cannot hold, each once, in order of appearance.
QString outsideCp1251(const QString &text);

// The locale every text is formatted with (the workstation's, with digit
// grouping switched off).
QLocale locale();

// A floating-point value as a decimal text: up to 15 significant digits, the
// locale's decimal separator, no grouping, no exponent, no trailing zeros.
QString decimal(double value);

// A value with a fixed number of decimals (locale separator, no grouping).
QString fixed(double value, int decimals);

// Reads a decimal text written with the locale's separator; ok tells whether it was a number.
double parseDecimal(const QString &text, bool *ok);

// The locale's short date, e.g. "09.12.2026".
QString shortDate(const QDate &date);

// The locale's long time with seconds and without a time-zone part, e.g. "14:05:09".
QString longTime(const QTime &time);

// Short date and long time; the time is left out when it is exactly midnight.
QString dateTime(const QDateTime &dateTime);

// The locale's short date and long time formats themselves (for parsing and pickers).
QString shortDateFormat();
QString longTimeFormat();

} // namespace kelvar::text
