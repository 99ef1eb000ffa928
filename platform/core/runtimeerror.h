// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"

#include <stdexcept>

namespace platform
{

// Error numbers of the run-time error report.
enum ErrorNumber : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    DivisionByZero = 11,
    TypeMismatch = 13,
    InvalidPropertyValue = 380,
};

// The one error type of the program: a failure that ends the program with the
// run-time error report, unless the network time query absorbs it. `number`
// is either one of ErrorNumber or a 32-bit failure code of the HTTP request.
class RuntimeError : public std::runtime_error
{
  public:
    // what() gives the description in UTF-8.
    RuntimeError(int number, const Text &description);
    // With the standard description of the number.
    explicit RuntimeError(ErrorNumber number);

    int number() const { return m_number; }
    Text description() const { return m_description; }

  private:
    int m_number;
    Text m_description;
};

// The standard description of an error number: "无效的过程调用或参数" (5),
// "溢出" (6), "除数为零" (11), "类型不匹配" (13), "无效的属性值" (380); an empty
// text for any other number.
Text errorDescription(int number);

// The report's text: "运行时错误 '<number>':\n\n<description>".
Text errorReport(const RuntimeError &error);

// Checks a computed floating-point value before it is handed to a control:
// NaN is an invalid operation (InvalidProcedureCall), an infinity an overflow
// (Overflow); a finite value is returned unchanged.
double checked(double value);
// A computed value as the single-precision number a control property takes:
// checked, and beyond the single range an Overflow.
float single(double value);

} // namespace platform
