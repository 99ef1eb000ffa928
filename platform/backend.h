// SPDX-License-Identifier: MIT
#pragma once

// What a back end supplies to the program, in one place. The program's rules
// (which URLs are requested, how headers are read, which failures the user
// is told about) stay above this line; a back end only carries them out.

#include <chrono>
#include <string>

namespace platform
{

// One HTTP exchange as the request object hands it to the back end: the
// method and URL have passed the request's checks already.
struct HttpExchange {
    std::string method; // an HTTP token, "POST" for the time query
    std::string url;    // an absolute http:// or https:// URL
    std::chrono::milliseconds connectTimeout{0}; // name lookup, TCP and TLS
    std::chrono::milliseconds totalTimeout{0};   // the whole exchange
};

// What came back: the final response's status and raw header block, or why
// there is none.
struct HttpResponse {
    enum class Failure {
        None,
        // The host or proxy did not resolve, the connection was refused, or
        // connecting outlasted the connect time-out.
        Unreachable,
        // Connected, but the exchange outlasted the whole-exchange time-out.
        Timeout,
        // Anything else: TLS rejected, a malformed or oversized response...
        Other,
    };
    Failure failure = Failure::None;
    int status = 0;
    // As received, status line first, each line ending in CRLF, folded
    // continuation lines left as they are; the body is never read.
    std::string rawHeaders;
};

namespace backend
{
// Sends the request and returns once the final response's headers have
// arrived or the exchange has failed. Meanwhile the window keeps painting and
// its timers keep ticking, while the user's input waits until it returns.
HttpResponse exchange(const HttpExchange &request);
} // namespace backend

} // namespace platform
