// SPDX-License-Identifier: MIT
// The date, text and colour services, as the clocks and the network time
// query use them, in data tables: each row names itself in a failure.
//
// CTest runs this executable twice: in the plain environment and under
// TZ=America/New_York with LANG/LC_ALL=zh_CN.UTF-8. The tables must give the
// same results in both.

#define DOCTEST_CONFIG_IMPLEMENT
#define CORE_TEST_MAIN
#include "testing.h"

#include "clock.h"
#include "colour.h"
#include "datetime.h"
#include "placement.h"
#include "textcells.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

using namespace platform;

namespace
{

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Serial days of a few dates, checked by hand against a calendar.
constexpr double Dec7th2026 = 46363; // a Monday
constexpr double Jan1st2027 = 46388;
constexpr double Feb29th2028 = 46812;
constexpr double FirstDay = -657434; // 0100-01-01
constexpr double LastDay = 2958465;  // 9999-12-31

double timeOfDay(int hour, int minute, int second)
{
    return (hour * 3600 + minute * 60 + second) / 86400.0;
}

const Text Full = u"yyyy-MM-dd HH:mm:ss";

// "2026-12-07 14:04:45.123", to compare civil times and show them in a failure.
std::string civilText(const CivilDateTime &t)
{
    const auto two = [](int v) { return (v < 10 && v >= 0 ? "0" : "") + std::to_string(v); };
    return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day) + " " + two(t.hour) +
           ":" + two(t.minute) + ":" + two(t.second) + "." + std::to_string(t.millisecond);
}

// The long date as the zh_CN locale writes it: 2026年12月7日星期一.
Text chineseLongDate(const CivilDate &date)
{
    static const char16_t *const weekdays[7] = {u"日", u"一", u"二", u"三", u"四", u"五", u"六"};
    return CStr(date.year) + u"年" + CStr(date.month) + u"月" + CStr(date.day) + u"日星期" +
           weekdays[date.weekday];
}

struct LongDateScope {
    explicit LongDateScope(LongDateFormatter formatter) { setLongDateFormatter(formatter); }
    ~LongDateScope() { setLongDateFormatter(nullptr); }
};

#ifdef _WIN32
const char *const NewYork = "EST5EDT";
#else
const char *const NewYork = "America/New_York";
#endif

} // namespace

// ---- Run-time errors ---------------------------------------------------------

// NaN and +inf are in the table below, as the services raising 5 and 6.
TEST_CASE("checked")
{
    CHECK(checked(std::numeric_limits<double>::max()) == std::numeric_limits<double>::max());
    CHECK(errorOf([] { checked(-Inf); }) == Overflow);
}

TEST_CASE("run-time error descriptions and report")
{
    struct Row {
        const char *name;
        int number;
        const char16_t *description;
        void (*raise)(); // a service raising it; null if none of these does
    };
    const Row rows[] = {
        {"5 invalid procedure call", InvalidProcedureCall, u"无效的过程调用或参数",
         [] { checked(NaN); }},
        {"6 overflow", Overflow, u"溢出", [] { checked(Inf); }},
        {"11 division by zero", DivisionByZero, u"除数为零", nullptr},
        {"13 type mismatch", TypeMismatch, u"类型不匹配", [] { CDate(u"x"); }},
        {"380 invalid property value", InvalidPropertyValue, u"无效的属性值", nullptr},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(errorDescription(row.number) == row.description);
        const RuntimeError error(ErrorNumber(row.number));
        CHECK(error.number() == row.number);
        CHECK(error.description() == row.description);
        CHECK(std::string(error.what()) == toUtf8(row.description));
        CHECK(errorReport(error) ==
              u"运行时错误 '" + CStr(row.number) + u"':\n\n" + row.description);
        if (row.raise) {
            Text raised;
            try {
                row.raise();
            } catch (const RuntimeError &e) {
                raised = e.description();
            }
            CHECK(raised == row.description);
        }
    }
    CHECK(errorDescription(7).empty());
    // A failure code of the request keeps its own description.
    const RuntimeError failure(int(0x800C0005), u"未找到服务器");
    CHECK(errorReport(failure) == u"运行时错误 '-2146697211':\n\n未找到服务器");
}

