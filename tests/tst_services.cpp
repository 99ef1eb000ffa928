// Data-driven tests of the platform's date, text and colour services, as the
// clocks and the network time query use them.
//
// CTest runs this executable twice: as tst_services in the plain environment
// (LANG=C.UTF-8, the machine's time zone) and as tst_services_newyork_zh_CN
// under TZ=America/New_York and LANG/LC_ALL=zh_CN.UTF-8. The conversion tables
// must give the same results in both; the tests that need the zh_CN system
// locale or the New York time zone skip, with a message, in the other run.

#include "clock.h"
#include "colour.h"
#include "datetime.h"
#include "runtimeerror.h"
#include "text.h"

#include <QLocale>
#include <QTimeZone>
#include <QtTest>

#include <cmath>
#include <ctime>
#include <limits>
#include <optional>

using namespace platform;

namespace
{

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The error number a call raises, 0 when it raises none.
template <class Call> int errorOf(Call call)
{
    try {
        call();
    } catch (const RuntimeError &error) {
        return error.number();
    }
    return 0;
}

// The serial of a calendar date at midnight, computed independently of the
// code under test (only for dates on or after 1899-12-30).
double serialOf(int year, int month, int day)
{
    return double(QDate(year, month, day).toJulianDay() - QDate(1899, 12, 30).toJulianDay());
}

double timeOfDay(int hour, int minute, int second)
{
    return (hour * 3600 + minute * 60 + second) / 86400.0;
}

// The network time query's conversion: characters 5 to 25 of the
// header, the text-to-date conversion, plus one third of a day, formatted.
QString networkTimeString(const QString &header)
{
    const Date converted = CDate(Mid(header, 5, 21));
    return Format(DateAdd(converted, 1.0 / 3), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void tzsetNow()
{
#ifdef Q_OS_WIN
    _tzset();
#else
    tzset();
#endif
}

// Sets TZ and the default QLocale for one scope, restoring both afterwards.
class ZoneAndLocale
{
  public:
    ZoneAndLocale(const QByteArray &tz, const QLocale &locale)
        : m_hadTz(qEnvironmentVariableIsSet("TZ")), m_tz(qgetenv("TZ")), m_locale(QLocale())
    {
        qputenv("TZ", tz);
        tzsetNow();
        QLocale::setDefault(locale);
    }
    ~ZoneAndLocale()
    {
        if (m_hadTz)
            qputenv("TZ", m_tz);
        else
            qunsetenv("TZ");
        tzsetNow();
        QLocale::setDefault(m_locale);
    }
    ZoneAndLocale(const ZoneAndLocale &) = delete;
    ZoneAndLocale &operator=(const ZoneAndLocale &) = delete;

  private:
    bool m_hadTz;
    QByteArray m_tz;
    QLocale m_locale;
};

bool systemZoneIsNewYork()
{
    return QTimeZone::systemTimeZoneId() == "America/New_York" ||
           qgetenv("TZ") == "America/New_York";
}

} // namespace

class TestServices : public QObject
{
    Q_OBJECT

  private slots:
    void cleanup();

    // Run-time errors
    void checkedValue_data();
    void checkedValue();
    void divideValues_data();
    void divideValues();
    void runtimeErrorText_data();
    void runtimeErrorText();

    // Colours
    void qbColorPalette_data();
    void qbColorPalette();
    void qbColorRejects_data();
    void qbColorRejects();
    void rgbWord_data();
    void rgbWord();
    void colourToQColor_data();
    void colourToQColor();

    // Text
    void valLeadingNumber_data();
    void valLeadingNumber();
    void valLimits();
    void cstrWholeNumber_data();
    void cstrWholeNumber();
    void cstrRejects();
    void leftPiece_data();
    void leftPiece();
    void rightPiece_data();
    void rightPiece();
    void midPiece_data();
    void midPiece();

    // The PC's clock
    void systemClockFixedAndReset();
    void nowFollowsSystemClock();

    // Dates
    void hourMinuteSecond_data();
    void hourMinuteSecond();
    void formatNumber_data();
    void formatNumber();
    void formatDate_data();
    void formatDate();
    void longDateIsSystemLocaleLongFormat_data();
    void longDateIsSystemLocaleLongFormat();
    void longDateInChinese_data();
    void longDateInChinese();
    void cdateAccepts_data();
    void cdateAccepts();
    void cdateRejects_data();
    void cdateRejects();
    void dateAdd_data();
    void dateAdd();
    void dateTimeConversion_data();
    void dateTimeConversion();
    void dateTimeConversionRejects_data();
    void dateTimeConversionRejects();
    void httpDateConversion_data();
    void httpDateConversion();
    void httpDateConversionInNewYorkZhCn_data();
    void httpDateConversionInNewYorkZhCn();
    void springForwardGapWallTime();
};

void TestServices::cleanup()
{
    SystemClock::reset();
}

// ---- Run-time errors ---------------------------------------------------------

void TestServices::checkedValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("error");

    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("fraction") << 0.25 << 0;
    QTest::newRow("negative") << -1234.5 << 0;
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << 0;
    QTest::newRow("NaN is invalid call") << NaN << int(InvalidProcedureCall);
    QTest::newRow("+inf is overflow") << Inf << int(Overflow);
    QTest::newRow("-inf is overflow") << -Inf << int(Overflow);
}

void TestServices::checkedValue()
{
    QFETCH(double, value);
    QFETCH(int, error);

    QCOMPARE(errorOf([&] { checked(value); }), error);
    if (error == 0)
        QCOMPARE(checked(value), value);
}

void TestServices::divideValues_data()
{
    QTest::addColumn<double>("numerator");
    QTest::addColumn<double>("denominator");
    QTest::addColumn<double>("quotient");
    QTest::addColumn<int>("error");

    QTest::newRow("one third") << 1.0 << 3.0 << 1.0 / 3 << 0;
    QTest::newRow("negative") << -7.0 << 2.0 << -3.5 << 0;
    QTest::newRow("zero numerator") << 0.0 << 5.0 << 0.0 << 0;
    QTest::newRow("by zero") << 1.0 << 0.0 << 0.0 << int(DivisionByZero);
    QTest::newRow("by negative zero") << 1.0 << -0.0 << 0.0 << int(DivisionByZero);
    QTest::newRow("zero by zero") << 0.0 << 0.0 << 0.0 << int(DivisionByZero);
    QTest::newRow("quotient overflows") << 1e308 << 1e-10 << 0.0 << int(Overflow);
    QTest::newRow("NaN numerator") << NaN << 2.0 << 0.0 << int(InvalidProcedureCall);
    QTest::newRow("inf by inf") << Inf << Inf << 0.0 << int(InvalidProcedureCall);
}

void TestServices::divideValues()
{
    QFETCH(double, numerator);
    QFETCH(double, denominator);
    QFETCH(double, quotient);
    QFETCH(int, error);

    QCOMPARE(errorOf([&] { divide(numerator, denominator); }), error);
    if (error == 0)
        QCOMPARE(divide(numerator, denominator), quotient);
}

void TestServices::runtimeErrorText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");

