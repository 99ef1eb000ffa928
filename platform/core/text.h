// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace platform
{

// Text as the handlers see it: UTF-16, so that pieces count characters as the
// program has always counted them (one unit per BMP character).
using Text = std::u16string;

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD; never throws.
Text fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view text);

// The number at the start of a text: leading blanks (spaces, tabs, line
// feeds, carriage returns), an optional sign ("+" or "-"), ASCII digits and
// an optional "." with a decimal fraction; reading stops at the first other
// character. No number gives 0; never hexadecimal ("&H"), exponents, "inf" or
// "nan", never locale-dependent. Examples: "  12abc" -> 12, "-3.5x" -> -3.5,
// ".5" -> 0.5, "" -> 0, ":07" -> 0, "07" -> 7. A digit string too long for a
// double raises Overflow.
double Val(const Text &text);

// A whole number as plain decimal digits (a minus sign only below zero, never
// an exponent): 0 -> "0", 7 -> "7", -12 -> "-12". A value with a fraction is
// written with its shortest decimal fraction ("2.5"). NaN raises
// InvalidProcedureCall, an infinity Overflow.
Text CStr(double wholeNumber);

// Text pieces counted in characters (UTF-16 code units) from 1; shorter texts
// yield fewer characters, a start past the end none. Negative counts give "",
// except Mid's default count -1, which means "to the end". Mid with a start
// below 1 raises InvalidProcedureCall.
Text Left(const Text &text, int count);
Text Right(const Text &text, int count);
Text Mid(const Text &text, int start, int count = -1);

} // namespace platform
