#include "datetime.h"

#include "clock.h"
#include "runtimeerror.h"

#include <QLocale>

#include <cmath>
#include <cstdint>

namespace platform
{

namespace
{

constexpr std::int64_t SecondsPerDay = 86400;
constexpr std::int64_t MsPerDay = 86400000;

// Julian day of the serial's day 0, 1899-12-30.
constexpr std::int64_t EpochJulianDay = 2415019;
// Serial days of 0100-01-01 and 9999-12-31, the ends of the date range.
constexpr std::int64_t MinDay = -657434;
constexpr std::int64_t MaxDay = 2958465;

[[noreturn]] void raise(ErrorNumber number)
{
    throw RuntimeError(number, errorDescription(number));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

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
    return day - (linear - day);
}

struct Fields {
    QDate date;
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
    return Fields{QDate::fromJulianDay(EpochJulianDay + day), secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60};
}

// ---- CDate -----------------------------------------------------------------

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Reads `count` ASCII digits at `pos`; -1 if any of them is not one.
int digitsAt(const QString &text, int pos, int count)
{
    int value = 0;
    for (int i = pos; i < pos + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The month 1..12 of an English three-letter abbreviation at `pos`, compared
// case-insensitively in ASCII only; 0 if there is none.
int monthAt(const QString &text, int pos)
{
    static const char *const months[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                           "jul", "aug", "sep", "oct", "nov", "dec"};
    char lowered[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        char16_t c = text.at(pos + i).unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c < u'a' || c > u'z')
            return 0;
        lowered[i] = static_cast<char>(c);
    }
    for (int m = 0; m < 12; ++m) {
        if (qstrcmp(lowered, months[m]) == 0)
            return m + 1;
    }
    return 0;
}

// Reads "HH:mm" (withSeconds false) or "HH:mm:ss" at `pos` as seconds of the
// day; -1 if malformed or out of range.
int timeAt(const QString &text, int pos, bool withSeconds)
{
    const int hour = digitsAt(text, pos, 2);
    const int minute = digitsAt(text, pos + 3, 2);
    int second = 0;
    if (text.at(pos + 2) != QLatin1Char(':'))
        return -1;
    if (withSeconds) {
        if (text.at(pos + 5) != QLatin1Char(':'))
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

// A calendar date and a time of day in milliseconds (-1: invalid) as a serial.
Date fromFields(const QDate &date, int msOfDay)
{
    if (!date.isValid() || msOfDay < 0)
        raise(InvalidProcedureCall);
    const std::int64_t day = date.toJulianDay() - EpochJulianDay;
    if (day < MinDay || day > MaxDay)
        raise(Overflow);
    return fromUnits(day * MsPerDay + msOfDay, MsPerDay);
}

} // namespace

Date Now()
{
    // Whole seconds, as the classic Now: the fields then never run ahead of
    // the PC's clock by the rounding of Hour, Minute, Second and Format.
    const QDateTime now = SystemClock::now();
    const QTime time = now.time();
    return fromFields(now.date(), time.isValid() ? time.msecsSinceStartOfDay() / 1000 * 1000 : -1);
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

Date CDate(const QString &input)
{
    qsizetype begin = 0;
    qsizetype end = input.size();
    while (begin < end && isBlank(input.at(begin)))
        ++begin;
    while (end > begin && isBlank(input.at(end - 1)))
        --end;
    const QString text = input.mid(begin, end - begin);

    switch (text.size()) {
    case 5:   // HH:mm
    case 8: { // HH:mm:ss
        const int seconds = timeAt(text, 0, text.size() == 8);
        if (seconds < 0)
            typeMismatch();
        return fromUnits(seconds, SecondsPerDay);
    }
    case 20: { // dd Mon yyyy HH:mm:ss
        const QLatin1Char blank(' ');
        if (text.at(2) != blank || text.at(6) != blank || text.at(11) != blank)
            typeMismatch();
        const int day = digitsAt(text, 0, 2);
        const int month = monthAt(text, 3);
        const int year = digitsAt(text, 7, 4);
        const int seconds = timeAt(text, 12, true);
        if (day < 1 || month == 0 || year < 100 || seconds < 0)
            typeMismatch();
        const QDate date(year, month, day);
        if (!date.isValid()) // day past the month's end, Feb 29 of a common year
            typeMismatch();
        const std::int64_t serialDay = date.toJulianDay() - EpochJulianDay;
        return fromUnits(serialDay * SecondsPerDay + seconds, SecondsPerDay);
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

QString Format(Date d, const QString &pattern)
{
    const auto two = [](int value) {
        return QString::number(value).rightJustified(2, QLatin1Char('0'));
    };

    if (pattern == QLatin1String("hh:mm:ss") || pattern == QLatin1String("HH:mm:ss")) {
        const Fields f = fieldsOf(d);
        return two(f.hour) + QLatin1Char(':') + two(f.minute) + QLatin1Char(':') + two(f.second);
    }
    if (pattern == QLatin1String("yyyy-MM-dd HH:mm:ss")) {
        const Fields f = fieldsOf(d);
        return QString::number(f.date.year()).rightJustified(4, QLatin1Char('0')) +
               QLatin1Char('-') + two(f.date.month()) + QLatin1Char('-') + two(f.date.day()) +
               QLatin1Char(' ') + two(f.hour) + QLatin1Char(':') + two(f.minute) +
               QLatin1Char(':') + two(f.second);
    }
    if (pattern == QLatin1String("dddddd"))
        return QLocale::system().toString(fieldsOf(d).date, QLocale::LongFormat);
    raise(InvalidProcedureCall);
}

QString Format(double number, const QString &pattern)
{
    if (pattern != QLatin1String("00"))
        raise(InvalidProcedureCall);
    double whole = std::round(checked(number)); // halves away from zero
    if (whole == 0.0)
        whole = 0.0; // no "-00"
    const QString digits =
        QString::number(std::fabs(whole), 'f', 0).rightJustified(2, QLatin1Char('0'));
    return whole < 0.0 ? QLatin1Char('-') + digits : digits;
}

Date fromDateTime(const QDateTime &localTime)
{
    const QTime time = localTime.time();
    return fromFields(localTime.date(), time.isValid() ? time.msecsSinceStartOfDay() : -1);
}

QDateTime toDateTime(Date d)
{
    const std::int64_t ms = toUnits(d, MsPerDay);
    const std::int64_t day = floorDiv(ms, MsPerDay);
    const int msOfDay = static_cast<int>(ms - day * MsPerDay);
    return QDateTime(QDate::fromJulianDay(EpochJulianDay + day),
                     QTime::fromMSecsSinceStartOfDay(msOfDay));
}

} // namespace platform