// ---- Colours -----------------------------------------------------------------

TEST_CASE("classic palette")
{
    struct Row {
        const char *name;
        int index, red, green, blue;
    };
    // The two the clocks use, the one silver, and a bright red and white.
    const Row rows[] = {
        {"3 teal, the date's colour", 3, 0, 128, 128},
        {"6 olive, network-mode colour", 6, 128, 128, 0},
        {"7 silver", 7, 192, 192, 192},
        {"12 red", 12, 255, 0, 0},
        {"15 white", 15, 255, 255, 255},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(QBColor(row.index) == Rgb(row.red, row.green, row.blue));
    }
    CHECK(errorOf([] { QBColor(-1); }) == InvalidProcedureCall);
    CHECK(errorOf([] { QBColor(16); }) == InvalidProcedureCall);
}

TEST_CASE("colour words")
{
    struct Row {
        const char *name;
        int red, green, blue;
        ColourWord word;
    };
    const Row rows[] = {
        {"local-mode colour 16576", 192, 64, 0, 16576},
        {"mixed", 0x12, 0x34, 0x56, 0x563412},
        {"above 255 clamped", 300, 256, 1000, 0xFFFFFF},
        {"below 0 clamped", -1, -255, -1000, 0},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(Rgb(row.red, row.green, row.blue) == row.word);
    }
    // A system colour's high byte is no part of the components.
    CHECK(isSystemColour(0x80563412u));
    CHECK(!isSystemColour(Rgb(255, 255, 255)));
    CHECK(redOf(0x80563412u) == 0x12);
    CHECK(greenOf(0x80563412u) == 0x34);
    CHECK(blueOf(0x80563412u) == 0x56);
}

// ---- Text --------------------------------------------------------------------