    QTest::newRow("5 invalid procedure call")
        << int(InvalidProcedureCall) << QStringLiteral("无效的过程调用或参数");
    QTest::newRow("6 overflow") << int(Overflow) << QStringLiteral("溢出");
    QTest::newRow("11 division by zero") << int(DivisionByZero) << QStringLiteral("除数为零");
    QTest::newRow("13 type mismatch") << int(TypeMismatch) << QStringLiteral("类型不匹配");
    QTest::newRow("380 invalid property value")
        << int(InvalidPropertyValue) << QStringLiteral("无效的属性值");
}

void TestServices::runtimeErrorText()
{
    QFETCH(int, number);
    QFETCH(QString, description);

    QCOMPARE(errorDescription(number), description);
    const RuntimeError error(number, description);
    QCOMPARE(error.number(), number);
    QCOMPARE(error.description(), description);
    QCOMPARE(QByteArray(error.what()), description.toUtf8());

    // The services raise their errors with the standard description.
    if (number == InvalidPropertyValue)
        return; // raised by the controls, not by these services
    QString raised;
    try {
        switch (number) {
        case InvalidProcedureCall:
            checked(NaN);
            break;
        case Overflow:
            checked(Inf);
            break;
        case DivisionByZero:
            divide(1, 0);
            break;
        case TypeMismatch:
            CDate(QStringLiteral("x"));
            break;
        }
    } catch (const RuntimeError &e) {
        raised = e.description();
    }
    QCOMPARE(raised, description);
}

// ---- Colours -----------------------------------------------------------------

void TestServices::qbColorPalette_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<uint>("word");

    QTest::newRow("0 black") << 0 << 0 << 0 << 0 << 0x000000u;
    QTest::newRow("1 navy") << 1 << 0 << 0 << 128 << 0x800000u;
    QTest::newRow("2 green") << 2 << 0 << 128 << 0 << 0x008000u;
    QTest::newRow("3 teal") << 3 << 0 << 128 << 128 << 0x808000u;
    QTest::newRow("4 maroon") << 4 << 128 << 0 << 0 << 0x000080u;
    QTest::newRow("5 purple") << 5 << 128 << 0 << 128 << 0x800080u;
    QTest::newRow("6 olive, network-mode colour") << 6 << 128 << 128 << 0 << 0x008080u;
    QTest::newRow("7 silver") << 7 << 192 << 192 << 192 << 0xC0C0C0u;
    QTest::newRow("8 grey") << 8 << 128 << 128 << 128 << 0x808080u;
    QTest::newRow("9 blue") << 9 << 0 << 0 << 255 << 0xFF0000u;
    QTest::newRow("10 lime") << 10 << 0 << 255 << 0 << 0x00FF00u;
    QTest::newRow("11 cyan") << 11 << 0 << 255 << 255 << 0xFFFF00u;
    QTest::newRow("12 red") << 12 << 255 << 0 << 0 << 0x0000FFu;
    QTest::newRow("13 magenta") << 13 << 255 << 0 << 255 << 0xFF00FFu;
    QTest::newRow("14 yellow") << 14 << 255 << 255 << 0 << 0x00FFFFu;
    QTest::newRow("15 white") << 15 << 255 << 255 << 255 << 0xFFFFFFu;
}

void TestServices::qbColorPalette()
{
    QFETCH(int, index);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(uint, word);

    QCOMPARE(QBColor(index), ColourWord(word));
    QCOMPARE(QBColor(index), Rgb(red, green, blue));
    QCOMPARE(toQColor(QBColor(index)), QColor(red, green, blue));
}

void TestServices::qbColorRejects_data()
{
    QTest::addColumn<int>("index");

    QTest::newRow("minus one") << -1;
    QTest::newRow("sixteen") << 16;
    QTest::newRow("hundred") << 100;
    QTest::newRow("int min") << std::numeric_limits<int>::min();
    QTest::newRow("int max") << std::numeric_limits<int>::max();
}

void TestServices::qbColorRejects()
{
    QFETCH(int, index);

    QCOMPARE(errorOf([&] { QBColor(index); }), int(InvalidProcedureCall));
}

void TestServices::rgbWord_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::addColumn<uint>("word");

    QTest::newRow("black") << 0 << 0 << 0 << 0u;
    QTest::newRow("local-mode colour 16576") << 192 << 64 << 0 << 16576u;
    QTest::newRow("red in the low byte") << 255 << 0 << 0 << 0x0000FFu;
    QTest::newRow("green in the middle byte") << 0 << 255 << 0 << 0x00FF00u;
    QTest::newRow("blue in the high byte") << 0 << 0 << 255 << 0xFF0000u;
    QTest::newRow("mixed") << 0x12 << 0x34 << 0x56 << 0x563412u;
    QTest::newRow("above 255 clamped") << 300 << 256 << 1000 << 0xFFFFFFu;
    QTest::newRow("below 0 clamped") << -1 << -255 << -1000 << 0u;
}

void TestServices::rgbWord()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    QFETCH(uint, word);

    QCOMPARE(Rgb(red, green, blue), ColourWord(word));
}

void TestServices::colourToQColor_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("local-mode colour") << 16576u << QColor(192, 64, 0);
    QTest::newRow("network-mode colour") << 0x008080u << QColor(128, 128, 0);
    QTest::newRow("white") << 0xFFFFFFu << QColor(255, 255, 255);
    QTest::newRow("high byte ignored") << 0x80563412u << QColor(0x12, 0x34, 0x56);
}

void TestServices::colourToQColor()
{
    QFETCH(uint, word);
    QFETCH(QColor, colour);

    QCOMPARE(toQColor(word), colour);
    QCOMPARE(toQColor(word).alpha(), 255);
}

// ---- Text --------------------------------------------------------------------

void TestServices::valLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("blanks only") << QStringLiteral("   ") << 0.0;
    QTest::newRow("two digits") << QStringLiteral("07") << 7.0;
    QTest::newRow("counter 179") << QStringLiteral("179") << 179.0;
    QTest::newRow("seconds caption") << QStringLiteral(":07") << 0.0;
    QTest::newRow("leading blanks then junk") << QStringLiteral("  12abc") << 12.0;
    QTest::newRow("tab and line feed") << QStringLiteral("\t\n 42") << 42.0;
    QTest::newRow("negative fraction then junk") << QStringLiteral("-3.5x") << -3.5;
    QTest::newRow("plus sign") << QStringLiteral("+8") << 8.0;
    QTest::newRow("fraction only") << QStringLiteral(".5") << 0.5;
    QTest::newRow("negative fraction only") << QStringLiteral("-.25") << -0.25;
    QTest::newRow("trailing point") << QStringLiteral("5.") << 5.0;
    QTest::newRow("second point stops") << QStringLiteral("1.2.3") << 1.2;
    QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
    QTest::newRow("sign then blank") << QStringLiteral("- 5") << 0.0;
    QTest::newRow("two signs") << QStringLiteral("--5") << 0.0;
    QTest::newRow("inner blank stops") << QStringLiteral("1 2") << 1.0;
    QTest::newRow("minus zero is zero") << QStringLiteral("-0") << 0.0;
    QTest::newRow("leading zeros") << QStringLiteral("000123") << 123.0;
    QTest::newRow("no exponent") << QStringLiteral("1e3") << 1.0;
    QTest::newRow("no hexadecimal") << QStringLiteral("&H10") << 0.0;
    QTest::newRow("no 0x") << QStringLiteral("0x10") << 0.0;
    QTest::newRow("no inf") << QStringLiteral("inf") << 0.0;
    QTest::newRow("no nan") << QStringLiteral("nan") << 0.0;
    QTest::newRow("no decimal comma") << QStringLiteral("3,5") << 3.0;
    QTest::newRow("no full-width digits") << QStringLiteral("１２") << 0.0;
    QTest::newRow("letters") << QStringLiteral("abc") << 0.0;
    QTest::newRow("time caption") << QStringLiteral("09:05") << 9.0;
}

