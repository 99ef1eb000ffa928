// SPDX-License-Identifier: MIT
#include "httprequest.h"

// What both back ends share of the request object: the waits' bounds.
namespace platform
{

namespace
{
struct Timeouts {
    std::chrono::milliseconds connect = XmlHttpRequest::DefaultConnectTimeout;
    std::chrono::milliseconds total = XmlHttpRequest::DefaultTotalTimeout;
};

Timeouts &timeouts()
{
    static Timeouts instance;
    return instance;
}
} // namespace

void XmlHttpRequest::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total)
{
    timeouts() = Timeouts{connect, total};
}

void XmlHttpRequest::resetTimeouts()
{
    timeouts() = Timeouts{};
}

std::chrono::milliseconds XmlHttpRequest::connectTimeout()
{
    return timeouts().connect;
}

std::chrono::milliseconds XmlHttpRequest::totalTimeout()
{
    return timeouts().total;
}

} // namespace platform
