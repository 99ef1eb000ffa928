// SPDX-License-Identifier: MIT
// The request object over the system's "Microsoft.XMLHTTP" COM class. A
// synchronous send cannot be bounded, so the request is opened asynchronous
// and send() polls it against the connect and total deadlines, dispatching
// the thread's messages meanwhile (the request's own callbacks arrive as
// messages too), and aborts it at a deadline. Receiving ends as soon as the
// response headers are there: the body is never needed.
#include "httprequest.h"

#include "comptr.h"
#include "runtimeerror.h"
#include "win32eventloop.h"

#include <msxml2.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace platform
{

namespace
{

using win32::Bstr;
using win32::ComPtr;
using win32::Variant;

// Declared by msxml2.h, but no MinGW import library defines it.
constexpr IID IidXmlHttpRequest = {
    0xed8c108d, 0x4349, 0x11d2, {0x91, 0xa4, 0x00, 0xc0, 0x4f, 0x79, 0x69, 0xe8}};

// How long one poll waits for a message before it looks at the request again.
constexpr DWORD PollMs = 10;

[[noreturn]] void fail(int code, const char *description)
{
    throw RuntimeError(code, fromUtf8(description));
}

char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
}

bool equalNoCase(const Text &a, const Text &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return lowerAscii(x) == lowerAscii(y); });
}

bool isToken(const Text &text)
{
    static const Text separators = u"()<>@,;:\\\"/[]?={} \t";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) {
        return c > 32 && c < 127 && separators.find(c) == Text::npos;
    });
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// An absolute http or https URL with a host; the system would also take
// other schemes (files among them), which are never to be contacted.
bool isHttpUrl(const Text &url)
{
    const std::size_t schemeEnd = url.find(u"://");
    if (schemeEnd == Text::npos)
        return false;
    const Text scheme = url.substr(0, schemeEnd);
    if (!equalNoCase(scheme, u"http") && !equalNoCase(scheme, u"https"))
        return false;
    if (std::any_of(url.begin(), url.end(),
                    [](char16_t c) { return c <= 32 || c == 127 || c == u'\\'; }))
        return false;
    const std::size_t authorityStart = schemeEnd + 3;
    const std::size_t authorityEnd =
        std::min(url.find_first_of(u"/?#", authorityStart), url.size());
    Text host = url.substr(authorityStart, authorityEnd - authorityStart);
    const std::size_t at = host.rfind(u'@');
    if (at != Text::npos)
        host.erase(0, at + 1);
    Text port;
    if (!host.empty() && host.front() == u'[') {
        const std::size_t close = host.find(u']');
        if (close == Text::npos || close == 1)
            return false;
        port = host.substr(close + 1);
        host = host.substr(0, close + 1);
        if (!port.empty() && port.front() != u':')
            return false;
    } else {
        const std::size_t colon = host.find(u':');
        if (colon != Text::npos) {
            port = host.substr(colon);
            host.erase(colon);
        }
    }
    if (host.empty())
        return false;
    if (!port.empty()) {
        port.erase(0, 1);
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), isDigit))
            return false;
        long number = 0;
        for (const char16_t digit : port)
            number = number * 10 + (digit - u'0');
        if (number > 65535)
            return false;
    }
    return true;
}

// The system's codes for a server that was not found or not reached, and for
// a rejected certificate (URL moniker codes, and the WinInet errors some
// versions report as the status instead).
int failureOf(HRESULT code)
{
    switch (static_cast<unsigned long>(code)) {
    case 0x800C0002: // INET_E_INVALID_URL
    case 0x800C000D: // INET_E_UNKNOWN_PROTOCOL
        return XmlHttpRequest::InvalidUrl;
    case 0x800C0003: // INET_E_NO_SESSION
    case 0x800C0004: // INET_E_CANNOT_CONNECT
    case 0x800C0005: // INET_E_RESOURCE_NOT_FOUND
    case 0x800C0006: // INET_E_OBJECT_NOT_FOUND
    case 0x800C0008: // INET_E_DOWNLOAD_FAILURE: Wine's code for a refused connection
    case 0x800C000B: // INET_E_CONNECTION_TIMEOUT
    case 0x80072EE2: // ERROR_INTERNET_TIMEOUT
    case 0x80072EE7: // ERROR_INTERNET_NAME_NOT_RESOLVED
    case 0x80072EFD: // ERROR_INTERNET_CANNOT_CONNECT
    case 0x80072EFE: // ERROR_INTERNET_CONNECTION_ABORTED
    case 0x80072EFF: // ERROR_INTERNET_CONNECTION_RESET
        return XmlHttpRequest::ResourceNotFound;
    case 0x800C000E: // INET_E_SECURITY_PROBLEM
    case 0x800C0019: // INET_E_INVALID_CERTIFICATE
    case 0x80072F06: // ERROR_INTERNET_SEC_CERT_CN_INVALID
    case 0x80072F05: // ERROR_INTERNET_SEC_CERT_DATE_INVALID
    case 0x80072F0D: // ERROR_INTERNET_INVALID_CA
    case 0x80072F7D: // ERROR_INTERNET_SECURITY_CHANNEL_ERROR
    case 0x80072F8F: // ERROR_INTERNET_DECODING_FAILED
        return XmlHttpRequest::SecurityProblem;
    default:
        return XmlHttpRequest::DownloadFailure;
    }
}

const char *describe(int failure)
{
    switch (failure) {
    case XmlHttpRequest::InvalidUrl:
        return "Invalid URL";
    case XmlHttpRequest::ResourceNotFound:
        return "The server could not be found or reached";
    case XmlHttpRequest::SecurityProblem:
        return "The secure connection was rejected";
    default:
        return "The request failed";
    }
}