void TestServices::valLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);

    const double result = Val(text);
    QCOMPARE(result, value);
    QVERIFY2(!std::signbit(result) || result != 0.0, "no negative zero");
}

void TestServices::valLimits()
{
    QCOMPARE(errorOf([] { Val(QString(400, QLatin1Char('9'))); }), int(Overflow));
    QCOMPARE(Val(QString(300, QLatin1Char('9'))), 1e300);
    QCOMPARE(Val(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1')), 0.0);
    QCOMPARE(Val(QStringLiteral("123456789012345678901234567890")), 1.2345678901234568e29);
}

void TestServices::cstrWholeNumber_data()
{
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0 << QStringLiteral("0");
    QTest::newRow("negative zero") << -0.0 << QStringLiteral("0");
    QTest::newRow("one") << 1.0 << QStringLiteral("1");
    QTest::newRow("counter 180") << 180.0 << QStringLiteral("180");
    QTest::newRow("negative") << -12.0 << QStringLiteral("-12");
    QTest::newRow("large, no exponent") << 1e15 << QStringLiteral("1000000000000000");
    QTest::newRow("fraction kept") << 2.5 << QStringLiteral("2.5");
    QTest::newRow("Val result round trip")
        << Val(QStringLiteral("179")) + 1 << QStringLiteral("180");
}

void TestServices::cstrWholeNumber()
{
    QFETCH(double, number);
    QFETCH(QString, text);

    QCOMPARE(CStr(number), text);
}

void TestServices::cstrRejects()
{
    QCOMPARE(errorOf([] { CStr(NaN); }), int(InvalidProcedureCall));
    QCOMPARE(errorOf([] { CStr(Inf); }), int(Overflow));
    QCOMPARE(errorOf([] { CStr(-Inf); }), int(Overflow));
}

void TestServices::leftPiece_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("piece");

    QTest::newRow("five of caption") << QStringLiteral("00:00:07") << 5 << QStringLiteral("00:00");
    QTest::newRow("shorter text") << QStringLiteral("00:0") << 5 << QStringLiteral("00:0");
    QTest::newRow("exact length") << QStringLiteral("12:34") << 5 << QStringLiteral("12:34");
    QTest::newRow("empty text") << QString() << 5 << QString();
    QTest::newRow("zero count") << QStringLiteral("abc") << 0 << QString();
    QTest::newRow("negative count") << QStringLiteral("abc") << -1 << QString();
    QTest::newRow("chinese") << QStringLiteral("提示文字") << 2 << QStringLiteral("提示");
}

void TestServices::leftPiece()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, piece);

    QCOMPARE(Left(text, count), piece);
}

void TestServices::rightPiece_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("piece");

    QTest::newRow("seconds of caption") << QStringLiteral(":07") << 2 << QStringLiteral("07");
    QTest::newRow("time of network string")
        << QStringLiteral("2026-12-07 22:04:45") << 8 << QStringLiteral("22:04:45");
    QTest::newRow("shorter text") << QStringLiteral("7") << 2 << QStringLiteral("7");
    QTest::newRow("empty text") << QString() << 2 << QString();
    QTest::newRow("zero count") << QStringLiteral("abc") << 0 << QString();
    QTest::newRow("negative count") << QStringLiteral("abc") << -3 << QString();
}

void TestServices::rightPiece()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QString, piece);

    QCOMPARE(Right(text, count), piece);
}

void TestServices::midPiece_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("error");

    const QString header = QStringLiteral("Mon, 07 Dec 2026 14:04:45 GMT");
    QTest::newRow("HTTP-date slice")
        << header << 5 << 21 << QStringLiteral(" 07 Dec 2026 14:04:45") << 0;
    QTest::newRow("slice of short header")
        << QStringLiteral("Mon, 07 Dec") << 5 << 21 << QStringLiteral(" 07 Dec") << 0;
    QTest::newRow("slice of empty header") << QString() << 5 << 21 << QString() << 0;
    QTest::newRow("start at end") << QStringLiteral("abc") << 3 << 5 << QStringLiteral("c") << 0;
    QTest::newRow("start past end") << QStringLiteral("abc") << 4 << 1 << QString() << 0;
    QTest::newRow("start far past end") << QStringLiteral("abc") << 100 << 1 << QString() << 0;
    QTest::newRow("default count is the rest")
        << QStringLiteral("abcdef") << 3 << -1 << QStringLiteral("cdef") << 0;
    QTest::newRow("zero count") << QStringLiteral("abc") << 1 << 0 << QString() << 0;
    QTest::newRow("negative count") << QStringLiteral("abc") << 1 << -2 << QString() << 0;
    QTest::newRow("start 1") << QStringLiteral("abc") << 1 << 2 << QStringLiteral("ab") << 0;
    QTest::newRow("start 0 rejected")
        << QStringLiteral("abc") << 0 << 2 << QString() << int(InvalidProcedureCall);
    QTest::newRow("negative start rejected")
        << QStringLiteral("abc") << -1 << 2 << QString() << int(InvalidProcedureCall);
    QTest::newRow("start 0 of empty rejected")
        << QString() << 0 << 1 << QString() << int(InvalidProcedureCall);
}

void TestServices::midPiece()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QString, piece);
    QFETCH(int, error);

    QCOMPARE(errorOf([&] { Mid(text, start, count); }), error);
    if (error == 0)
        QCOMPARE(Mid(text, start, count), piece);
    if (count == -1 && error == 0)
        QCOMPARE(Mid(text, start), piece);
}

// ---- The PC's clock ----------------------------------------------------------

void TestServices::systemClockFixedAndReset()
{
    const QDateTime fixed(QDate(2026, 12, 7), QTime(23, 59, 59, 500));
    SystemClock::setFixed(fixed);
    QCOMPARE(SystemClock::now(), fixed);
    QCOMPARE(SystemClock::now(), fixed); // it stays fixed

    SystemClock::reset();
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = SystemClock::now();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(before <= now);
    QVERIFY(now <= after);
}

