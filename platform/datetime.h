#pragma once

#include <QDateTime>
#include <QString>

namespace platform {

// The date type: days since 1899-12-30, the fraction being the time of day.
// Valid from 0100-01-01 to 9999-12-31. Calendar arithmetic only: no time zone
// is involved.
struct Date {
    double serial = 0.0;
};

Date Now();

int Hour(Date d);
int Minute(Date d);
int Second(Date d);

// Accepts "HH:mm", "HH:mm:ss" and the HTTP-date slice " 07 Dec 2026 14:04:45"
// (blanks around it allowed, English month abbreviations). Anything else
// raises TypeMismatch.
Date CDate(const QString &text);

// Adds days; a sum outside the date range, or a non-finite one, raises Overflow.
Date DateAdd(Date d, double days);

// Patterns "hh:mm:ss" and "HH:mm:ss" (24-hour), "yyyy-MM-dd HH:mm:ss", and
// "dddddd", the long date of the user's locale.
QString Format(Date d, const QString &pattern);
// Pattern "00": a whole number with at least two digits.
QString Format(double number, const QString &pattern);

Date fromDateTime(const QDateTime &localTime);
QDateTime toDateTime(Date d);

} // namespace platform
