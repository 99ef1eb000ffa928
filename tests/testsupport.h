// SPDX-License-Identifier: MIT
#pragma once

// What the Qt tests share: a main that starts the program's own Application
// (the fonts and the long date come with it), and the program's UTF-16 text
// as QString for QCOMPARE's messages.

#include "application.h"
#include "text.h"

#include <QApplication>
#include <QString>
#include <QTest>

inline QString toQString(const platform::Text &text)
{
    return QString::fromStdU16String(text);
}

// Compares two texts, printing both on a mismatch.
#define COMPARE_TEXT(actual, expected)                                                             \
    QCOMPARE(toQString(actual), toQString(platform::Text(expected)))

#define CLOCK_TEST_MAIN(TestObject)                                                                \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        platform::Application app(argc, argv, u"全屏时钟");                                        \
        QApplication::setAttribute(Qt::AA_Use96Dpi, true);                                         \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
