// SPDX-License-Identifier: MIT
// The request object's rules, the same for every back end: which methods and
// URLs are requested, how the response's header block is read, and which
// code each kind of failure raises. A back end only carries out the exchange
// (backend.h).
#include "httprequest.h"

#include "backend.h"
#include "runtimeerror.h"
#include "timer.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace platform
{

namespace
{
[[noreturn]] void fail(int code, const char *description)
{
    throw RuntimeError(code, fromUtf8(description));
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetterOrDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool allOf(std::string_view text, bool (*test)(char))
{
    return std::all_of(text.begin(), text.end(), test);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool isToken(std::string_view text)
{
    static constexpr std::string_view separators = "()<>@,;:\\\"/[]?={} \t";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 32 && byte < 127 && separators.find(c) == std::string_view::npos;
    });
}

// UTF-8 without ASCII controls, blanks or backslashes, and without lone
// surrogates: line breaks, DOS paths and broken text never reach a back end.
std::optional<std::string> urlBytes(const Text &text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c <= 32 || c == 127 || c == u'\\')
            return std::nullopt;
        const bool lead = c >= 0xD800 && c <= 0xDBFF;
        if (lead && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return std::nullopt;
    }
    return toUtf8(text);
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 128; });
}

// As browsers send a path or query typed in Chinese: each byte of its UTF-8
// beyond ASCII as %XX.
std::string percentEncoded(std::string_view text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 128) {
            out += c;
        } else {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
        }
    }
    return out;
}

// Four decimal numbers 0-255, without leading zeros that some readers would
// take for octal.
bool isIpv4(std::string_view host)
{
    int parts = 0;
    for (;;) {
        const std::size_t dot = host.find('.');
        const std::string_view part = host.substr(0, dot);
        if (++parts > 4 || part.empty() || part.size() > 3 || !allOf(part, isDigit) ||
            (part.size() > 1 && part.front() == '0') || std::stoi(std::string(part)) > 255)
            return false;
        if (dot == std::string_view::npos)
            return parts == 4;
        host.remove_prefix(dot + 1);
    }
}

