// SPDX-License-Identifier: MIT
#include "runtimeerror.h"

#include <cmath>
#include <limits>
#include <string>

namespace platform
{

Text errorDescription(int number)
{
    switch (number) {
    case InvalidProcedureCall:
        return u"无效的过程调用或参数";
    case Overflow:
        return u"溢出";
    case DivisionByZero:
        return u"除数为零";
    case TypeMismatch:
        return u"类型不匹配";
    case InvalidPropertyValue:
        return u"无效的属性值";
    default:
        return Text();
    }
}

RuntimeError::RuntimeError(int number, const Text &description)
    : std::runtime_error(toUtf8(description)), m_number(number), m_description(description)
{
}

RuntimeError::RuntimeError(ErrorNumber number) : RuntimeError(number, errorDescription(number)) {}

Text errorReport(const RuntimeError &error)
{
    return u"运行时错误 '" + fromUtf8(std::to_string(error.number())) + u"':\n\n" +
           error.description();
}

double checked(double value)
{
    if (std::isnan(value))
        throw RuntimeError(InvalidProcedureCall);
    if (std::isinf(value))
        throw RuntimeError(Overflow);
    return value;
}

float single(double value)
{
    checked(value);
    if (std::abs(value) > double(std::numeric_limits<float>::max()))
        throw RuntimeError(Overflow);
    return float(value);
}

} // namespace platform
