// SPDX-License-Identifier: MIT
// The HTTP exchange over libcurl's multi interface, so that the wait can give
// the window its turn: timer ticks and painting go on, while keys, clicks and
// the window manager's close stay queued (Qt counts WM_DELETE_WINDOW as user
// input) until the exchange has returned, as for a busy window. Receiving
// stops as soon as the final response's headers are complete: the body is
// never read. Proxies come from the usual environment variables, as for any
// libcurl program; https is verified against the system's store.
#include "backend.h"

#include <curl/curl.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <locale.h>
#include <memory>
#include <optional>
#include <string_view>

namespace platform
{

namespace
{

struct CurlDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM *handle) const { curl_multi_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU *handle) const { curl_url_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// How long curl waits for its sockets before the window's events get their
// turn: the ticks are late by at most this much during an exchange.
constexpr int SliceMs = 10;

using Failure = HttpResponse::Failure;

struct Transfer {
    std::unique_ptr<CURL, CurlDeleter> curl{curl_easy_init()};
    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    std::string rawHeaders;
    std::size_t maxHeaderBytes = 0;
    bool headersComplete = false;
    bool headersTooLarge = false;
    std::int64_t sentAt = 0;    // connected, the request about to be written
    std::int64_t headersAt = 0; // the final response's headers complete

