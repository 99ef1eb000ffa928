// SPDX-License-Identifier: MIT
#include "text.h"

#include "runtimeerror.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace platform
{

namespace
{

constexpr char16_t Replacement = 0xFFFD;

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

Text fromUtf8(std::string_view utf8)
{
    Text out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += char16_t(lead);
            ++i;
            continue;
        }
        // The length of the sequence and the range of its second byte, which
        // rules out overlong forms, surrogates and code points past U+10FFFF.
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        }
        ++i;
        if (length == 0) {
            out += Replacement;
            continue;
        }
        // A broken sequence becomes one U+FFFD for the bytes read so far; the
        // byte that broke it starts the next character.
        bool complete = true;
        for (int k = 1; k < length; ++k) {
            const unsigned char next = i < n ? static_cast<unsigned char>(utf8[i]) : 0;
            if (i >= n || next < low || next > high) {
                complete = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
            low = 0x80;
            high = 0xBF;
            ++i;
        }
        if (!complete) {
            out += Replacement;
        } else if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, Replacement); // a lone surrogate
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

double Val(const Text &text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    // The digits are copied into a plain "ddd.fff" text and read with
    // from_chars, which knows no locale, so no exponent, hexadecimal or
    // locale form can slip in.
    std::string number;
    bool wholeNonZero = false;
    while (i < n && isDigit(text[i])) {
        wholeNonZero = wholeNonZero || text[i] != u'0';
        number += char(text[i++]);
    }
    if (i < n && text[i] == u'.') {
        ++i;
        std::string fraction;
        while (i < n && isDigit(text[i]))
            fraction += char(text[i++]);
        if (!fraction.empty())
            number += '.' + fraction;
    }
    if (number.empty())
        return 0.0;

    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::fixed);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range with a non-zero whole part is too large; else too small.
        if (wholeNonZero)
            throw RuntimeError(Overflow);
        return 0.0;
    }
    if (result.ec != std::errc() || value == 0.0)
        return 0.0; // never a negative zero
    return negative ? -value : value;
}

Text CStr(double wholeNumber)
{
    const double value = checked(wholeNumber);
    if (value == 0.0)
        return u"0";
    // Plain digits, never an exponent: a whole number with all its digits, a
    // fraction with the shortest digits that read back as the same number.
    char buffer[400];
    const auto result =
        value == std::trunc(value)
            ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0)
            : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return fromUtf8(std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

Text Left(const Text &text, int count)
{
    if (count <= 0)
        return Text();
    return text.substr(0, std::size_t(count));
}

Text Right(const Text &text, int count)
{
    if (count <= 0)
        return Text();
    const std::size_t n = std::size_t(count);
    return n >= text.size() ? text : text.substr(text.size() - n);
}

Text Mid(const Text &text, int start, int count)
{
    if (start < 1)
        throw RuntimeError(InvalidProcedureCall);
    if (std::size_t(start) > text.size())
        return Text();
    if (count == -1)
        return text.substr(std::size_t(start) - 1);
    if (count <= 0)
        return Text();
    return text.substr(std::size_t(start) - 1, std::size_t(count));
}

} // namespace platform
