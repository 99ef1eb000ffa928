// SPDX-License-Identifier: MIT
// What the core's tests share: readable texts in failure messages, the error
// number of a call, and a main() that runs under the user's locale.
#pragma once

#include "runtimeerror.h"
#include "text.h"

#include "doctest.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace doctest
{
template <class T> struct StringMaker<std::vector<T>> {
    static String convert(const std::vector<T> &items)
    {
        std::string text = "{";
        for (const T &item : items)
            text += std::string(text.size() > 1 ? ", " : "") + toString(item).c_str();
        return (text + "}").c_str();
    }
};
template <> struct StringMaker<std::u16string> {
    static String convert(const std::u16string &text)
    {
        return ("\"" + platform::toUtf8(text) + "\"").c_str();
    }
};
} // namespace doctest

// Sets TZ for one scope.
class ZoneScope
{
  public:
    explicit ZoneScope(const char *tz)
    {
        if (const char *old = std::getenv("TZ"))
            m_tz = old;
        setTz(tz);
    }
    ~ZoneScope() { setTz(m_tz ? m_tz->c_str() : nullptr); }
    ZoneScope(const ZoneScope &) = delete;
    ZoneScope &operator=(const ZoneScope &) = delete;

  private:
    static void setTz(const char *tz)
    {
#ifdef _WIN32
        _putenv_s("TZ", tz ? tz : "");
        _tzset();
#else
        if (tz)
            setenv("TZ", tz, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }

    std::optional<std::string> m_tz;
};

// The error number a call raises, 0 when it raises none.
template <class Call> int errorOf(Call call)
{
    try {
        call();
    } catch (const platform::RuntimeError &error) {
        return error.number();
    }
    return 0;
}

#ifdef CORE_TEST_MAIN
// The program runs under the user's C locale (the toolkit adopts it), so the
// tests do too: no result may depend on it.
int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    doctest::Context context(argc, argv);
    return context.run();
}
#endif