    static int onRequest(void *self, char *, char *, int, int);
    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *, size_t, size_t, void *self);
    bool configure(const HttpExchange &request);
};

int Transfer::onRequest(void *self, char *, char *, int, int)
{
    static_cast<Transfer *>(self)->sentAt = backend::monotonicMs();
    return CURL_PREREQFUNC_OK;
}

size_t Transfer::onHeader(char *data, size_t size, size_t count, void *self)
{
    auto *transfer = static_cast<Transfer *>(self);
    const size_t bytes = size * count;
    const std::string_view line(data, bytes);
    // Each response's block begins with its status line: an interim 1xx
    // response's block gives way to the next.
    if (line.substr(0, 5) == "HTTP/")
        transfer->rawHeaders.clear();
    if (transfer->rawHeaders.size() + bytes > transfer->maxHeaderBytes) {
        transfer->headersTooLarge = true;
        return 0;
    }
    transfer->rawHeaders.append(line);
    if (line == "\r\n" || line == "\n") {
        long status = 0;
        curl_easy_getinfo(transfer->curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 200) {
            // The headers are all that is wanted: stop before any body.
            transfer->headersComplete = true;
            transfer->headersAt = backend::monotonicMs();
            return 0;
        }
    }
    return bytes;
}

size_t Transfer::onBody(char *, size_t, size_t, void *self)
{
    // Only reached if the header callback missed the end of the headers.
    static_cast<Transfer *>(self)->headersComplete = true;
    return 0;
}

bool Transfer::configure(const HttpExchange &request)
{
    CURL *handle = curl.get();
    bool ok = handle != nullptr;
    maxHeaderBytes = request.maxHeaderBytes;
    const auto set = [&](auto option, auto value) {
        ok = ok && curl_easy_setopt(handle, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, request.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_HTTP09_ALLOWED, 0L);
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_PREREQFUNCTION, &Transfer::onRequest);
    set(CURLOPT_PREREQDATA, this);
    if (request.method == "POST") {
        // An empty body: Content-Length: 0 and no content type to describe.
        set(CURLOPT_POST, 1L);
        set(CURLOPT_POSTFIELDS, "");
        set(CURLOPT_POSTFIELDSIZE, 0L);
        headerList.reset(curl_slist_append(nullptr, "Content-Type:"));
        ok = ok && headerList;
        set(CURLOPT_HTTPHEADER, headerList.get());
    } else if (request.method == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET") {
        set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    return ok;
}

HttpResponse failed(Failure failure)
{
    HttpResponse response;
    response.failure = failure;
    return response;
}

struct NativeFailure {
    CURLcode code;
    Failure beforeSending; // the request not sent yet: still connecting
    Failure afterSending;
};

// What each of libcurl's errors means to the program; any other is Other.
constexpr NativeFailure Failures[] = {
    {CURLE_COULDNT_RESOLVE_HOST, Failure::Unreachable, Failure::Unreachable},
    {CURLE_COULDNT_RESOLVE_PROXY, Failure::Unreachable, Failure::Unreachable},
    {CURLE_COULDNT_CONNECT, Failure::Unreachable, Failure::Unreachable},
    // Connecting includes the TLS handshake: a server that never finishes
    // it was not reached.
    {CURLE_OPERATION_TIMEDOUT, Failure::Unreachable, Failure::Timeout},
};

Failure failureOf(CURLcode result, CURL *curl)
{
    // A connection the server accepted and then reset was reached: libcurl
    // counts it as not connected when the reset comes before its first send.
    long osError = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
    if (result == CURLE_COULDNT_CONNECT && osError == ECONNRESET)
        return Failure::Other;
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    for (const NativeFailure &failure : Failures) {
        if (failure.code == result)
            return pretransfer == 0 ? failure.beforeSending : failure.afterSending;
    }
    return Failure::Other;
}

// The window's turn: what is due now, user input excepted. Without an
// application object (a console probe) there is nothing to give a turn to.
void letTheWindowRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

HttpResponse backend::exchange(const HttpExchange &request)
{
    // Under the GLib dispatcher Qt's X11 queue looks again at the input it
    // held back only once woken: wake it, so that a click made meanwhile
    // arrives as the exchange returns, not at the next event of the display.
    struct WakeWhenDone {
        ~WakeWhenDone()
        {
            if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
                dispatcher->wakeUp();
        }
    } wakeWhenDone;
    Transfer transfer;
    const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || !transfer.configure(request))
        return failed(Failure::Other);
    // Nothing leaves before the moment asked for; the window runs meanwhile.
    for (std::int64_t now; (now = backend::monotonicMs()) < request.sendAt;) {
        curl_multi_poll(multi.get(), nullptr, 0,
                        int(std::min<std::int64_t>(SliceMs, request.sendAt - now)), nullptr);
        letTheWindowRun();
    }
    // Should the pre-request callback not come, the request left after this.
    const std::int64_t added = backend::monotonicMs();
    if (curl_multi_add_handle(multi.get(), transfer.curl.get()) != CURLM_OK)
        return failed(Failure::Other);

    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (const CURLMsg *message = curl_multi_info_read(multi.get(), &left)) {
                if (message->msg == CURLMSG_DONE)
                    result = message->data.result;
            }
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, SliceMs, nullptr);
        letTheWindowRun();
    }
    curl_multi_remove_handle(multi.get(), transfer.curl.get());

    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.headersComplete)) {
        HttpResponse response;
        long status = 0;
        curl_easy_getinfo(transfer.curl.get(), CURLINFO_RESPONSE_CODE, &status);
        response.status = int(status);
        response.rawHeaders = std::move(transfer.rawHeaders);
        response.startedAt = added;
        response.sentAt = transfer.sentAt ? transfer.sentAt : added;
        response.headersAt = transfer.headersAt ? transfer.headersAt : backend::monotonicMs();
        return response;
    }
    HttpResponse response = failed(failureOf(result, transfer.curl.get()));
    response.nativeError = result;
    return response;
}

std::optional<std::string> backend::asciiHostName(const std::string &utf8Name)
{
    // libcurl's own IDNA (libidn2), which reads the name in the charset of the
    // thread's locale: the name is UTF-8, whatever the user's locale.
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (utf8 == locale_t(0))
        return std::nullopt;
    const locale_t previous = uselocale(utf8);
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    char *ascii = nullptr;
    const bool converted =
        url && curl_url_set(url.get(), CURLUPART_HOST, utf8Name.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url.get(), CURLUPART_HOST, &ascii, CURLU_PUNYCODE) == CURLUE_OK;
    uselocale(previous);
    freelocale(utf8);
    if (!converted)
        return std::nullopt;
    std::string name(ascii);
    curl_free(ascii);
    return name;
}

} // namespace platform
