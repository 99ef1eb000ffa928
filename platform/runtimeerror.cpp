#include "runtimeerror.h"

#include <cmath>
#include <limits>

namespace platform
{

QString errorDescription(int number)
{
    switch (number) {
    case InvalidProcedureCall:
        return QStringLiteral("无效的过程调用或参数");
    case Overflow:
        return QStringLiteral("溢出");
    case DivisionByZero:
        return QStringLiteral("除数为零");
    case TypeMismatch:
        return QStringLiteral("类型不匹配");
    case InvalidPropertyValue:
        return QStringLiteral("无效的属性值");
    default:
        return QString();
    }
}

RuntimeError::RuntimeError(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

double checked(double value)
{
    if (std::isnan(value))
        throw RuntimeError(InvalidProcedureCall, errorDescription(InvalidProcedureCall));
    if (std::isinf(value))
        throw RuntimeError(Overflow, errorDescription(Overflow));
    return value;
}

float single(double value)
{
    checked(value);
    if (std::abs(value) > double(std::numeric_limits<float>::max()))
        throw RuntimeError(Overflow, errorDescription(Overflow));
    return float(value);
}

double divide(double numerator, double denominator)
{
    if (denominator == 0.0)
        throw RuntimeError(DivisionByZero, errorDescription(DivisionByZero));
    return checked(numerator / denominator);
}

} // namespace platform