void TestServices::nowFollowsSystemClock()
{
    SystemClock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(14, 4, 45)));
    const Date now = Now();
    QCOMPARE(now.serial, 46363 + timeOfDay(14, 4, 45));
    QCOMPARE(Hour(now), 14);
    QCOMPARE(Minute(now), 4);
    QCOMPARE(Second(now), 45);
    QCOMPARE(Format(now, QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             QStringLiteral("2026-12-07 14:04:45"));

    // Whole seconds: the display never runs ahead of the PC's clock.
    SystemClock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 600)));
    QCOMPARE(Now().serial, 46363 + timeOfDay(23, 59, 59));
    QCOMPARE(Format(Now(), QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             QStringLiteral("2026-12-07 23:59:59"));
    QCOMPARE(Format(Now(), QStringLiteral("dddddd")),
             QLocale::system().toString(QDate(2026, 12, 7), QLocale::LongFormat));

    SystemClock::reset();
    const QDateTime real = QDateTime::currentDateTime();
    const double difference = std::fabs(Now().serial - fromDateTime(real).serial);
    QVERIFY2(difference < 60.0 / 86400, "Now() follows the real clock after reset()");
}

// ---- Dates -------------------------------------------------------------------

void TestServices::hourMinuteSecond_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("error");

    const double dec7 = 46363;
    QTest::newRow("epoch midnight") << 0.0 << 0 << 0 << 0 << 0;
    QTest::newRow("noon") << 0.5 << 12 << 0 << 0 << 0;
    QTest::newRow("14:04:45") << dec7 + timeOfDay(14, 4, 45) << 14 << 4 << 45 << 0;
    QTest::newRow("plus one third is 22:04:45")
        << dec7 + timeOfDay(14, 4, 45) + 1.0 / 3 << 22 << 4 << 45 << 0;
    QTest::newRow("one third is 08:00:00") << 1.0 / 3 << 8 << 0 << 0 << 0;
    QTest::newRow("two thirds is 16:00:00") << 2.0 / 3 << 16 << 0 << 0 << 0;
    QTest::newRow("23:59:59") << dec7 + timeOfDay(23, 59, 59) << 23 << 59 << 59 << 0;
    QTest::newRow("just below midnight rounds up") << dec7 + 0.9999999 << 0 << 0 << 0 << 0;
    QTest::newRow("0.4 s before midnight rounds up") << dec7 + 1 - 0.4 / 86400 << 0 << 0 << 0 << 0;
    QTest::newRow("0.6 s before midnight rounds down")
        << dec7 + 1 - 0.6 / 86400 << 23 << 59 << 59 << 0;
    QTest::newRow("0.4 s after a second rounds down")
        << dec7 + (3600 * 9 + 5 * 60 + 7.4) / 86400 << 9 << 5 << 7 << 0;
    QTest::newRow("0.6 s after a second rounds up")
        << dec7 + (3600 * 9 + 5 * 60 + 7.6) / 86400 << 9 << 5 << 8 << 0;
    QTest::newRow("1 ms before a minute rounds up")
        << dec7 + (3600 * 9 + 5 * 60 + 59.999) / 86400 << 9 << 6 << 0 << 0;
    QTest::newRow("negative serial is day plus time") << -1.25 << 6 << 0 << 0 << 0;
    QTest::newRow("small negative serial") << -0.75 << 18 << 0 << 0 << 0;
    QTest::newRow("first day of range") << -657434.0 << 0 << 0 << 0 << 0;
    QTest::newRow("last second of range") << 2958465 + timeOfDay(23, 59, 59) << 23 << 59 << 59 << 0;
    QTest::newRow("beyond range") << 2958466.0 << 0 << 0 << 0 << int(Overflow);
    QTest::newRow("before range") << -657435.0 << 0 << 0 << 0 << int(Overflow);
    QTest::newRow("huge") << 1e300 << 0 << 0 << 0 << int(Overflow);
    QTest::newRow("infinity") << Inf << 0 << 0 << 0 << int(Overflow);
    QTest::newRow("NaN") << NaN << 0 << 0 << 0 << int(Overflow);
}

void TestServices::hourMinuteSecond()
{
    QFETCH(double, serial);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(int, error);

    const Date d{serial};
    QCOMPARE(errorOf([&] { Hour(d); }), error);
    QCOMPARE(errorOf([&] { Minute(d); }), error);
    QCOMPARE(errorOf([&] { Second(d); }), error);
    if (error == 0) {
        QCOMPARE(Hour(d), hour);
        QCOMPARE(Minute(d), minute);
        QCOMPARE(Second(d), second);
    }
}

void TestServices::formatNumber_data()
{
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");

    const QString two = QStringLiteral("00");
    QTest::newRow("zero") << 0.0 << two << QStringLiteral("00") << 0;
    QTest::newRow("one digit") << 7.0 << two << QStringLiteral("07") << 0;
    QTest::newRow("nine") << 9.0 << two << QStringLiteral("09") << 0;
    QTest::newRow("ten") << 10.0 << two << QStringLiteral("10") << 0;
    QTest::newRow("fifty-nine") << 59.0 << two << QStringLiteral("59") << 0;
    QTest::newRow("three digits") << 123.0 << two << QStringLiteral("123") << 0;
    QTest::newRow("rounds down") << 9.4 << two << QStringLiteral("09") << 0;
    QTest::newRow("rounds up") << 9.6 << two << QStringLiteral("10") << 0;
    QTest::newRow("half away from zero") << 2.5 << two << QStringLiteral("03") << 0;
    QTest::newRow("negative") << -5.0 << two << QStringLiteral("-05") << 0;
    QTest::newRow("negative half") << -2.5 << two << QStringLiteral("-03") << 0;
    QTest::newRow("small negative rounds to 00") << -0.4 << two << QStringLiteral("00") << 0;
    QTest::newRow("negative zero") << -0.0 << two << QStringLiteral("00") << 0;
    QTest::newRow("large, no exponent") << 1e15 << two << QStringLiteral("1000000000000000") << 0;
    QTest::newRow("NaN") << NaN << two << QString() << int(InvalidProcedureCall);
    QTest::newRow("infinity") << Inf << two << QString() << int(Overflow);
    QTest::newRow("pattern 000") << 7.0 << QStringLiteral("000") << QString()
                                 << int(InvalidProcedureCall);
    QTest::newRow("pattern 0") << 7.0 << QStringLiteral("0") << QString()
                               << int(InvalidProcedureCall);
    QTest::newRow("empty pattern") << 7.0 << QString() << QString() << int(InvalidProcedureCall);
    QTest::newRow("date pattern") << 7.0 << QStringLiteral("hh:mm:ss") << QString()
                                  << int(InvalidProcedureCall);
}

void TestServices::formatNumber()
{
    QFETCH(double, number);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(int, error);

    QCOMPARE(errorOf([&] { Format(number, pattern); }), error);
    if (error == 0)
        QCOMPARE(Format(number, pattern), text);
}

