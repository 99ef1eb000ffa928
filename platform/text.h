#pragma once

#include <QString>

namespace platform {

// The number at the start of a text: leading blanks, an optional sign, digits
// and a decimal fraction. No number gives 0; never hexadecimal, exponents,
// "inf" or "nan".
double Val(const QString &text);

// A whole number as plain decimal digits (a minus sign only below zero).
QString CStr(double wholeNumber);

// Text pieces counted in characters from 1; shorter texts yield fewer
// characters, a start past the end none. Negative counts give "".
QString Left(const QString &text, int count);
QString Right(const QString &text, int count);
QString Mid(const QString &text, int start, int count = -1);

} // namespace platform
