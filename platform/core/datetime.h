// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"
#include "text.h"

namespace platform
{

// The date type: days since 1899-12-30, the fraction being the time of day.
// For a negative serial the integer part is the day and the absolute value of
// the fraction the time of day, as in the classic OLE date (-1.25 is
// 1899-12-29 06:00). Valid from 0100-01-01 00:00:00 to 9999-12-31 23:59:59.
// Calendar arithmetic only: no time zone and no locale is involved, except
// for the long date "dddddd".
//
// Every service that reads fields (Hour, Minute, Second, Format) first rounds
// the serial to the nearest second, so 46363.9999999 reads as the next day
// 00:00:00 and a sum like CDate(...) + 1/3 gives exact times. A serial that
// is non-finite or outside the range (after that rounding) raises Overflow.
struct Date {
    double serial = 0.0;
};

// A calendar day with its weekday (0 = Sunday .. 6 = Saturday), as handed to
// the long-date formatter.
struct CivilDate {
    int year;
    int month;
    int day;
    int weekday;
};

int Hour(Date d);   // 0..23
int Minute(Date d); // 0..59
int Second(Date d); // 0..59

// Strict text-to-date conversion, independent of locale and time zone.
// Accepts, with any spaces or tabs before and after:
//   "HH:mm" and "HH:mm:ss"   -> a time of day only (serial in [0, 1));
//   "dd Mon yyyy HH:mm:ss"   -> date and time, the HTTP-date slice
//                               " 07 Dec 2026 14:04:45";
// with exactly two ASCII digits per field (four for the year), single blanks
// between the slice's fields, English month abbreviations Jan..Dec in any
// case (ASCII only), and validated ranges (day within its month, so Feb 29
// only in leap years; year 0100..9999; hour 0..23; minute and second 0..59).
// Anything else raises TypeMismatch; there is never a guess.
Date CDate(const Text &text);

// Adds days (fractions allowed) on the continuous time line; a non-finite sum
// or one outside the date range raises Overflow, and so does a start outside
// the range.
Date DateAdd(Date d, double days);

// Patterns "hh:mm:ss" and "HH:mm:ss" (both 24-hour, two digits per field),
// "yyyy-MM-dd HH:mm:ss", and "dddddd", the long date of the user's locale as
// the installed long-date formatter writes it. Any other pattern raises
// InvalidProcedureCall, and so does "dddddd" with no formatter installed.
Text Format(Date d, const Text &pattern);
// Pattern "00": the number rounded to a whole number (halves away from zero),
// at least two digits ("07", "59", "123", "-05"). Any other pattern raises
// InvalidProcedureCall; NaN raises InvalidProcedureCall, an infinity Overflow.
Text Format(double number, const Text &pattern);

// The user's long date ("2026年12月7日星期一" in zh_CN) comes from the back
// end's locale services, which install their formatter at start-up.
using LongDateFormatter = Text (*)(const CivilDate &date);
void setLongDateFormatter(LongDateFormatter formatter);

// The names a locale gives the months and weekdays, Sunday first.
struct DateNames {
    Text months[12];
    Text shortMonths[12];
    Text weekdays[7];
    Text shortWeekdays[7];
};
// `date` written after a locale's date picture ("dddd, MMMM d, yyyy",
// "yyyy'年'M'月'd'日'"): d dd ddd dddd, M MM MMM MMMM, y yy yyyy, text in
// single quotes ('' is a quote); era marks (g) write nothing, other
// characters stand for themselves. For any year the date type holds.
Text formatDatePicture(const Text &picture, const CivilDate &date, const DateNames &names);

// Civil time <-> serial, by pure calendar arithmetic on whole milliseconds. An
// invalid field (month 13, 31 April, hour 24, ...) raises
// InvalidProcedureCall, a year outside 100..9999 Overflow. toCivil rounds
// the serial to the millisecond.
Date fromCivil(const CivilDateTime &time);
CivilDateTime toCivil(Date d);
// The calendar day of a serial (rounded to the second), with its weekday.
CivilDate civilDateOf(Date d);
// A serial as milliseconds since 1899-12-30 00:00 on the continuous time line
// (Overflow outside the range), and back.
std::int64_t toMilliseconds(Date d);
Date fromMilliseconds(std::int64_t ms);

} // namespace platform