void TestServices::formatDate_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error");

    const QString hms = QStringLiteral("hh:mm:ss");
    const QString HMS = QStringLiteral("HH:mm:ss");
    const QString full = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    const double dec7 = 46363;
    const double t = dec7 + timeOfDay(14, 4, 45);

    QTest::newRow("hh is 24-hour") << t << hms << QStringLiteral("14:04:45") << 0;
    QTest::newRow("HH is 24-hour") << t << HMS << QStringLiteral("14:04:45") << 0;
    QTest::newRow("hh morning two digits")
        << dec7 + timeOfDay(9, 5, 7) << hms << QStringLiteral("09:05:07") << 0;
    QTest::newRow("hh midnight") << dec7 << hms << QStringLiteral("00:00:00") << 0;
    QTest::newRow("hh time only") << timeOfDay(22, 4, 45) << hms << QStringLiteral("22:04:45") << 0;
    QTest::newRow("full date and time") << t << full << QStringLiteral("2026-12-07 14:04:45") << 0;
    QTest::newRow("full epoch") << 0.0 << full << QStringLiteral("1899-12-30 00:00:00") << 0;
    QTest::newRow("full one") << 1.0 << full << QStringLiteral("1899-12-31 00:00:00") << 0;
    QTest::newRow("full negative serial")
        << -1.25 << full << QStringLiteral("1899-12-29 06:00:00") << 0;
    QTest::newRow("full small negative serial")
        << -0.25 << full << QStringLiteral("1899-12-30 06:00:00") << 0;
    QTest::newRow("full leap day")
        << serialOf(2028, 2, 29) << full << QStringLiteral("2028-02-29 00:00:00") << 0;
    QTest::newRow("full first day of range")
        << -657434.0 << full << QStringLiteral("0100-01-01 00:00:00") << 0;
    QTest::newRow("full last second of range")
        << 2958465 + timeOfDay(23, 59, 59) << full << QStringLiteral("9999-12-31 23:59:59") << 0;
    QTest::newRow("full rounds to next day")
        << dec7 + 0.9999999 << full << QStringLiteral("2026-12-08 00:00:00") << 0;
    QTest::newRow("full rounds to next year")
        << serialOf(2027, 1, 1) - 0.1 / 86400 << full << QStringLiteral("2027-01-01 00:00:00") << 0;
    QTest::newRow("full beyond range") << 2958466.0 << full << QString() << int(Overflow);
    QTest::newRow("full rounds beyond range")
        << 2958466 - 0.1 / 86400 << full << QString() << int(Overflow);
    QTest::newRow("full before range") << -657435.0 << full << QString() << int(Overflow);
    QTest::newRow("full NaN") << NaN << full << QString() << int(Overflow);
    QTest::newRow("long date beyond range")
        << 2958466.0 << QStringLiteral("dddddd") << QString() << int(Overflow);
    QTest::newRow("pattern hh:mm")
        << t << QStringLiteral("hh:mm") << QString() << int(InvalidProcedureCall);
    QTest::newRow("pattern HH:MM:SS")
        << t << QStringLiteral("HH:MM:SS") << QString() << int(InvalidProcedureCall);
    QTest::newRow("pattern yyyy-MM-dd")
        << t << QStringLiteral("yyyy-MM-dd") << QString() << int(InvalidProcedureCall);
    QTest::newRow("pattern dddd") << t << QStringLiteral("dddd") << QString()
                                  << int(InvalidProcedureCall);
    QTest::newRow("pattern 00") << t << QStringLiteral("00") << QString()
                                << int(InvalidProcedureCall);
    QTest::newRow("empty pattern") << t << QString() << QString() << int(InvalidProcedureCall);
    QTest::newRow("unknown pattern beats range")
        << NaN << QStringLiteral("mm") << QString() << int(InvalidProcedureCall);
}

void TestServices::formatDate()
{
    QFETCH(double, serial);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(int, error);

    const Date d{serial};
    QCOMPARE(errorOf([&] { Format(d, pattern); }), error);
    if (error == 0)
        QCOMPARE(Format(d, pattern), text);
}

void TestServices::longDateIsSystemLocaleLongFormat_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<QDate>("date");

    QTest::newRow("2026-12-07 afternoon") << 46363 + timeOfDay(14, 4, 45) << QDate(2026, 12, 7);
    QTest::newRow("rounded into next day") << 46363 + 0.9999999 << QDate(2026, 12, 8);
    QTest::newRow("leap day 2028") << serialOf(2028, 2, 29) << QDate(2028, 2, 29);
    QTest::newRow("epoch") << 0.0 << QDate(1899, 12, 30);
    QTest::newRow("negative serial") << -1.25 << QDate(1899, 12, 29);
    QTest::newRow("first day of range") << -657434.0 << QDate(100, 1, 1);
    QTest::newRow("last day of range") << 2958465.5 << QDate(9999, 12, 31);
}

void TestServices::longDateIsSystemLocaleLongFormat()
{
    QFETCH(double, serial);
    QFETCH(QDate, date);

    const QString expected = QLocale::system().toString(date, QLocale::LongFormat);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(Format(Date{serial}, QStringLiteral("dddddd")), expected);

    // The default QLocale plays no part: only the user's (system) locale.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString withOtherDefault = Format(Date{serial}, QStringLiteral("dddddd"));
    QLocale::setDefault(previous);
    QCOMPARE(withOtherDefault, expected);
}

void TestServices::longDateInChinese_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<QString>("text");

    QTest::newRow("2026-12-07 Monday")
        << 46363 + timeOfDay(22, 4, 45) << QStringLiteral("2026年12月7日星期一");
    QTest::newRow("2026-12-08 Tuesday") << 46364.0 << QStringLiteral("2026年12月8日星期二");
    QTest::newRow("2027-01-01 Friday")
        << serialOf(2027, 1, 1) + timeOfDay(7, 59, 59) << QStringLiteral("2027年1月1日星期五");
    QTest::newRow("2028-02-29 Tuesday")
        << serialOf(2028, 2, 29) << QStringLiteral("2028年2月29日星期二");
}

void TestServices::longDateInChinese()
{
    QFETCH(double, serial);
    QFETCH(QString, text);

    if (QLocale::system().name() != QLatin1String("zh_CN")) {
        QSKIP(qPrintable(
            QStringLiteral("the user's locale is %1, not zh_CN: this check runs in the CTest entry "
                           "tst_services_newyork_zh_CN (LANG=zh_CN.UTF-8, LC_ALL=zh_CN.UTF-8)")
                .arg(QLocale::system().name())));
    }
    QCOMPARE(Format(Date{serial}, QStringLiteral("dddddd")), text);
}

