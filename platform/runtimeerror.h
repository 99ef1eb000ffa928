#pragma once

#include <QString>

#include <stdexcept>

namespace platform {

// Error numbers of the run-time error report.
enum ErrorNumber : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    DivisionByZero = 11,
    TypeMismatch = 13,
};

// The one error type of the program: a failure that ends the program with the
// run-time error report, unless the network time query absorbs it. `number`
// is either one of ErrorNumber or a 32-bit failure code of the HTTP request.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// Checks a computed floating-point value before it is handed to a control:
// NaN is an invalid operation, an infinity an overflow.
double checked(double value);
// Division that raises the run-time error instead of giving inf or NaN.
double divide(double numerator, double denominator);

// Shows the run-time error report in a message box and ends the event loop
// with a non-zero status.
void reportRuntimeError(const RuntimeError &error);

// Wraps an event handler so that a run-time error it raises is reported
// instead of unwinding through the event loop.
template <class Object>
auto guarded(Object *object, void (Object::*handler)())
{
    return [object, handler]() {
        try {
            (object->*handler)();
        } catch (const RuntimeError &error) {
            reportRuntimeError(error);
        }
    };
}

} // namespace platform