// "[...]" with hexadecimal digits, colons and dots (an embedded IPv4 tail).
bool isIpv6Literal(std::string_view host)
{
    if (host.size() < 4 || host.front() != '[' || host.back() != ']')
        return false;
    const std::string_view inner = host.substr(1, host.size() - 2);
    return std::count(inner.begin(), inner.end(), ':') >= 2 &&
           std::all_of(inner.begin(), inner.end(), [](char c) {
               return isDigit(c) || (lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f') || c == ':' ||
                      c == '.';
           });
}

// Labels of letters, digits, '-' (and '_' where `underscore`), separated by
// single dots, an optional dot at the end. A name whose last label is a
// number is an IPv4 address or nothing: "1.2.3" and "0x7f.1" would reach
// addresses nobody typed.
bool isHostName(std::string_view host, bool underscore, bool needsDot)
{
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (host.empty() || host.size() > 253)
        return false;
    const std::size_t lastDot = host.rfind('.');
    const std::string_view last =
        lastDot == std::string_view::npos ? host : host.substr(lastDot + 1);
    if (allOf(last, isDigit))
        return isIpv4(host);
    if (needsDot && lastDot == std::string_view::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::string_view label = host.substr(start, dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(), [&](char c) {
                return isLetterOrDigit(c) || c == '-' || (underscore && c == '_');
            }))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

struct Authority {
    std::string host;      // a name in its ASCII form, an address or "[...]"
    std::string_view port; // without the colon; empty for the scheme's own
};

std::optional<Authority> splitAuthority(std::string_view authority, bool schemeLess)
{
    // No user name or password: a time server needs none.
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    Authority parts;
    std::size_t hostEnd = authority.size();
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        hostEnd = close + 1;
        if (!isIpv6Literal(authority.substr(0, hostEnd)))
            return std::nullopt;
        parts.host = std::string(authority.substr(0, hostEnd));
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
        const std::string_view typed = authority.substr(0, hostEnd);
        // A name typed in Chinese is checked, and asked for, in its ASCII form.
        std::optional<std::string> name =
            isAscii(typed) ? std::string(typed) : backend::asciiHostName(std::string(typed));
        if (!name || !isAscii(*name) || !isHostName(*name, !schemeLess, schemeLess))
            return std::nullopt;
        parts.host = std::move(*name);
    }
    std::string_view rest = authority.substr(hostEnd);
    if (!rest.empty()) {
        if (rest.front() != ':')
            return std::nullopt;
        parts.port = rest.substr(1);
        // "host:" names the scheme's own port, but not in a typed host name.
        if (parts.port.empty() && schemeLess)
            return std::nullopt;
        if (!parts.port.empty() &&
            (parts.port.size() > 5 || !allOf(parts.port, isDigit) ||
             std::stol(std::string(parts.port)) < 1 || std::stol(std::string(parts.port)) > 65535))
            return std::nullopt;
    }
    return parts;
}

struct HttpHeader {
    std::string name;
    std::string value;
};

// The URL to request for a typed text: an absolute http or https URL, or a
// text without a scheme that is plainly a host name or address (an optional
// port, an optional path), which is taken as http. Nothing else.
std::optional<std::string> requestUrl(const Text &text)
{
    const std::optional<std::string> bytes = urlBytes(text);
    if (!bytes)
        return std::nullopt;
    std::string_view rest = *bytes;
    std::string scheme = "http";
    const std::size_t schemeEnd = rest.find("://");
    const bool schemeLess = schemeEnd == std::string_view::npos;
    if (!schemeLess) {
        scheme = std::string(rest.substr(0, schemeEnd));
        std::transform(scheme.begin(), scheme.end(), scheme.begin(), lowerAscii);
        if (scheme != "http" && scheme != "https")
            return std::nullopt;
        rest.remove_prefix(schemeEnd + 3);
    }
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::optional<Authority> authority =
        splitAuthority(rest.substr(0, authorityEnd), schemeLess);
    if (!authority)
        return std::nullopt;
    std::string_view tail = rest.substr(authorityEnd);
    // A typed host name may be followed by a path only.
    if (schemeLess && !tail.empty() && tail.front() != '/')
        return std::nullopt;
    // The fragment is the reader's, never sent.
    tail = tail.substr(0, tail.find('#'));
    std::string url = scheme + "://" + authority->host;
    if (!authority->port.empty())
        url += ":" + std::string(authority->port);
    if (tail.empty() || tail.front() != '/')
        url += '/';
    url += percentEncoded(tail);
    return url;
}

std::vector<HttpHeader> parseHeaderBlock(std::string_view raw)
{
    std::vector<HttpHeader> headers;
    // A continuation line belongs to the header just before it, if any.
    bool mayContinue = false;
    while (!raw.empty()) {
        const std::size_t end = std::min(raw.find('\n'), raw.size());
        std::string_view line = raw.substr(0, end);
        raw.remove_prefix(std::min(end + 1, raw.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // Obsolete line folding: a line that starts with a blank continues the
        // value of the header before it, and is never a header of its own.
        if (!line.empty() && isBlank(line.front())) {
            const std::string_view more = trimmed(line);
            if (mayContinue && !more.empty()) {
                std::string &value = headers.back().value;
                if (!value.empty())
                    value += ' ';
                value += more;
            }
            continue;
        }
        mayContinue = false;
        if (line.substr(0, 5) == "HTTP/") {
            // A new status line: an interim 1xx response's headers are not the answer.
            headers.clear();
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        headers.push_back({std::string(trimmed(line.substr(0, colon))),
                           std::string(trimmed(line.substr(colon + 1)))});
        mayContinue = true;
    }
    return headers;
}

std::string headerValue(const std::vector<HttpHeader> &headers, std::string_view name)
{
    std::string joined;
    bool found = false;
    for (const HttpHeader &header : headers) {
        if (!equalNoCase(header.name, name))
            continue;
        if (found)
            joined += ", ";
        joined += header.value;
        found = true;
    }
    return joined;
}

} // namespace

struct XmlHttpRequest::Impl {
    std::string method;
    std::string url;
    std::vector<HttpHeader> headers;
    int readyState = Unsent;
    std::int64_t sendAt = 0;
    std::int64_t startedAt = 0;
    std::int64_t sentAt = 0;
    std::int64_t headersAt = 0;
};

XmlHttpRequest::XmlHttpRequest()
{
    try {
        d = std::make_unique<Impl>();
    } catch (const std::bad_alloc &) {
        fail(CreationFailure, "Cannot create the HTTP request");
    }
}

XmlHttpRequest::~XmlHttpRequest() = default;

int XmlHttpRequest::readyState() const
{
    return d->readyState;
}

bool XmlHttpRequest::isRequestable(const Text &url)
{
    return requestUrl(url).has_value();
}

void XmlHttpRequest::Open(const Text &method, const Text &url, bool async)
{
    if (async)
        fail(InvalidRequest, "Asynchronous requests are not supported");
    const std::string methodBytes = toUtf8(method);
    if (!isToken(methodBytes))
        fail(InvalidRequest, "Invalid method");
    std::optional<std::string> target = requestUrl(url);
    if (!target)
        fail(InvalidUrl, "Invalid URL");
    d->method = methodBytes;
    std::transform(d->method.begin(), d->method.end(), d->method.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    d->url = std::move(*target);
    d->headers.clear();
    d->readyState = Opened;
}

void XmlHttpRequest::send()
{
    if (d->readyState != Opened)
        fail(InvalidState, "send called before Open");
    // The exchange waits in a loop of its own that lets the window run.
    TimerScheduler::nestedLoopBegins();
    const HttpResponse response =
        backend::exchange(HttpExchange{d->method, d->url, connectTimeout(), totalTimeout(),
                                       std::size_t(MaxHeaderBytes), d->sendAt});
    switch (response.failure) {
    case HttpResponse::Failure::None:
        break;
    case HttpResponse::Failure::Unreachable:
        fail(ResourceNotFound, "The server could not be found or reached");
    case HttpResponse::Failure::Timeout:
        fail(Timeout, "The exchange took longer than the time-out");
    case HttpResponse::Failure::Other:
        fail(DownloadFailure, "The request failed");
    }
    if (response.rawHeaders.size() > std::size_t(MaxHeaderBytes))
        fail(DownloadFailure, "Response headers too large");
    d->headers = parseHeaderBlock(response.rawHeaders);
    d->startedAt = response.startedAt;
    d->sentAt = response.sentAt;
    d->headersAt = response.headersAt;
    d->readyState = Done;
}

void XmlHttpRequest::setSendAt(std::int64_t monotonicMs)
{
    d->sendAt = monotonicMs;
}

std::int64_t XmlHttpRequest::startedAt() const
{
    return d->startedAt;
}

std::int64_t XmlHttpRequest::sentAt() const
{
    return d->sentAt;
}

std::int64_t XmlHttpRequest::headersAt() const
{
    return d->headersAt;
}

Text XmlHttpRequest::getResponseHeader(const Text &name) const
{
    if (d->readyState != Done)
        fail(InvalidState, "getResponseHeader called before the response");
    // Header values are bytes; each one is taken as the character of that code.
    const std::string value = headerValue(d->headers, toUtf8(name));
    Text text;
    text.reserve(value.size());
    for (const char c : value)
        text.push_back(char16_t(static_cast<unsigned char>(c)));
    return text;
}

} // namespace platform