void TestServices::cdateAccepts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("dateTime"); // "yyyy-MM-dd HH:mm:ss"
    QTest::addColumn<double>("serial");

    const double dec7 = 46363;
    const double t = dec7 + timeOfDay(14, 4, 45);
    const QString dec7Text = QStringLiteral("2026-12-07 14:04:45");

    QTest::newRow("good slice") << QStringLiteral(" 07 Dec 2026 14:04:45") << dec7Text << t;
    QTest::newRow("lower-case month") << QStringLiteral(" 07 dec 2026 14:04:45") << dec7Text << t;
    QTest::newRow("upper-case month") << QStringLiteral(" 07 DEC 2026 14:04:45") << dec7Text << t;
    QTest::newRow("mixed-case month") << QStringLiteral(" 07 dEc 2026 14:04:45") << dec7Text << t;
    QTest::newRow("no leading blank") << QStringLiteral("07 Dec 2026 14:04:45") << dec7Text << t;
    QTest::newRow("trailing blanks") << QStringLiteral(" 07 Dec 2026 14:04:45   ") << dec7Text << t;
    QTest::newRow("tabs around") << QStringLiteral("\t07 Dec 2026 14:04:45\t") << dec7Text << t;

    static const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m) {
        const QString text =
            QStringLiteral(" 15 %1 2026 00:00:00").arg(QLatin1String(months[m - 1]));
        QTest::addRow("month %s", months[m - 1])
            << text << QStringLiteral("2026-%1-15 00:00:00").arg(m, 2, 10, QLatin1Char('0'))
            << serialOf(2026, m, 15);
    }

    QTest::newRow("day 31 of December")
        << QStringLiteral(" 31 Dec 2026 23:59:59") << QStringLiteral("2026-12-31 23:59:59")
        << serialOf(2026, 12, 31) + timeOfDay(23, 59, 59);
    QTest::newRow("Feb 29 leap year")
        << QStringLiteral(" 29 Feb 2028 00:00:00") << QStringLiteral("2028-02-29 00:00:00")
        << serialOf(2028, 2, 29);
    QTest::newRow("Feb 29 year 2000")
        << QStringLiteral(" 29 Feb 2000 12:00:00") << QStringLiteral("2000-02-29 12:00:00")
        << serialOf(2000, 2, 29) + 0.5;
    QTest::newRow("epoch") << QStringLiteral(" 30 Dec 1899 00:00:00")
                           << QStringLiteral("1899-12-30 00:00:00") << 0.0;
    QTest::newRow("before the epoch") << QStringLiteral(" 29 Dec 1899 06:00:00")
                                      << QStringLiteral("1899-12-29 06:00:00") << -1.25;
    QTest::newRow("first day of range") << QStringLiteral(" 01 Jan 0100 00:00:00")
                                        << QStringLiteral("0100-01-01 00:00:00") << -657434.0;
    QTest::newRow("last second of range")
        << QStringLiteral(" 31 Dec 9999 23:59:59") << QStringLiteral("9999-12-31 23:59:59")
        << 2958465 + timeOfDay(23, 59, 59);

    QTest::newRow("12:34") << QStringLiteral("12:34") << QStringLiteral("1899-12-30 12:34:00")
                           << timeOfDay(12, 34, 0);
    QTest::newRow("12:34:56") << QStringLiteral("12:34:56") << QStringLiteral("1899-12-30 12:34:56")
                              << timeOfDay(12, 34, 56);
    QTest::newRow("00:00") << QStringLiteral("00:00") << QStringLiteral("1899-12-30 00:00:00")
                           << 0.0;
    QTest::newRow("23:59:59") << QStringLiteral("23:59:59") << QStringLiteral("1899-12-30 23:59:59")
                              << timeOfDay(23, 59, 59);
    QTest::newRow("holder form 09:05")
        << QStringLiteral("09:05") << QStringLiteral("1899-12-30 09:05:00") << timeOfDay(9, 5, 0);
    QTest::newRow("time with blanks")
        << QStringLiteral("  22:04:45 ") << QStringLiteral("1899-12-30 22:04:45")
        << timeOfDay(22, 4, 45);
}

void TestServices::cdateAccepts()
{
    QFETCH(QString, text);
    QFETCH(QString, dateTime);
    QFETCH(double, serial);

    Date d;
    const int error = errorOf([&] { d = CDate(text); });
    QCOMPARE(error, 0);
    QCOMPARE(d.serial, serial);
    QCOMPARE(Format(d, QStringLiteral("yyyy-MM-dd HH:mm:ss")), dateTime);
    QCOMPARE(Hour(d), dateTime.mid(11, 2).toInt());
    QCOMPARE(Minute(d), dateTime.mid(14, 2).toInt());
    QCOMPARE(Second(d), dateTime.mid(17, 2).toInt());
    if (text.trimmed().size() <= 8)
        QVERIFY2(d.serial >= 0.0 && d.serial < 1.0, "a time of day only");
}

void TestServices::cdateRejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ");
    QTest::newRow("bad month") << QStringLiteral(" 07 Dez 2026 14:04:45");
    QTest::newRow("full month name") << QStringLiteral(" 07 December 2026 14:04:45");
    QTest::newRow("numeric month") << QStringLiteral(" 07 012 2026 14:04:45");
    QTest::newRow("day 32") << QStringLiteral(" 32 Dec 2026 14:04:45");
    QTest::newRow("day 00") << QStringLiteral(" 00 Dec 2026 14:04:45");
    QTest::newRow("April 31") << QStringLiteral(" 31 Apr 2026 14:04:45");
    QTest::newRow("Feb 29 non-leap") << QStringLiteral(" 29 Feb 2026 12:00:00");
    QTest::newRow("Feb 29 1900 not leap") << QStringLiteral(" 29 Feb 1900 12:00:00");
    QTest::newRow("Feb 30") << QStringLiteral(" 30 Feb 2028 12:00:00");
    QTest::newRow("hour 24") << QStringLiteral(" 07 Dec 2026 24:00:00");
    QTest::newRow("minute 60") << QStringLiteral(" 07 Dec 2026 14:60:00");
    QTest::newRow("second 60") << QStringLiteral(" 07 Dec 2026 23:59:60");
    QTest::newRow("year 0099") << QStringLiteral(" 31 Dec 0099 23:59:59");
    QTest::newRow("year 0000") << QStringLiteral(" 01 Jan 0000 00:00:00");
    QTest::newRow("two-digit year") << QStringLiteral(" 07 Dec 26 14:04:45");
    QTest::newRow("five-digit year") << QStringLiteral(" 07 Dec 20260 14:04:45");
    QTest::newRow("one-digit day") << QStringLiteral(" 7 Dec 2026 14:04:45");
    QTest::newRow("one-digit hour") << QStringLiteral(" 07 Dec 2026 4:04:45");
    QTest::newRow("one-digit minute") << QStringLiteral(" 07 Dec 2026 14:4:45");
    QTest::newRow("one-digit second") << QStringLiteral(" 07 Dec 2026 14:04:5");
    QTest::newRow("missing blank before month") << QStringLiteral(" 07Dec 2026 14:04:45");
    QTest::newRow("missing blank before year") << QStringLiteral(" 07 Dec2026 14:04:45");
    QTest::newRow("missing blank before time") << QStringLiteral(" 07 Dec 202614:04:45");
    QTest::newRow("two blanks between fields") << QStringLiteral(" 07  Dec 2026 14:04:45");
    QTest::newRow("hyphens between fields") << QStringLiteral(" 07-Dec-2026 14:04:45");
    QTest::newRow("junk after") << QStringLiteral(" 07 Dec 2026 14:04:45 GMT");
    QTest::newRow("junk after time") << QStringLiteral("12:34x");
    QTest::newRow("weekday in front") << QStringLiteral("Mon, 07 Dec 2026 14:04:45");
    QTest::newRow("slice with fewer chars") << QStringLiteral(" 07 Dec 2026 14:04:4");
    QTest::newRow("slice without seconds") << QStringLiteral(" 07 Dec 2026 14:04");
    QTest::newRow("date only") << QStringLiteral(" 07 Dec 2026");
    QTest::newRow("7:05") << QStringLiteral("7:05");
    QTest::newRow("24:00") << QStringLiteral("24:00");
    QTest::newRow("12:60") << QStringLiteral("12:60");
    QTest::newRow("12:34:5") << QStringLiteral("12:34:5");
    QTest::newRow("12:34:") << QStringLiteral("12:34:");
    QTest::newRow("dot separator") << QStringLiteral("12.34");
    QTest::newRow("signed time") << QStringLiteral("+12:34");
    QTest::newRow("full-width digits") << QStringLiteral("１２:３４");
    QTest::newRow("Arabic-Indic digits") << QStringLiteral("١٢:٣٤");
    QTest::newRow("non-ASCII month letter") << QStringLiteral(" 07 ſep 2026 14:04:45");
    QTest::newRow("chinese afternoon") << QStringLiteral("下午 2:04:45");
    QTest::newRow("AM/PM time") << QStringLiteral("02:04 PM");
    QTest::newRow("ISO date-time") << QStringLiteral("2026-12-07 14:04:45");
    QTest::newRow("slash date") << QStringLiteral("2026/12/07");
    QTest::newRow("number") << QStringLiteral("46363");
    QTest::newRow("seconds caption") << QStringLiteral(":07");
    QTest::newRow("combo prompt text") << QStringLiteral("请选择服务器");
}