TEST_CASE("UTF-8 conversion")
{
    struct Row {
        const char *name;
        std::string utf8;
        Text text;
        bool roundTrip; // toUtf8(text) gives utf8 back
    };
    const Row rows[] = {
        {"ASCII", "Timer1", u"Timer1", true},
        {"Chinese", "\xE6\x8F\x90\xE7\xA4\xBA", u"提示", true},
        {"outside the BMP, a surrogate pair", "\xF0\x9F\x95\x90", u"\U0001F550", true},
        {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
        {"stray continuation byte", "a\x80z", u"a\uFFFDz", false},
        {"truncated sequence", "\xE6\x8F", u"\uFFFD", false},
        {"truncated, then ASCII", "\xE6\x8Fz", u"\uFFFDz", false},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD", false},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},
        {"invalid byte FF", "\xFF", u"\uFFFD", false},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(fromUtf8(row.utf8) == row.text);
        if (row.roundTrip)
            CHECK(toUtf8(row.text) == row.utf8);
    }
    CHECK(toUtf8(Text(1, char16_t(0xD800)) + u"x") == "\xEF\xBF\xBDx"); // lone surrogate
    CHECK(toUtf8(Text(1, char16_t(0xDC00))) == "\xEF\xBF\xBD");
}

TEST_CASE("Val reads the leading number")
{
    struct Row {
        const char *name;
        Text text;
        double value;
    };
    const Row rows[] = {
        {"blanks only", u"   ", 0},
        {"counter 179", u"179", 179},
        {"seconds caption", u":07", 0},
        {"leading blanks then junk", u"  12abc", 12},
        {"tab and line feed", u"\t\n 42", 42},
        {"carriage return", u"\r5", 5},
        {"negative fraction then junk", u"-3.5x", -3.5},
        {"plus sign", u"+8", 8},
        {"negative fraction only", u"-.25", -0.25},
        {"trailing point", u"5.", 5},
        {"second point stops", u"1.2.3", 1.2},
        {"point alone", u".", 0},
        {"sign then blank", u"- 5", 0},
        {"two signs", u"--5", 0},
        {"inner blank stops", u"1 2", 1},
        {"minus zero is zero", u"-0", 0},
        {"leading zeros", u"000123", 123},
        {"no full-width digits", u"１２", 0},
        {"time caption", u"09:05", 9},
        {"300 nines", Text(300, u'9'), 1e300},
        {"underflow is zero", u"0." + Text(400, u'0') + u"1", 0},
        {"30 digits, rounded", u"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const double result = Val(row.text);
        CHECK(result == row.value);
        CHECK_MESSAGE(!(std::signbit(result) && result == 0.0), "no negative zero");
    }
    CHECK(errorOf([] { Val(Text(400, u'9')); }) == Overflow);
}

TEST_CASE("CStr writes plain digits")
{
    struct Row {
        const char *name;
        double number;
        Text text;
    };
    const Row rows[] = {
        {"negative zero", -0.0, u"0"},
        {"counter 180", 180, u"180"},
        {"negative", -12, u"-12"},
        {"all digits of 2^70", 1180591620717411303424.0, u"1180591620717411303424"},
        {"shortest fraction", 0.1, u"0.1"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(CStr(row.number) == row.text);
    }
    CHECK(errorOf([] { CStr(NaN); }) == InvalidProcedureCall);
    CHECK(errorOf([] { CStr(Inf); }) == Overflow);
}

TEST_CASE("text pieces")
{
    enum Piece { L, R, M };
    struct Row {
        const char *name;
        Piece piece;
        Text text;
        int start; // Mid only
        int count;
        Text result;
        int error;
    };
    const Text header = u"Mon, 07 Dec 2026 14:04:45 GMT";
    const Row rows[] = {
        {"Left: five of caption", L, u"00:00:07", 0, 5, u"00:00", 0},
        {"Left: shorter text", L, u"00:0", 0, 5, u"00:0", 0},
        {"Left: zero count", L, u"abc", 0, 0, u"", 0},
        {"Left: negative count", L, u"abc", 0, -1, u"", 0},
        {"Right: seconds of caption", R, u":07", 0, 2, u"07", 0},
        {"Right: shorter text", R, u"7", 0, 2, u"7", 0},
        {"Right: zero count", R, u"abc", 0, 0, u"", 0},
        {"Right: negative count", R, u"abc", 0, -3, u"", 0},
        {"Mid: HTTP-date slice", M, header, 5, 21, u" 07 Dec 2026 14:04:45", 0},
        {"Mid: slice of short header", M, u"Mon, 07 Dec", 5, 21, u" 07 Dec", 0},
        {"Mid: slice of empty header", M, u"", 5, 21, u"", 0},
        {"Mid: start at end", M, u"abc", 3, 5, u"c", 0},
        {"Mid: default count is the rest", M, u"abcdef", 3, -1, u"cdef", 0},
        {"Mid: negative count", M, u"abc", 1, -2, u"", 0},
        {"Mid: start 0 rejected", M, u"abc", 0, 2, u"", InvalidProcedureCall},
        {"Mid: negative start rejected", M, u"abc", -1, 2, u"", InvalidProcedureCall},
        {"Mid: start 0 of empty rejected", M, u"", 0, 1, u"", InvalidProcedureCall},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Text result;
        const int error = errorOf([&] {
            result = row.piece == L   ? Left(row.text, row.count)
                     : row.piece == R ? Right(row.text, row.count)
                                      : Mid(row.text, row.start, row.count);
        });
        CHECK(error == row.error);
        CHECK(result == row.result);
        if (row.piece == M && row.count == -1)
            CHECK(Mid(row.text, row.start) == row.result);
    }
}

// ---- Repainting a caption ---------------------------------------------------

namespace
{
// A line of cells 10 pixels apart from `pen`, each inking its own 2..8 and
// `overhang` more on either side; a blank inks nothing.
std::vector<TextCell> cellsOf(const char16_t *line, int pen = 0, int overhang = 0)
{
    std::vector<TextCell> cells;
    for (; *line; ++line, pen += 10) {
        if (*line == u' ')
            cells.push_back({*line, pen, 0, 0});
        else
            cells.push_back({*line, pen, pen + 2 - overhang, pen + 8 + overhang});
    }
    return cells;
}
} // namespace

TEST_CASE("a caption change repaints the cells that differ")
{
    struct Row {
        const char *name;
        std::vector<TextCell> shown, next;
        ColumnSpan expected;
    };
    const Row rows[] = {
        {"the same caption", cellsOf(u"12:07"), cellsOf(u"12:07"), {}},
        {"a second", cellsOf(u"12:07"), cellsOf(u"12:08"), {42, 48}},
        {"a minute", cellsOf(u"12:59"), cellsOf(u"13:00"), {12, 48}},
        {"a digit more", cellsOf(u"9"), cellsOf(u"10"), {2, 18}},
        {"a digit less", cellsOf(u"10"), cellsOf(u"9"), {2, 18}},
        {"from nothing", {}, cellsOf(u"7"), {2, 8}},
        {"to nothing", cellsOf(u"12"), {}, {2, 18}},
        {"a blank becomes a digit", cellsOf(u" 1"), cellsOf(u"21"), {2, 8}},
        {"a digit becomes a blank", cellsOf(u"21"), cellsOf(u" 1"), {2, 8}},
        {"centred: every cell moves", cellsOf(u"9", 5), cellsOf(u"10"), {2, 18}},
        {"ink reaching into the neighbours",
         cellsOf(u"12:07", 0, 4),
         cellsOf(u"12:08", 0, 4),
         {38, 52}},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const ColumnSpan span = changedColumns(row.shown, row.next);
        CHECK(span == row.expected);
        CHECK(span.empty() == row.expected.empty());
    }
}

// ---- The PC's clock ----------------------------------------------------------

TEST_CASE("the PC's clock in a time zone")
{
    struct Row {
        const char *name;
        const char *tz;
        std::int64_t ms;
        CivilDateTime local;
        bool summerTime; // needs the zone's daylight-saving rules
    };
    const Row rows[] = {
        {"UTC", "UTC0", 1796652285123, {2026, 12, 7, 14, 4, 45, 123}, false},
        {"New York in winter, UTC-5", NewYork, 1796652285123, {2026, 12, 7, 9, 4, 45, 123}, false},
        {"New York, clocks gone forward", NewYork, 1772953200000, {2026, 3, 8, 3, 0, 0, 0}, true},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
#ifdef _WIN32
        // The C runtime takes only the offset from TZ for certain; with TZ
        // unset it follows the system's zone, rules included.
        if (row.summerTime) {
            MESSAGE("skipped on Windows: daylight-saving rules from TZ");
            continue;
        }
#endif
        const ZoneScope zone(row.tz);
        CHECK(civilText(localTimeOf(row.ms)) == civilText(row.local));
    }
}

// ---- Dates -------------------------------------------------------------------

TEST_CASE("Hour, Minute and Second")
{
    struct Row {
        const char *name;
        double serial;
        int hour, minute, second, error;
    };
    const double dec7 = Dec7th2026;
    const Row rows[] = {
        {"14:04:45", dec7 + timeOfDay(14, 4, 45), 14, 4, 45, 0},
        {"plus one third is 22:04:45", dec7 + timeOfDay(14, 4, 45) + 1.0 / 3, 22, 4, 45, 0},
        {"23:59:59", dec7 + timeOfDay(23, 59, 59), 23, 59, 59, 0},
        {"0.4 s before midnight rounds up", dec7 + 1 - 0.4 / 86400, 0, 0, 0, 0},
        {"0.6 s before midnight rounds down", dec7 + 1 - 0.6 / 86400, 23, 59, 59, 0},
        {"negative serial is day plus time", -1.25, 6, 0, 0, 0},
        {"beyond range", LastDay + 1, 0, 0, 0, Overflow},
        {"NaN", NaN, 0, 0, 0, Overflow},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const Date d{row.serial};
        CHECK(errorOf([&] { Hour(d); }) == row.error);
        CHECK(errorOf([&] { Minute(d); }) == row.error);
        CHECK(errorOf([&] { Second(d); }) == row.error);
        if (row.error == 0) {
            CHECK(Hour(d) == row.hour);
            CHECK(Minute(d) == row.minute);
            CHECK(Second(d) == row.second);
        }
    }
}

TEST_CASE("Format of a number")
{
    struct Row {
        const char *name;
        double number;
        Text pattern, text;
        int error;
    };
    const Row rows[] = {
        {"one digit", 7, u"00", u"07", 0},
        {"three digits", 123, u"00", u"123", 0},
        {"rounds down", 9.4, u"00", u"09", 0},
        {"rounds up", 9.6, u"00", u"10", 0},
        {"half away from zero", 2.5, u"00", u"03", 0},
        {"negative", -5, u"00", u"-05", 0},
        {"negative half", -2.5, u"00", u"-03", 0},
        {"small negative rounds to 00", -0.4, u"00", u"00", 0},
        {"large, no exponent", 1e15, u"00", u"1000000000000000", 0},
        {"NaN", NaN, u"00", u"", InvalidProcedureCall},
        {"pattern 000", 7, u"000", u"", InvalidProcedureCall},
        {"date pattern", 7, u"hh:mm:ss", u"", InvalidProcedureCall},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Text text;
        CHECK(errorOf([&] { text = Format(row.number, row.pattern); }) == row.error);
        CHECK(text == row.text);
    }
}

TEST_CASE("Format of a date")
{
    const LongDateScope longDate(chineseLongDate);
    struct Row {
        const char *name;
        double serial;
        Text pattern, text;
        int error;
    };
    const double dec7 = Dec7th2026;
    const double t = dec7 + timeOfDay(14, 4, 45);
    const Row rows[] = {
        {"hh is 24-hour", t, u"hh:mm:ss", u"14:04:45", 0},
        {"HH is 24-hour", t, u"HH:mm:ss", u"14:04:45", 0},
        {"hh morning two digits", dec7 + timeOfDay(9, 5, 7), u"hh:mm:ss", u"09:05:07", 0},
        {"full date and time", t, Full, u"2026-12-07 14:04:45", 0},
        {"full negative serial", -1.25, Full, u"1899-12-29 06:00:00", 0},
        {"full first day of range", FirstDay, Full, u"0100-01-01 00:00:00", 0},
        {"full last second of range", LastDay + timeOfDay(23, 59, 59), Full, u"9999-12-31 23:59:59",
         0},
        {"full rounds to next year", Jan1st2027 - 0.1 / 86400, Full, u"2027-01-01 00:00:00", 0},
        {"full rounds beyond range", LastDay + 1 - 0.1 / 86400, Full, u"", Overflow},
        {"full before range", FirstDay - 1, Full, u"", Overflow},
        {"long date beyond range", LastDay + 1, u"dddddd", u"", Overflow},
        {"pattern HH:MM:SS", t, u"HH:MM:SS", u"", InvalidProcedureCall},
        {"pattern dddd", t, u"dddd", u"", InvalidProcedureCall},
        {"unknown pattern beats range", NaN, u"mm", u"", InvalidProcedureCall},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Text text;
        CHECK(errorOf([&] { text = Format(Date{row.serial}, row.pattern); }) == row.error);
        CHECK(text == row.text);
    }
}

TEST_CASE("the long date comes from the installed formatter")
{
    struct Row {
        const char *name;
        double serial;
        Text text; // with the weekday, checked by hand against a calendar
    };
    const Row rows[] = {
        {"2026-12-07 Monday", Dec7th2026 + timeOfDay(22, 4, 45), u"2026年12月7日星期一"},
        {"rounded into the next day", Dec7th2026 + 0.9999999, u"2026年12月8日星期二"},
        {"negative serial, a Friday", -1.25, u"1899年12月29日星期五"},
        {"first day of range, a Friday", FirstDay, u"100年1月1日星期五"},
        {"last day of range, a Friday", LastDay + 0.5, u"9999年12月31日星期五"},
    };
    {
        const LongDateScope longDate(chineseLongDate);
        for (const Row &row : rows) {
            INFO(std::string(row.name));
            CHECK(Format(Date{row.serial}, u"dddddd") == row.text);
        }
    }
    CHECK(errorOf([] { Format(Date{Dec7th2026}, u"dddddd"); }) == InvalidProcedureCall);
}

// Where the system's date formatting ends (before 1601 on Windows), the long
// date is written after the locale's picture and names.
TEST_CASE("the long date after a locale's picture, for any year")
{
    const DateNames en{
        {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August",
         u"September", u"October", u"November", u"December"},
        {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov",
         u"Dec"},
        {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"},
        {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"}};
    struct Row {
        const char *name;
        Text picture;
        CivilDate date;
        Text text;
    };
    const Text longDate = u"dddd, MMMM d, yyyy";
    const CivilDate mar5{2026, 3, 5, 4}; // a Thursday
    const Row rows[] = {
        {"first of the range", longDate, {100, 1, 1, 5}, u"Friday, January 1, 0100"},
        {"a Sunday in December", longDate, {1600, 12, 31, 0}, u"Sunday, December 31, 1600"},
        {"Chinese in quotes", u"yyyy'年'M'月'd'日'", {9999, 12, 31, 5}, u"9999年12月31日"},
        {"day widths", u"d dd ddd dddd", mar5, u"5 05 Thu Thursday"},
        {"month widths", u"M MM MMM MMMM", mar5, u"3 03 Mar March"},
        {"year widths", u"y yy yyyy", mar5, u"26 26 2026"},
        {"quoted letters", u"'d''M' yyyy", mar5, u"d'M 2026"},
        {"quotes alone", u"''dd''", mar5, u"'05'"},
        {"era marks write nothing", u"gg yyyy", mar5, u" 2026"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(formatDatePicture(row.picture, row.date, en) == row.text);
    }
}

TEST_CASE("CDate accepts")
{
    struct Row {
        std::string name;
        Text text, dateTime;
        double serial;
    };
    const double t = Dec7th2026 + timeOfDay(14, 4, 45);
    const Text dec7 = u"2026-12-07 14:04:45";
    std::vector<Row> rows = {
        {"good slice", u" 07 Dec 2026 14:04:45", dec7, t},
        {"upper-case month", u" 07 DEC 2026 14:04:45", dec7, t},
        {"trailing blanks", u" 07 Dec 2026 14:04:45   ", dec7, t},
        {"tabs around", u"\t07 Dec 2026 14:04:45\t", dec7, t},
        {"day 31 of December", u" 31 Dec 2026 23:59:59", u"2026-12-31 23:59:59",
         46387 + timeOfDay(23, 59, 59)},
        {"Feb 29 leap year", u" 29 Feb 2028 00:00:00", u"2028-02-29 00:00:00", Feb29th2028},
        {"Feb 29 year 2000", u" 29 Feb 2000 12:00:00", u"2000-02-29 12:00:00", 36585.5},
        {"before the epoch", u" 29 Dec 1899 06:00:00", u"1899-12-29 06:00:00", -1.25},
        {"first day of range", u" 01 Jan 0100 00:00:00", u"0100-01-01 00:00:00", FirstDay},
        {"last second of range", u" 31 Dec 9999 23:59:59", u"9999-12-31 23:59:59",
         LastDay + timeOfDay(23, 59, 59)},
        {"23:59:59", u"23:59:59", u"1899-12-30 23:59:59", timeOfDay(23, 59, 59)},
        {"holder form 09:05", u"09:05", u"1899-12-30 09:05:00", timeOfDay(9, 5, 0)},
        {"time with blanks", u"  22:04:45 ", u"1899-12-30 22:04:45", timeOfDay(22, 4, 45)},
    };
    // The 15th of each month of 2026.
    const char16_t *const months[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                        u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    for (int m = 0; m < 12; ++m) {
        rows.push_back({"month " + toUtf8(months[m]), u" 15 " + Text(months[m]) + u" 2026 00:00:00",
                        u"2026-" + Format(double(m + 1), u"00") + u"-15 00:00:00",
                        fromCivil({2026, m + 1, 15}).serial});
    }
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Date d;
        REQUIRE(errorOf([&] { d = CDate(row.text); }) == 0);
        CHECK(d.serial == row.serial);
        CHECK(Format(d, Full) == row.dateTime);
    }
}

TEST_CASE("CDate rejects")
{
    struct Row {
        const char *name;
        Text text;
    };
    const Row rows[] = {
        {"blanks only", u"   "},
        {"bad month", u" 07 Dez 2026 14:04:45"},
        {"day 00", u" 00 Dec 2026 14:04:45"},
        {"April 31", u" 31 Apr 2026 14:04:45"},
        {"Feb 29 non-leap", u" 29 Feb 2026 12:00:00"},
        {"Feb 29 1900 not leap", u" 29 Feb 1900 12:00:00"},
        {"hour 24", u" 07 Dec 2026 24:00:00"},
        {"minute 60", u" 07 Dec 2026 14:60:00"},
        {"second 60", u" 07 Dec 2026 23:59:60"},
        {"year 0099", u" 31 Dec 0099 23:59:59"},
        {"one-digit day", u" 7 Dec 2026 14:04:45"},
        {"hyphen before the month", u" 07-Dec 2026 14:04:45"},
        {"hyphen before the year", u" 07 Dec-2026 14:04:45"},
        {"T before the time", u" 07 Dec 2026T14:04:45"},
        {"junk after", u" 07 Dec 2026 14:04:45 GMT"},
        {"slice without seconds", u" 07 Dec 2026 14:04"},
        {"dot separator", u"12.34"},
        {"full-width digits", u"１２:３４"},
        {"non-ASCII month letter", u" 07 ſep 2026 14:04:45"},
        {"AM/PM time", u"02:04 PM"},
        {"combo prompt text", u"请选择服务器"},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(errorOf([&] { CDate(row.text); }) == TypeMismatch);
    }
}

TEST_CASE("DateAdd")
{
    struct Row {
        const char *name;
        double serial, days;
        Text dateTime;
        int error;
    };
    const double t = Dec7th2026 + timeOfDay(14, 4, 45);
    const Row rows[] = {
        {"one third is eight hours", t, 1.0 / 3, u"2026-12-07 22:04:45", 0},
        {"16:00 plus a third is the next midnight", Dec7th2026 + timeOfDay(16, 0, 0), 1.0 / 3,
         u"2026-12-08 00:00:00", 0},
        {"into New York's repeated hour", Dec7th2026 - 37 + timeOfDay(17, 30, 0), 1.0 / 3,
         u"2026-11-01 01:30:00", 0},
        {"minus one day", t, -1, u"2026-12-06 14:04:45", 0},
        {"across the epoch backwards", 0.25, -1, u"1899-12-29 06:00:00", 0},
        {"across the epoch forwards", -1.25, 1, u"1899-12-30 06:00:00", 0},
        {"negative serial plus a third", -1.25, 1.0 / 3, u"1899-12-29 14:00:00", 0},
        // Sums that land a hair below a negative whole day.
        {"28 Dec 1899 16:00 plus a third", -2 - 2.0 / 3, 1.0 / 3, u"1899-12-29 00:00:00", 0},
        {"a hair below the epoch", 0, -1e-17, u"1899-12-30 00:00:00", 0},
        {"to last second of range", LastDay + timeOfDay(15, 59, 59), 1.0 / 3,
         u"9999-12-31 23:59:59", 0},
        {"past end of range", LastDay + timeOfDay(16, 0, 0), 1.0 / 3, u"", Overflow},
        {"before start of range", FirstDay, -1.0 / 3, u"", Overflow},
        {"NaN days", t, NaN, u"", Overflow},
        {"start out of range", 3e6, -1e6, u"", Overflow},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        Date sum;
        CHECK(errorOf([&] { sum = DateAdd(Date{row.serial}, row.days); }) == row.error);
        if (row.error == 0)
            CHECK(Format(sum, Full) == row.dateTime);
    }
}

TEST_CASE("civil time to serial and back")
{
    struct Row {
        const char *name;
        CivilDateTime civil;
        double serial;
    };
    const Row rows[] = {
        {"milliseconds", {2026, 12, 7, 14, 4, 45, 123}, Dec7th2026 + 50685123 / 86400000.0},
        {"before the epoch", {1899, 12, 29, 6, 0, 0, 0}, -1.25},
        {"first day of range", {100, 1, 1, 0, 0, 0, 0}, FirstDay},
        {"last ms of range", {9999, 12, 31, 23, 59, 59, 999}, LastDay + 86399999 / 86400000.0},
        {"leap day", {2028, 2, 29, 0, 0, 0, 0}, Feb29th2028},
        // Not a New York wall time, but no zone is involved.
        {"New York spring-forward gap", {2026, 3, 8, 2, 30, 0, 0}, 46089 + timeOfDay(2, 30, 0)},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        const Date d = fromCivil(row.civil);
        CHECK(d.serial == row.serial);
        CHECK(civilText(toCivil(d)) == civilText(row.civil));
        const CivilDateTime midnight{row.civil.year, row.civil.month, row.civil.day};
        const CivilDate day = civilDateOf(fromCivil(midnight));
        CHECK(civilText({day.year, day.month, day.day}) == civilText(midnight));
    }
    CHECK(civilDateOf(Date{Dec7th2026}).weekday == 1);
    CHECK(civilDateOf(Date{-1.25}).weekday == 5);

    struct Reject {
        const char *name;
        CivilDateTime civil;
        int error;
    };
    const Reject rejects[] = {
        {"April 31", {2026, 4, 31, 12, 0, 0, 0}, InvalidProcedureCall},
        {"month 13", {2026, 13, 1, 0, 0, 0, 0}, InvalidProcedureCall},
        {"month 0", {2026, 0, 1, 0, 0, 0, 0}, InvalidProcedureCall},
        {"hour 24", {2026, 12, 7, 24, 0, 0, 0}, InvalidProcedureCall},
        {"minute 60", {2026, 12, 7, 0, 60, 0, 0}, InvalidProcedureCall},
        {"second 60", {2026, 12, 7, 0, 0, 60, 0}, InvalidProcedureCall},
        {"millisecond 1000", {2026, 12, 7, 0, 0, 0, 1000}, InvalidProcedureCall},
        {"negative millisecond", {2026, 12, 7, 0, 0, 0, -1}, InvalidProcedureCall},
        {"year 99", {99, 12, 31, 23, 0, 0, 0}, Overflow},
        {"year 10000", {10000, 1, 1, 0, 0, 0, 0}, Overflow},
    };
    for (const Reject &row : rejects) {
        INFO(std::string(row.name));
        CHECK(errorOf([&] { fromCivil(row.civil); }) == row.error);
    }
    CHECK(errorOf([] { toCivil(Date{LastDay + 1}); }) == Overflow);
}

// ---- Placement ---------------------------------------------------------------

TEST_CASE("the date display's place")
{
    struct Row {
        const char *name;
        double width, left;
    };
    // From 6000 in a window 15360 wide a caption may be 15360 - 120 - 6000 wide.
    const Row rows[] = {
        {"fits", 5000, 6000},
        {"fits to the margin", 9240, 6000},
        {"overflows by a bit", 9300, 5940},
        {"wider than the window", 16000, 0},
    };
    for (const Row &row : rows) {
        INFO(std::string(row.name));
        CHECK(placement::dateDisplayLeft(6000, row.width, 15360) == row.left);
    }
}
