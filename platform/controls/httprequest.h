// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace platform
{

// The HTTP request object of the network time query, one per exchange.
// Failures raise RuntimeError with one of the codes below as its number.
//
// Only absolute http and https URLs are requested, and texts without a scheme
// that are plainly a host name or address ("www.example.com",
// "127.0.0.1:8080/x"), which are requested as http; nothing else is
// contacted. Redirects are not followed, so the headers are those of the
// first final response, whatever its status. The body is never needed. The
// back end carries out the exchange (backend.h) within the bounds: connecting
// (name lookup, TCP and TLS) by the connect time-out, the whole exchange by
// the total time-out.
class XmlHttpRequest
{
  public:
    enum FailureCode : int {
        // Not found or unreachable: the host or proxy name did not resolve,
        // the connection was refused or could not be made, or connecting
        // took longer than the connect time-out.
        ResourceNotFound = static_cast<int>(0x800C0005),
        // Not an absolute http or https URL; nothing is contacted.
        InvalidUrl = static_cast<int>(0x800C0002),
        // Connected, but the exchange outlasted the whole-exchange time-out.
        Timeout = static_cast<int>(0x800C000B),
        // Any other failure of the exchange: TLS rejected, a malformed or
        // oversized response, the program ending meanwhile.
        DownloadFailure = static_cast<int>(0x800C0008),
        // A method that is not a plain token, or an asynchronous open.
        InvalidRequest = static_cast<int>(0x800C000C),
        // Members called out of order (send before Open, headers before send).
        InvalidState = static_cast<int>(0x8000FFFF),
        // The request object could not be created.
        CreationFailure = static_cast<int>(0x8007000E),
    };

    enum ReadyState : int {
        Unsent = 0,
        Opened = 1,
        Done = 4,
    };

    static constexpr std::chrono::milliseconds DefaultConnectTimeout{5000};
    static constexpr std::chrono::milliseconds DefaultTotalTimeout{10000};
    // Response headers beyond this many bytes fail the exchange.
    static constexpr int MaxHeaderBytes = 64 * 1024;

    // Raises CreationFailure when there is no memory for the object.
    XmlHttpRequest();
    ~XmlHttpRequest();
    XmlHttpRequest(const XmlHttpRequest &) = delete;
    XmlHttpRequest &operator=(const XmlHttpRequest &) = delete;

    // Only synchronous requests are supported: async must be false.
    void Open(const Text &method, const Text &url, bool async);
    // Returns when the response headers have arrived; raises on failure.
    // Meanwhile timers tick and the window paints; input waits (backend.h).
    void send();
    // The value of a response header, names compared without case; repeated
    // headers are joined with ", ". "" when there is no such header.
    Text getResponseHeader(const Text &name) const;
    int readyState() const;

    // The request leaves no earlier than this monotonic time
    // (monotonicNow); send() waits for it as for the answer.
    void setSendAt(std::int64_t monotonicMs);
    // After send: the monotonic times at which the exchange began (connecting
    // follows), the request began to leave and the response's headers were
    // complete.
    std::int64_t startedAt() const;
    std::int64_t sentAt() const;
    std::int64_t headersAt() const;

    // Whether Open would take `url`: a text that is not one contacts nothing.
    static bool isRequestable(const Text &url);

    // The bounds every exchange is handed.
    static constexpr std::chrono::milliseconds connectTimeout() { return DefaultConnectTimeout; }
    static constexpr std::chrono::milliseconds totalTimeout() { return DefaultTotalTimeout; }

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