void TestServices::cdateRejects()
{
    QFETCH(QString, text);

    QCOMPARE(errorOf([&] { CDate(text); }), int(TypeMismatch));
}

void TestServices::dateAdd_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("dateTime");
    QTest::addColumn<int>("error");

    const double t = 46363 + timeOfDay(14, 4, 45);
    QTest::newRow("one third is eight hours")
        << t << 1.0 / 3 << QStringLiteral("2026-12-07 22:04:45") << 0;
    QTest::newRow("one day") << t << 1.0 << QStringLiteral("2026-12-08 14:04:45") << 0;
    QTest::newRow("minus one day") << t << -1.0 << QStringLiteral("2026-12-06 14:04:45") << 0;
    QTest::newRow("zero") << t << 0.0 << QStringLiteral("2026-12-07 14:04:45") << 0;
    QTest::newRow("time only plus a third")
        << timeOfDay(20, 0, 0) << 1.0 / 3 << QStringLiteral("1899-12-31 04:00:00") << 0;
    QTest::newRow("across the epoch backwards")
        << 0.25 << -1.0 << QStringLiteral("1899-12-29 06:00:00") << 0;
    QTest::newRow("across the epoch forwards")
        << -1.25 << 1.0 << QStringLiteral("1899-12-30 06:00:00") << 0;
    QTest::newRow("negative serial plus half")
        << -2.0 << 0.5 << QStringLiteral("1899-12-28 12:00:00") << 0;
    QTest::newRow("negative serial plus a third")
        << -1.25 << 1.0 / 3 << QStringLiteral("1899-12-29 14:00:00") << 0;
    QTest::newRow("to last second of range")
        << 2958465 + timeOfDay(15, 59, 59) << 1.0 / 3 << QStringLiteral("9999-12-31 23:59:59") << 0;
    QTest::newRow("past end of range")
        << 2958465 + timeOfDay(16, 0, 0) << 1.0 / 3 << QString() << int(Overflow);
    QTest::newRow("before start of range") << -657434.0 << -1.0 / 3 << QString() << int(Overflow);
    QTest::newRow("huge days") << t << 1e300 << QString() << int(Overflow);
    QTest::newRow("infinite days") << t << Inf << QString() << int(Overflow);
    QTest::newRow("NaN days") << t << NaN << QString() << int(Overflow);
    QTest::newRow("NaN start") << NaN << 1.0 << QString() << int(Overflow);
    QTest::newRow("start out of range") << 3e6 << -1e6 << QString() << int(Overflow);
}

void TestServices::dateAdd()
{
    QFETCH(double, serial);
    QFETCH(double, days);
    QFETCH(QString, dateTime);
    QFETCH(int, error);

    Date sum;
    QCOMPARE(errorOf([&] { sum = DateAdd(Date{serial}, days); }), error);
    if (error == 0)
        QCOMPARE(Format(sum, QStringLiteral("yyyy-MM-dd HH:mm:ss")), dateTime);
}

void TestServices::dateTimeConversion_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<double>("serial");

    QTest::newRow("afternoon") << QDateTime(QDate(2026, 12, 7), QTime(14, 4, 45))
                               << 46363 + timeOfDay(14, 4, 45);
    QTest::newRow("milliseconds") << QDateTime(QDate(2026, 12, 7), QTime(14, 4, 45, 123))
                                  << 46363 + 50685123 / 86400000.0;
    QTest::newRow("midnight") << QDateTime(QDate(2026, 12, 8), QTime(0, 0)) << 46364.0;
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("before the epoch") << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
    QTest::newRow("first day of range") << QDateTime(QDate(100, 1, 1), QTime(0, 0)) << -657434.0;
    QTest::newRow("last ms of range") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999))
                                      << 2958465 + 86399999 / 86400000.0;
    QTest::newRow("UTC fields taken as they are")
        << QDateTime(QDate(2026, 12, 7), QTime(14, 4, 45), Qt::UTC) << 46363 + timeOfDay(14, 4, 45);
    QTest::newRow("offset fields taken as they are")
        << QDateTime(QDate(2026, 12, 7), QTime(14, 4, 45), Qt::OffsetFromUTC, 8 * 3600)
        << 46363 + timeOfDay(14, 4, 45);
}

void TestServices::dateTimeConversion()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(double, serial);

    const Date d = fromDateTime(dateTime);
    QCOMPARE(d.serial, serial);
    const QDateTime back = toDateTime(d);
    QCOMPARE(back.date(), dateTime.date());
    QCOMPARE(back.time(), dateTime.time());
    QCOMPARE(back.timeSpec(), Qt::LocalTime);
}