[[noreturn]] void failWith(HRESULT code)
{
    const int failure = failureOf(code);
    fail(failure, describe(failure));
}

} // namespace

struct XmlHttpRequest::Impl {
    struct Header {
        Text name;
        Text value;
    };

    ComPtr<IXMLHTTPRequest> request;
    std::vector<Header> headers;
    int readyState = Unsent;

    // The header block as the object gives it, "Name: value" lines; false
    // while none has arrived.
    bool takeHeaders();
    void abort();
};

bool XmlHttpRequest::Impl::takeHeaders()
{
    Bstr all;
    if (FAILED(request->getAllResponseHeaders(all.put())))
        return false;
    const Text text = all.text();
    if (text.empty())
        return false;
    if (text.size() > std::size_t(MaxHeaderBytes))
        fail(DownloadFailure, "Response headers too large");
    headers.clear();
    bool mayContinue = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == Text::npos)
            end = text.size();
        Text line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == u'\r')
            line.pop_back();
        const auto trim = [](Text value) {
            const std::size_t first = value.find_first_not_of(u" \t");
            if (first == Text::npos)
                return Text();
            return value.substr(first, value.find_last_not_of(u" \t") - first + 1);
        };
        // A folded line continues the value of the header before it.
        if (!line.empty() && (line.front() == u' ' || line.front() == u'\t')) {
            const Text more = trim(line);
            if (mayContinue && !more.empty()) {
                Text &value = headers.back().value;
                value += value.empty() ? more : u" " + more;
            }
            continue;
        }
        mayContinue = false;
        const std::size_t colon = line.find(u':');
        if (colon == Text::npos || colon == 0)
            continue;
        headers.push_back({trim(line.substr(0, colon)), trim(line.substr(colon + 1))});
        mayContinue = true;
    }
    return true;
}

void XmlHttpRequest::Impl::abort()
{
    if (request)
        request->abort();
}

XmlHttpRequest::XmlHttpRequest() : d(std::make_unique<Impl>())
{
    CLSID classId{};
    if (FAILED(CLSIDFromProgID(L"Microsoft.XMLHTTP", &classId)) ||
        FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IidXmlHttpRequest,
                                d->request.put_void())) ||
        !d->request) {
        fail(CreationFailure, "Cannot create the HTTP request");
    }
}

XmlHttpRequest::~XmlHttpRequest()
{
    if (d->readyState == Opened)
        d->abort();
}

int XmlHttpRequest::readyState() const
{
    return d->readyState;
}

void XmlHttpRequest::Open(const Text &method, const Text &url, bool async)
{
    if (async)
        fail(InvalidRequest, "Asynchronous requests are not supported");
    if (!isToken(method))
        fail(InvalidRequest, "Invalid method");
    if (!isHttpUrl(url))
        fail(InvalidUrl, "Invalid URL");
    Text upper = method;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; });
    d->headers.clear();
    d->readyState = Unsent;
    const Variant asynchronous(true);
    const Variant none;
    const HRESULT opened = d->request->open(Bstr(upper).get(), Bstr(url).get(), asynchronous.get(),
                                            none.get(), none.get());
    if (FAILED(opened))
        failWith(opened);
    d->readyState = Opened;
}

void XmlHttpRequest::send()
{
    if (d->readyState != Opened)
        fail(InvalidState, "send called before Open");
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const Clock::time_point connectDeadline = start + XmlHttpRequest::connectTimeout();
    const Clock::time_point totalDeadline = start + XmlHttpRequest::totalTimeout();

    const Variant noBody;
    const HRESULT sent = d->request->send(noBody.get());
    if (FAILED(sent)) {
        d->readyState = Unsent;
        failWith(sent);
    }
    // Done and failed alike end in readyState 4; headers tell them apart.
    // Some versions keep readyState below 3 while the body arrives, with
    // the headers already there; an unreachable host may never move on.
    for (;;) {
        long state = 0;
        d->request->get_readyState(&state);
        if (d->takeHeaders()) {
            if (state != 4)
                d->abort();
            d->readyState = Done;
            return;
        }
        if (state == 4) {
            long status = 0;
            const HRESULT got = d->request->get_status(&status);
            if (SUCCEEDED(got) && status >= 100 && status < 600) {
                d->readyState = Done; // a response without headers
                return;
            }
            d->readyState = Unsent;
            // Some versions report the WinInet error as the status.
            if (status >= 12000 && status < 13000)
                failWith(HRESULT_FROM_WIN32(static_cast<unsigned long>(status)));
            // Nothing came back: the server was not reached.
            failWith(FAILED(got) && got != E_FAIL ? got : HRESULT(0x800C0005));
        }
        const Clock::time_point now = Clock::now();
        if (now >= connectDeadline && state <= 2) {
            d->abort();
            d->readyState = Unsent;
            fail(ResourceNotFound, "Connecting took longer than the time-out");
        }
        if (now >= totalDeadline) {
            d->abort();
            d->readyState = Unsent;
            fail(Timeout, "The exchange took longer than the time-out");
        }
        if (!win32::dispatchPending()) {
            d->abort();
            d->readyState = Unsent;
            fail(DownloadFailure, "The program is ending");
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, PollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

Text XmlHttpRequest::getResponseHeader(const Text &name) const
{
    if (d->readyState != Done)
        fail(InvalidState, "getResponseHeader called before the response");
    Text joined;
    bool found = false;
    for (const Impl::Header &header : d->headers) {
        if (!equalNoCase(header.name, name))
            continue;
        if (found)
            joined += u", ";
        joined += header.value;
        found = true;
    }
    return joined;
}

} // namespace platform
