#include "httprequest.h"

#include "runtimeerror.h"

#include <curl/curl.h>

namespace platform
{

namespace
{

std::chrono::milliseconds connectTimeout = XmlHttpRequest::DefaultConnectTimeout;
std::chrono::milliseconds totalTimeout = XmlHttpRequest::DefaultTotalTimeout;

struct UrlDeleter {
    void operator()(CURLU *url) const { curl_url_cleanup(url); }
};
struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
struct CurlStringDeleter {
    void operator()(char *text) const { curl_free(text); }
};

bool isToken(const QByteArray &text)
{
    static const QByteArray separators = QByteArrayLiteral("()<>@,;:\\\"/[]?={} \t");
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c <= 32 || c >= 127 || separators.contains(c))
            return false;
    }
    return true;
}

// curl's own parser decides what is a URL, so that the check and the request
// agree; no scheme is guessed for a bare host name.
bool isHttpUrl(const QByteArray &url)
{
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.constData(), 0) != CURLUE_OK)
        return false;
    char *rawScheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK)
        return false;
    const std::unique_ptr<char, CurlStringDeleter> scheme(rawScheme);
    const QByteArray lower = QByteArray(scheme.get()).toLower();
    return lower == "http" || lower == "https";
}

} // namespace

void XmlHttpRequest::CurlDeleter::operator()(void *handle) const
{
    curl_easy_cleanup(handle);
}

XmlHttpRequest::XmlHttpRequest() : m_curl(curl_easy_init())
{
    if (!m_curl)
        fail(CreationFailure, QStringLiteral("Cannot create the HTTP request"));
}

XmlHttpRequest::~XmlHttpRequest() = default;

void XmlHttpRequest::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total)
{
    connectTimeout = connect;
    totalTimeout = total;
}

void XmlHttpRequest::resetTimeouts()
{
    setTimeouts(DefaultConnectTimeout, DefaultTotalTimeout);
}

void XmlHttpRequest::fail(int code, const QString &description) const
{
    throw RuntimeError(code, description);
}

void XmlHttpRequest::Open(const QString &method, const QString &url, bool async)
{
    if (async)
        fail(InvalidRequest, QStringLiteral("Asynchronous requests are not supported"));
    const QByteArray methodBytes = method.toUtf8();
    if (!isToken(methodBytes))
        fail(InvalidRequest, QStringLiteral("Invalid method"));
    const QByteArray urlBytes = url.toUtf8();
    if (!isHttpUrl(urlBytes))
        fail(InvalidUrl, QStringLiteral("Invalid URL"));
    m_method = methodBytes.toUpper();
    m_url = urlBytes;
    m_readyState = Opened;
}

void XmlHttpRequest::addHeaderLine(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.startsWith("HTTP/")) {
        // A new status line: an interim 1xx response's headers are dropped.
        m_headers.clear();
        return;
    }
    const qsizetype colon = trimmed.indexOf(':');
    if (colon <= 0)
        return;
    m_headers.append({trimmed.left(colon).trimmed(), trimmed.mid(colon + 1).trimmed()});
}

size_t XmlHttpRequest::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto *request = static_cast<XmlHttpRequest *>(self);
    const size_t bytes = size * count;
    request->m_headerBytes += static_cast<qsizetype>(bytes);
    if (request->m_headerBytes > MaxHeaderBytes) {
        request->m_headersTooLarge = true;
        return 0;
    }
    const QByteArray line(data, static_cast<qsizetype>(bytes));
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(request->m_curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            // The headers are all that is wanted: stop before any body.
            request->m_headersComplete = true;
            return 0;
        }
        return bytes;
    }
    request->addHeaderLine(line);
    return bytes;
}

size_t XmlHttpRequest::onBody(char *, size_t, size_t, void *self)
{
    // Only reached if the header callback missed the end of the headers.
    static_cast<XmlHttpRequest *>(self)->m_headersComplete = true;
    return 0;
}

void XmlHttpRequest::send()
{
    if (m_readyState != Opened)
        fail(InvalidState, QStringLiteral("send called before Open"));
    CURL *curl = m_curl.get();
    curl_easy_reset(curl);

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    auto setOption = [&](CURLcode result) {
        if (result != CURLE_OK)
            fail(DownloadFailure, QString::fromUtf8(curl_easy_strerror(result)));
    };

    setOption(curl_easy_setopt(curl, CURLOPT_URL, m_url.constData()));
    setOption(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    setOption(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    setOption(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L));
    setOption(curl_easy_setopt(curl, CURLOPT_HTTP09_ALLOWED, 0L));
    setOption(curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                               static_cast<long>(connectTimeout.count())));
    setOption(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeout.count())));
    setOption(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L));
    setOption(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L));
    setOption(curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &XmlHttpRequest::onHeader));
    setOption(curl_easy_setopt(curl, CURLOPT_HEADERDATA, this));
    setOption(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &XmlHttpRequest::onBody));
    setOption(curl_easy_setopt(curl, CURLOPT_WRITEDATA, this));

    if (m_method == "POST") {
        // An empty body: Content-Length: 0 and no content type to describe.
        setOption(curl_easy_setopt(curl, CURLOPT_POST, 1L));
        setOption(curl_easy_setopt(curl, CURLOPT_POSTFIELDS, ""));
        setOption(curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, 0L));
        headers.reset(curl_slist_append(nullptr, "Content-Type:"));
        if (!headers)
            fail(DownloadFailure, QStringLiteral("Out of memory"));
        setOption(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()));
    } else if (m_method == "HEAD") {
        setOption(curl_easy_setopt(curl, CURLOPT_NOBODY, 1L));
    } else if (m_method != "GET") {
        setOption(curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, m_method.constData()));
    }

    m_headers.clear();
    m_headerBytes = 0;
    m_headersComplete = false;
    m_headersTooLarge = false;

    const CURLcode result = curl_easy_perform(curl);
    // Everything curl_easy_perform needed from the list is done with.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && m_headersComplete)) {
        m_readyState = Done;
        return;
    }
    const QString description = QString::fromUtf8(curl_easy_strerror(result));
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
        fail(DownloadFailure,
             m_headersTooLarge ? QStringLiteral("Response headers too large") : description);
    }
}

QString XmlHttpRequest::getResponseHeader(const QString &name) const
{
    if (m_readyState != Done)
        fail(InvalidState, QStringLiteral("getResponseHeader called before the response"));
    const QByteArray wanted = name.toLatin1().toLower();
    QByteArray joined;
    bool found = false;
    for (const Header &header : m_headers) {
        if (header.name.toLower() != wanted)
            continue;
        if (found)
            joined += ", ";
        joined += header.value;
        found = true;
    }
    return QString::fromLatin1(joined);
}

} // namespace platform
