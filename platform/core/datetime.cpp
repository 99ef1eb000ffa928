// SPDX-License-Identifier: MIT
#include "datetime.h"

#include "runtimeerror.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace platform
{

namespace
{

constexpr std::int64_t SecondsPerDay = 86400;
constexpr std::int64_t MsPerDay = 86400000;

// Serial days of 0100-01-01 and 9999-12-31, the ends of the date range.
constexpr std::int64_t MinDay = -657434;
constexpr std::int64_t MaxDay = 2958465;
// Days from 1899-12-30, the serial's day 0, to 1970-01-01.
constexpr std::int64_t UnixEpochDay = 25569;

LongDateFormatter longDateFormatter = nullptr;

[[noreturn]] void raise(ErrorNumber number)
{
    throw RuntimeError(number);
}

// ---- Civil dates -------------------------------------------------------------
// The proleptic Gregorian calendar counted in days, by eras of 400 years
// (146097 days) whose years start on 1 March, so that the leap day ends them.

bool isLeapYear(std::int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(std::int64_t year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool isValidDate(std::int64_t year, int month, int day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
}

// The serial day of a valid calendar date.
std::int64_t serialDayOf(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + UnixEpochDay;
}

// The calendar date and weekday of a serial day.
CivilDate civilDateOfDay(std::int64_t serialDay)
{
    const std::int64_t z = serialDay - UnixEpochDay + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // 0 is March
    const int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    // Day 0 was a Saturday.
    const int weekday = int(serialDay - floorDiv(serialDay + 6, 7) * 7 + 6);
    return CivilDate{year, month, day, weekday};
}

// ---- Serials -----------------------------------------------------------------

// The serial as a whole count of `unitsPerDay` units since 1899-12-30 00:00,
// on a continuous time line, rounded to the nearest unit. A negative serial
// has its day in the integer part and its time of day in the absolute value
// of the fraction, as in the classic OLE date: -1.25 is 1899-12-29 06:00.
// Outside the date range (after rounding) or non-finite: Overflow.
std::int64_t toUnits(Date d, std::int64_t unitsPerDay)
{
    const double serial = d.serial;
    if (!std::isfinite(serial) || serial < double(MinDay - 1) || serial > double(MaxDay + 2))
        raise(Overflow);
    const double dayPart = std::trunc(serial);
    const double fraction = std::fabs(serial - dayPart); // exact
    const std::int64_t units = static_cast<std::int64_t>(dayPart) * unitsPerDay +
                               std::llround(fraction * double(unitsPerDay));
    if (units < MinDay * unitsPerDay || units > (MaxDay + 1) * unitsPerDay - 1)
        raise(Overflow);
    return units;
}

// The inverse of toUnits: a count of units on the continuous time line as a
// serial.
Date fromUnits(std::int64_t units, std::int64_t unitsPerDay)
{
    const std::int64_t day = floorDiv(units, unitsPerDay);
    const std::int64_t rest = units - day * unitsPerDay;
    const double fraction = double(rest) / double(unitsPerDay);
    return Date{day >= 0 ? double(day) + fraction : double(day) - fraction};
}

// A serial as a point on the continuous time line, in days.
double toLinear(double serial)
{
    const double dayPart = std::trunc(serial);
    return dayPart + std::fabs(serial - dayPart);
}

// A point on the continuous time line, in days, as a serial.
double fromLinear(double linear)
{
    const double day = std::floor(linear);
    if (day >= 0.0)
        return linear;
    const double timeOfDay = linear - day; // in [0, 1], 1 only by rounding
    const double serial = day - timeOfDay;
    // A time of day a hair below 1 can round up to it here or in the
    // subtraction, and day - 1 would then be midnight of the day before: 48
    // hours early. The point is the next midnight.
    if (serial <= day - 1.0)
        return day + 1.0;
    return serial;
}

struct Fields {
    CivilDate date;
    int hour;
    int minute;
    int second;
};

// The calendar fields of a serial rounded to the nearest second.
Fields fieldsOf(Date d)
{
    const std::int64_t seconds = toUnits(d, SecondsPerDay);
    const std::int64_t day = floorDiv(seconds, SecondsPerDay);
    const int secondOfDay = static_cast<int>(seconds - day * SecondsPerDay);
    return Fields{civilDateOfDay(day), secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
}

// ---- CDate -----------------------------------------------------------------

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Reads `count` ASCII digits at `pos`; -1 if any of them is not one.
int digitsAt(std::u16string_view text, std::size_t pos, std::size_t count)
{
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char16_t c = text[i];
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The month 1..12 of an English three-letter abbreviation at `pos`, compared
// case-insensitively in ASCII only; 0 if there is none.
int monthAt(std::u16string_view text, std::size_t pos)
{
    static const char16_t *const months[12] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                               u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
    char16_t lowered[3];
    for (std::size_t i = 0; i < 3; ++i) {
        char16_t c = text[pos + i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        lowered[i] = c;
    }
    for (int m = 0; m < 12; ++m) {
        if (std::u16string_view(lowered, 3) == months[m])
            return m + 1;
    }
    return 0;
}

// Reads "HH:mm" (withSeconds false) or "HH:mm:ss" at `pos` as seconds of the
// day; -1 if malformed or out of range.
int timeAt(std::u16string_view text, std::size_t pos, bool withSeconds)
{
    const int hour = digitsAt(text, pos, 2);
    const int minute = digitsAt(text, pos + 3, 2);
    int second = 0;
    if (text[pos + 2] != u':')
        return -1;
    if (withSeconds) {
        if (text[pos + 5] != u':')
            return -1;
        second = digitsAt(text, pos + 6, 2);
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return -1;
    return hour * 3600 + minute * 60 + second;
}

[[noreturn]] void typeMismatch()
{
    raise(TypeMismatch);
}

Text digits(int value, std::size_t width)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Text text(buffer, result.ptr);
    if (text.size() < width)
        text.insert(0, width - text.size(), u'0');
    return text;
}

} // namespace

Date fromCivil(const CivilDateTime &t)
{
    if (!isValidDate(t.year, t.month, t.day) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59 || t.millisecond < 0 || t.millisecond > 999)
        raise(InvalidProcedureCall);
    const std::int64_t day = serialDayOf(t.year, t.month, t.day);
    if (day < MinDay || day > MaxDay)
        raise(Overflow);
    const std::int64_t msOfDay =
        ((t.hour * 60 + t.minute) * 60 + t.second) * std::int64_t(1000) + t.millisecond;
    return fromUnits(day * MsPerDay + msOfDay, MsPerDay);
}

CivilDateTime toCivil(Date d)
{
    const std::int64_t ms = toUnits(d, MsPerDay);
    const std::int64_t day = floorDiv(ms, MsPerDay);
    const int msOfDay = static_cast<int>(ms - day * MsPerDay);
    const CivilDate date = civilDateOfDay(day);
    return CivilDateTime{date.year,         date.month,           date.day,
                         msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60,
                         msOfDay % 1000};
}

CivilDate civilDateOf(Date d)
{
    return fieldsOf(d).date;
}

std::int64_t toMilliseconds(Date d)
{
    return toUnits(d, MsPerDay);
}

Date fromMilliseconds(std::int64_t ms)
{
    return fromUnits(ms, MsPerDay);
}

int Hour(Date d)
{
    return fieldsOf(d).hour;
}

int Minute(Date d)
{
    return fieldsOf(d).minute;
}

int Second(Date d)
{
    return fieldsOf(d).second;
}

Date CDate(const Text &input)
{
    std::size_t begin = 0;
    std::size_t end = input.size();
    while (begin < end && isBlank(input[begin]))
        ++begin;
    while (end > begin && isBlank(input[end - 1]))
        --end;
    const std::u16string_view text = std::u16string_view(input).substr(begin, end - begin);

    switch (text.size()) {
    case 5:   // HH:mm
    case 8: { // HH:mm:ss
        const int seconds = timeAt(text, 0, text.size() == 8);
        if (seconds < 0)
            typeMismatch();
        return fromUnits(seconds, SecondsPerDay);
    }
    case 20: { // dd Mon yyyy HH:mm:ss
        if (text[2] != u' ' || text[6] != u' ' || text[11] != u' ')
            typeMismatch();
        const int day = digitsAt(text, 0, 2);
        const int month = monthAt(text, 3);
        const int year = digitsAt(text, 7, 4);
        const int seconds = timeAt(text, 12, true);
        if (day < 1 || month == 0 || year < 100 || seconds < 0)
            typeMismatch();
        if (!isValidDate(year, month, day)) // past the month's end, Feb 29 of a common year
            typeMismatch();
        return fromUnits(serialDayOf(year, month, day) * SecondsPerDay + seconds, SecondsPerDay);
    }
    default:
        typeMismatch();
    }
}

Date DateAdd(Date d, double days)
{
    toUnits(d, SecondsPerDay); // the start must be a valid date
    const double sum = toLinear(d.serial) + days;
    if (!std::isfinite(sum))
        raise(Overflow);
    const Date result{fromLinear(sum)};
    toUnits(result, SecondsPerDay); // range check, raises Overflow
    return result;
}

Text Format(Date d, const Text &pattern)
{
    if (pattern == u"hh:mm:ss" || pattern == u"HH:mm:ss") {
        const Fields f = fieldsOf(d);
        return digits(f.hour, 2) + u':' + digits(f.minute, 2) + u':' + digits(f.second, 2);
    }
    if (pattern == u"yyyy-MM-dd HH:mm:ss") {
        const Fields f = fieldsOf(d);
        return digits(f.date.year, 4) + u'-' + digits(f.date.month, 2) + u'-' +
               digits(f.date.day, 2) + u' ' + digits(f.hour, 2) + u':' + digits(f.minute, 2) +
               u':' + digits(f.second, 2);
    }
    if (pattern == u"dddddd" && longDateFormatter)
        return longDateFormatter(civilDateOf(d));
    raise(InvalidProcedureCall);
}

Text Format(double number, const Text &pattern)
{
    if (pattern != u"00")
        raise(InvalidProcedureCall);
    double whole = std::round(checked(number)); // halves away from zero
    if (whole == 0.0)
        whole = 0.0; // no "-00"
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(whole),
                                      std::chars_format::fixed, 0);
    Text text(buffer, result.ptr);
    if (text.size() < 2)
        text.insert(0, 2 - text.size(), u'0');
    return whole < 0.0 ? u'-' + text : text;
}

Text formatDatePicture(const Text &picture, const CivilDate &date, const DateNames &names)
{
    Text out;
    for (std::size_t i = 0; i < picture.size();) {
        const char16_t c = picture[i];
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        if (c == u'\'') {
            // Quoted text up to the closing quote; '' inside or alone is a quote.
            std::size_t j = i + 1;
            for (; j < picture.size(); ++j) {
                if (picture[j] != u'\'')
                    out += picture[j];
                else if (j + 1 < picture.size() && picture[j + 1] == u'\'')
                    out += picture[++j];
                else
                    break;
            }
            if (j == i + 1 && j < picture.size())
                out += u'\''; // ''
            i = j + 1;
            continue;
        }
        if (c == u'd') {
            if (run <= 2)
                out += digits(date.day, run);
            else
                out += (run == 3 ? names.shortWeekdays : names.weekdays)[date.weekday % 7];
        } else if (c == u'M') {
            if (run <= 2)
                out += digits(date.month, run);
            else
                out += (run == 3 ? names.shortMonths : names.months)[(date.month + 11) % 12];
        } else if (c == u'y') {
            out += run <= 2 ? digits(date.year % 100, run) : digits(date.year, 4);
        } else if (c != u'g') {
            out.append(run, c);
        }
        i += run;
    }
    return out;
}

void setLongDateFormatter(LongDateFormatter formatter)
{
    longDateFormatter = formatter;
}

} // namespace platform
