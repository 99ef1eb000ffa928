#include "text.h"

#include "runtimeerror.h"

#include <QLocale>

#include <cmath>

namespace platform
{

namespace
{

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

double Val(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text.at(i)))
        ++i;

    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }

    // The digits are copied into a plain "ddd.fff" text and read in the C
    // locale, so no exponent, hexadecimal or locale form can slip in.
    QString number;
    while (i < n && isDigit(text.at(i)))
        number += text.at(i++);
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        QString fraction;
        while (i < n && isDigit(text.at(i)))
            fraction += text.at(i++);
        if (!fraction.isEmpty())
            number += QLatin1Char('.') + fraction;
    }
    if (number.isEmpty())
        return 0.0;

    bool ok = false;
    const double value = checked(number.toDouble(&ok)); // an overflow gives inf
    if (!ok || value == 0.0)                            // underflow, zeros
        return 0.0;                                     // never a negative zero
    return negative ? -value : value;
}

QString CStr(double wholeNumber)
{
    const double value = checked(wholeNumber);
    if (value == 0.0)
        return QStringLiteral("0");
    if (value == std::trunc(value))
        return QString::number(value, 'f', 0);
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString Left(const QString &text, int count)
{
    if (count <= 0)
        return QString();
    return text.left(count);
}

QString Right(const QString &text, int count)
{
    if (count <= 0)
        return QString();
    return text.right(count);
}

QString Mid(const QString &text, int start, int count)
{
    if (start < 1)
        throw RuntimeError(InvalidProcedureCall, errorDescription(InvalidProcedureCall));
    if (start > text.size())
        return QString();
    if (count == -1)
        return text.mid(start - 1);
    if (count <= 0)
        return QString();
    return text.mid(start - 1, count);
}

} // namespace platform
