// SPDX-License-Identifier: MIT
// The request object over libcurl. Receiving stops as soon as the response
// headers are complete: the body is never read. Proxies come from the usual
// environment variables, as for any libcurl program; https is verified
// against the system's store.
#include "httprequest.h"

#include "runtimeerror.h"

#include <curl/curl.h>

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace platform
{

namespace
{

struct CurlDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU *url) const { curl_url_cleanup(url); }
};
struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
struct CurlStringDeleter {
    void operator()(char *text) const { curl_free(text); }
};

[[noreturn]] void fail(int code, const char *description)
{
    throw RuntimeError(code, fromUtf8(description));
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), lowerAscii);
    return text;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isToken(const std::string &text)
{
    static const std::string_view separators = "()<>@,;:\\\"/[]?={} \t";
    if (text.empty())
        return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127 || separators.find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

// curl's own parser decides what is a URL, so that the check and the request
// agree; no scheme is guessed for a bare host name.
bool isHttpUrl(const std::string &url)
{
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    char *rawScheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK)
        return false;
    const std::unique_ptr<char, CurlStringDeleter> scheme(rawScheme);
    const std::string lower = lowered(scheme.get());
    return lower == "http" || lower == "https";
}

// Header values are bytes; each one is taken as the character of that code.
Text fromLatin1(const std::string &bytes)
{
    Text text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        text.push_back(char16_t(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

struct XmlHttpRequest::Impl {
    struct Header {
        std::string name;
        std::string value;
    };

    std::unique_ptr<CURL, CurlDeleter> curl{curl_easy_init()};
    std::string method;
    std::string url;
    std::vector<Header> headers;
    std::size_t headerBytes = 0;
    // A continuation line belongs to the header just before it, if any.
    bool mayContinue = false;
    bool headersComplete = false;
    bool headersTooLarge = false;
    int readyState = Unsent;

    void addHeaderLine(std::string_view line);
    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
};

void XmlHttpRequest::Impl::addHeaderLine(std::string_view line)
{
    // Obsolete line folding: a line that starts with a blank continues the
    // value of the header before it, and is never a header of its own.
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        const std::string_view more = trimmed(line);
        if (mayContinue && !more.empty()) {
            std::string &value = headers.back().value;
            if (!value.empty())
                value += ' ';
            value += more;
        }
        return;
    }
    mayContinue = false;
    const std::string_view text = trimmed(line);
    if (text.substr(0, 5) == "HTTP/") {
        // A new status line: an interim 1xx response's headers are dropped.
        headers.clear();
        return;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return;
    headers.push_back({std::string(trimmed(text.substr(0, colon))),
                       std::string(trimmed(text.substr(colon + 1)))});
    mayContinue = true;
}

size_t XmlHttpRequest::Impl::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto *request = static_cast<Impl *>(self);
    const size_t bytes = size * count;
    request->headerBytes += bytes;
    if (request->headerBytes > std::size_t(MaxHeaderBytes)) {
        request->headersTooLarge = true;
        return 0;
    }
    const std::string_view line(data, bytes);
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(request->curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            // The headers are all that is wanted: stop before any body.
            request->headersComplete = true;
            return 0;
        }
        return bytes;
    }
    request->addHeaderLine(line);
    return bytes;
}

size_t XmlHttpRequest::Impl::onBody(char *, size_t, size_t, void *self)
{
    // Only reached if the header callback missed the end of the headers.
    static_cast<Impl *>(self)->headersComplete = true;
    return 0;
}

XmlHttpRequest::XmlHttpRequest()
{
    try {
        d = std::make_unique<Impl>();
    } catch (const std::bad_alloc &) {
        fail(CreationFailure, "Cannot create the HTTP request");
    }
    if (!d->curl)
        fail(CreationFailure, "Cannot create the HTTP request");
}

XmlHttpRequest::~XmlHttpRequest() = default;

int XmlHttpRequest::readyState() const
{
    return d->readyState;
}

void XmlHttpRequest::Open(const Text &method, const Text &url, bool async)
{
    if (async)
        fail(InvalidRequest, "Asynchronous requests are not supported");
    const std::string methodBytes = toUtf8(method);
    if (!isToken(methodBytes))
        fail(InvalidRequest, "Invalid method");
    const std::string urlBytes = toUtf8(url);
    if (!isHttpUrl(urlBytes))
        fail(InvalidUrl, "Invalid URL");
    std::string upper = methodBytes;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    d->method = upper;
    d->url = urlBytes;
    d->readyState = Opened;
}

void XmlHttpRequest::send()
{
    if (d->readyState != Opened)
        fail(InvalidState, "send called before Open");
    CURL *curl = d->curl.get();
    curl_easy_reset(curl);

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    const auto setOption = [](CURLcode result) {
        if (result != CURLE_OK)
            fail(DownloadFailure, curl_easy_strerror(result));
    };

    setOption(curl_easy_setopt(curl, CURLOPT_URL, d->url.c_str()));
    setOption(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    setOption(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    setOption(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L));
    setOption(curl_easy_setopt(curl, CURLOPT_HTTP09_ALLOWED, 0L));
    setOption(curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                               static_cast<long>(XmlHttpRequest::connectTimeout().count())));
    setOption(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                               static_cast<long>(XmlHttpRequest::totalTimeout().count())));
    setOption(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L));
    setOption(curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::onHeader));
    setOption(curl_easy_setopt(curl, CURLOPT_HEADERDATA, d.get()));
    setOption(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::onBody));
    setOption(curl_easy_setopt(curl, CURLOPT_WRITEDATA, d.get()));

    if (d->method == "POST") {
        // An empty body: Content-Length: 0 and no content type to describe.
        setOption(curl_easy_setopt(curl, CURLOPT_POST, 1L));
        setOption(curl_easy_setopt(curl, CURLOPT_POSTFIELDS, ""));
        setOption(curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, 0L));
        headers.reset(curl_slist_append(nullptr, "Content-Type:"));
        if (!headers)
            fail(DownloadFailure, "Out of memory");
        setOption(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()));
    } else if (d->method == "HEAD") {
        setOption(curl_easy_setopt(curl, CURLOPT_NOBODY, 1L));
    } else if (d->method != "GET") {
        setOption(curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, d->method.c_str()));
    }

    d->headers.clear();
    d->headerBytes = 0;
    d->mayContinue = false;
    d->headersComplete = false;
    d->headersTooLarge = false;

    const CURLcode result = curl_easy_perform(curl);
    // Everything curl_easy_perform needed from the list is done with.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && d->headersComplete)) {
        d->readyState = Done;
        return;
    }
    const char *description = curl_easy_strerror(result);
    switch (result) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        fail(InvalidUrl, description);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        fail(ResourceNotFound, description);
    case CURLE_OPERATION_TIMEDOUT: {
        // No request sent yet means the server was never reached.
        curl_off_t pretransfer = 0;
        curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        fail(pretransfer == 0 ? ResourceNotFound : Timeout, description);
    }
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
        fail(SecurityProblem, description);
    default:
        fail(DownloadFailure, d->headersTooLarge ? "Response headers too large" : description);
    }
}

Text XmlHttpRequest::getResponseHeader(const Text &name) const
{
    if (d->readyState != Done)
        fail(InvalidState, "getResponseHeader called before the response");
    const std::string wanted = lowered(toUtf8(name));
    std::string joined;
    bool found = false;
    for (const Impl::Header &header : d->headers) {
        if (lowered(header.name) != wanted)
            continue;
        if (found)
            joined += ", ";
        joined += header.value;
        found = true;
    }
    return fromLatin1(joined);
}

} // namespace platform