void TestServices::dateTimeConversionRejects_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<int>("error");

    QTest::newRow("null") << QDateTime() << int(InvalidProcedureCall);
    QTest::newRow("invalid date") << QDateTime(QDate(2026, 2, 30), QTime(12, 0))
                                  << int(InvalidProcedureCall);
    QTest::newRow("year 99") << QDateTime(QDate(99, 12, 31), QTime(23, 0)) << int(Overflow);
    QTest::newRow("year 10000") << QDateTime(QDate(10000, 1, 1), QTime(0, 0)) << int(Overflow);
}

void TestServices::dateTimeConversionRejects()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(int, error);

    QCOMPARE(errorOf([&] { fromDateTime(dateTime); }), error);
}

void TestServices::httpDateConversion_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("networkTime"); // empty on failure
    QTest::addColumn<int>("error");

    auto row = [](const char *name, const char *header, const char *networkTime, int error) {
        QTest::newRow(name) << QString::fromUtf8(header) << QString::fromUtf8(networkTime) << error;
    };
    row("afternoon to evening", "Mon, 07 Dec 2026 14:04:45 GMT", "2026-12-07 22:04:45", 0);
    row("day rolls over at 16:00", "Mon, 07 Dec 2026 16:00:00 GMT", "2026-12-08 00:00:00", 0);
    row("one second before rollover", "Mon, 07 Dec 2026 15:59:59 GMT", "2026-12-07 23:59:59", 0);
    row("year rolls over", "Thu, 31 Dec 2026 23:59:59 GMT", "2027-01-01 07:59:59", 0);
    row("into leap day 2028", "Mon, 28 Feb 2028 20:00:00 GMT", "2028-02-29 04:00:00", 0);
    row("past Feb 28 2026 to March", "Sat, 28 Feb 2026 20:00:00 GMT", "2026-03-01 04:00:00", 0);
    row("midnight GMT", "Tue, 08 Dec 2026 00:00:00 GMT", "2026-12-08 08:00:00", 0);
    row("wrong weekday ignored", "Fri, 07 Dec 2026 14:04:45 GMT", "2026-12-07 22:04:45", 0);
    row("other zone after char 25 ignored", "Mon, 07 Dec 2026 14:04:45 +0100",
        "2026-12-07 22:04:45", 0);
    row("nothing after char 25", "Mon, 07 Dec 2026 14:04:45", "2026-12-07 22:04:45", 0);
    row("lower-case month", "Mon, 07 dec 2026 14:04:45 GMT", "2026-12-07 22:04:45", 0);
    row("spring-forward gap wall time in NY", "Sun, 08 Mar 2026 02:30:00 GMT",
        "2026-03-08 10:30:00", 0);
    row("result in NY spring-forward gap", "Sat, 07 Mar 2026 18:30:00 GMT", "2026-03-08 02:30:00",
        0);
    row("result in NY repeated hour", "Sat, 31 Oct 2026 17:30:00 GMT", "2026-11-01 01:30:00", 0);
    row("last second of range", "Fri, 31 Dec 9999 15:59:59 GMT", "9999-12-31 23:59:59", 0);
    row("31 Dec 9999 20:00 plus 8h overflows", "Fri, 31 Dec 9999 20:00:00 GMT", "", Overflow);
    row("no Date header", "", "", TypeMismatch);
    row("truncated header", "Mon, 07 Dec 2026", "", TypeMismatch);
    row("header one char short", "Mon, 07 Dec 2026 14:04:4", "", TypeMismatch);
    row("RFC 850 date", "Monday, 07-Dec-26 14:04:45 GMT", "", TypeMismatch);
    row("asctime date", "Mon Dec  7 14:04:45 2026", "", TypeMismatch);
    row("one-digit day", "Mon, 7 Dec 2026 14:04:45 GMT", "", TypeMismatch);
    row("Feb 29 of a common year", "Sun, 29 Feb 2026 12:00:00 GMT", "", TypeMismatch);
    row("hour 24", "Mon, 07 Dec 2026 24:00:00 GMT", "", TypeMismatch);
}

void TestServices::httpDateConversion()
{
    QFETCH(QString, header);
    QFETCH(QString, networkTime);
    QFETCH(int, error);

    QString result;
    QCOMPARE(errorOf([&] { result = networkTimeString(header); }), error);
    if (error != 0)
        return;
    QCOMPARE(result, networkTime);
    QCOMPARE(result.size(), 19);

    // Step 11: the holder caption and the long date of the network time.
    const Date timeOfDayOnly = CDate(Right(result, 8));
    QCOMPARE(Format(timeOfDayOnly, QStringLiteral("hh:mm:ss")), Right(networkTime, 8));
    QCOMPARE(Hour(timeOfDayOnly), networkTime.mid(11, 2).toInt());
    QCOMPARE(Minute(timeOfDayOnly), networkTime.mid(14, 2).toInt());
    QCOMPARE(Second(timeOfDayOnly), networkTime.mid(17, 2).toInt());
    const QDate date = QDate::fromString(Left(networkTime, 10), Qt::ISODate);
    const Date converted = DateAdd(CDate(Mid(header, 5, 21)), 1.0 / 3);
    QCOMPARE(Format(converted, QStringLiteral("dddddd")),
             QLocale::system().toString(date, QLocale::LongFormat));
}

void TestServices::httpDateConversionInNewYorkZhCn_data()
{
    httpDateConversion_data();
}

void TestServices::httpDateConversionInNewYorkZhCn()
{
    // The same table with TZ and the default locale switched inside the
    // process: neither may change a result.
    const ZoneAndLocale scope("America/New_York", QLocale(QLocale::Chinese, QLocale::China));
    httpDateConversion();
}

void TestServices::springForwardGapWallTime()
{
    if (!systemZoneIsNewYork()) {
        QSKIP(qPrintable(
            QStringLiteral(
                "the time zone is %1, not America/New_York: this check runs in the CTest entry "
                "tst_services_newyork_zh_CN (TZ=America/New_York)")
                .arg(QString::fromUtf8(QTimeZone::systemTimeZoneId()))));
    }
    // 2026-03-08 02:30 does not exist as a New York wall time: Qt says so...
    const QDateTime gap(QDate(2026, 3, 8), QTime(2, 30));
    QVERIFY2(!gap.isValid() || gap.time() != QTime(2, 30),
             "02:30 on 2026-03-08 lies in New York's spring-forward gap");

    // ...but the services never consult the zone: the wall time stays as it is.
    const Date wall = CDate(QStringLiteral(" 08 Mar 2026 02:30:00"));
    QCOMPARE(Format(wall, QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             QStringLiteral("2026-03-08 02:30:00"));
    QCOMPARE(Hour(wall), 2);
    QCOMPARE(Minute(wall), 30);
    QCOMPARE(fromDateTime(gap).serial, wall.serial);
    QCOMPARE(toDateTime(wall).date(), QDate(2026, 3, 8));
    QCOMPARE(toDateTime(wall).time(), QTime(2, 30));
    QCOMPARE(Format(DateAdd(CDate(QStringLiteral(" 07 Mar 2026 18:30:00")), 1.0 / 3),
                    QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             QStringLiteral("2026-03-08 02:30:00"));
}

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
