// SPDX-License-Identifier: MIT
// The HTTP exchange over WinHTTP, the system's HTTP client for programs: no
// cookies, no cache, no redirects, no body read. A worker thread makes the
// synchronous calls, bounded by WinHTTP's own time-outs, while the
// user-interface thread waits for it with the window alive but its input
// held (waitWhileBusy). A worker thread rather than WinHTTP's asynchronous
// mode: no callback of the system ever reaches memory of the program after
// the exchange has been given up, and the wait has one event to watch. At
// the whole exchange's deadline, or when the program ends meanwhile, the
// request handle is closed, which cancels the worker's call; the worker then
// closes the rest and frees what it shares with the waiting side.
#include "backend.h"

#include "win32.h"
#include "win32eventloop.h"

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform
{

namespace
{

using Failure = HttpResponse::Failure;
using win32::UniqueHandle;

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr DWORD CREATE_WAITABLE_TIMER_HIGH_RESOLUTION = 0x00000002;
#endif

struct InternetDeleter {
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using UniqueInternet = std::unique_ptr<void, InternetDeleter>;

struct GlobalDeleter {
    void operator()(wchar_t *text) const { GlobalFree(text); }
};
using UniqueGlobalText = std::unique_ptr<wchar_t, GlobalDeleter>;

// What the worker and the waiting thread share, each holding it for as long
// as it needs it.
struct Job {
    HttpExchange request;
    std::chrono::steady_clock::time_point deadline; // the whole exchange given up
    HttpResponse response;
    std::int64_t startedAt = 0; // the worker's: connecting began (monotonic)
    std::int64_t sentAt = 0;    // the worker's: the request began to leave
    UniqueHandle sent;          // set by the worker once connecting is over, well or not
    UniqueHandle finished;      // set by the worker once `response` is written
    // The request handle while the worker uses it; whoever takes it out closes it.
    std::atomic<HINTERNET> active{nullptr};
    std::atomic<bool> cancelled{false};

    // Closing the request handle makes the worker's pending call fail.
    void cancel()
    {
        cancelled = true;
        if (HINTERNET handle = active.exchange(nullptr))
            WinHttpCloseHandle(handle);
    }
};

// The request handle, shared with the waiting side for as long as it lives.
class PublishedRequest
{
  public:
    PublishedRequest(Job &job, HINTERNET request) : m_job(job)
    {
        m_job.active = request;
        // Cancelled before the handle was there to close: close it now.
        if (m_job.cancelled)
            m_job.cancel();
    }
    ~PublishedRequest()
    {
        if (HINTERNET handle = m_job.active.exchange(nullptr))
            WinHttpCloseHandle(handle);
    }
    PublishedRequest(const PublishedRequest &) = delete;
    PublishedRequest &operator=(const PublishedRequest &) = delete;

  private:
    Job &m_job;
};

HttpResponse failed(Failure failure, DWORD error = 0)
{
    HttpResponse response;
    response.failure = failure;
    response.nativeError = long(error);
    return response;
}

struct NativeFailure {
    DWORD error;
    Failure beforeSending; // the request not sent yet: still connecting
    Failure afterSending;
};

// What each of WinHTTP's errors means to the program; any other is Other (a
// reset connection, ERROR_WINHTTP_CONNECTION_ERROR, among them).
constexpr NativeFailure Failures[] = {
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, Failure::Unreachable, Failure::Unreachable},
    {ERROR_WINHTTP_CANNOT_CONNECT, Failure::Unreachable, Failure::Unreachable},
    // Connecting includes the TLS handshake.
    {ERROR_WINHTTP_TIMEOUT, Failure::Unreachable, Failure::Timeout},
};

// The failure of the call that just failed.
HttpResponse lastFailure(bool sent)
{
    const DWORD error = GetLastError();
    for (const NativeFailure &failure : Failures) {
        if (failure.error == error)
            return failed(sent ? failure.afterSending : failure.beforeSending, error);
    }
    return failed(Failure::Other, error);
}

// The proxy as the user's Windows settings give it: automatic (the system's
// own choice, with detection and configuration scripts) where the system
// offers it (8.1 and later), else the user's Internet Options' fixed proxy,
// else the machine's WinHTTP setting.
UniqueInternet openSession()
{
    static constexpr wchar_t Agent[] = L"FullScreenClock";
    UniqueInternet session(WinHttpOpen(Agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (session)
        return session;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        // The strings are the caller's to free.
        const UniqueGlobalText autoConfig(user.lpszAutoConfigUrl);
        const UniqueGlobalText proxy(user.lpszProxy);
        const UniqueGlobalText bypass(user.lpszProxyBypass);
        if (proxy)
            session.reset(WinHttpOpen(Agent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.get(),
                                      bypass ? bypass.get() : WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!session)
        session.reset(WinHttpOpen(Agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0));
    return session;
}

int milliseconds(std::chrono::milliseconds duration)
{
    return int(std::max<long long>(1, std::min<long long>(duration.count(), 0x7fffffff)));
}

// A bound for the worker's own waits: what is left until the waiting side
// gives up, and half a second more, so that the waiting side always gives up
// first. (Wine's WinHTTP takes a receive that times out amid the header block
// for the block's end, and answers with what came.)
DWORD until(std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    return DWORD(milliseconds(
        duration_cast<std::chrono::milliseconds>(deadline + 500ms - steady_clock::now())));
}

// The raw header block as bytes (WinHTTP widened each byte of it), its size
// checked before it is asked for.
HttpResponse headerBlock(HINTERNET request, std::size_t maxHeaderBytes)
{
    DWORD size = 0;
    // Asked without room, the block answers with its size, or is empty.
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                            WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX))
        return failed(Failure::Other, ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    if (const DWORD error = GetLastError(); error != ERROR_INSUFFICIENT_BUFFER)
        return failed(Failure::Other, error);
    if (size / sizeof(wchar_t) > maxHeaderBytes + 1)
        return failed(Failure::Other, ERROR_WINHTTP_HEADER_SIZE_OVERFLOW);
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return failed(Failure::Other, GetLastError());
    text.resize(size / sizeof(wchar_t));
    HttpResponse response;
    response.rawHeaders.reserve(text.size());
    for (const wchar_t c : text)
        response.rawHeaders.push_back(c < 256 ? char(c) : '?');
    return response;
}

// The status of a header block that starts with a status line, else 0.
int statusOfBlock(std::string_view block)
{
    if (block.substr(0, 5) != "HTTP/")
        return 0;
    const std::size_t space = block.find(' ');
    if (space == std::string_view::npos || block.size() < space + 4)
        return 0;
    int status = 0;
    for (const char c : block.substr(space + 1, 3)) {
        if (c < '0' || c > '9')
            return 0;
        status = status * 10 + (c - '0');
    }
    return status;
}

// WinHTTP may hand an interim 1xx response over as the answer (Wine's does),
// the rest of the stream then coming as its body: the final response's
// header block is read from there, each interim block dropped as it
// completes, and nothing after the final block.
HttpResponse readOnToFinal(HINTERNET handle, std::size_t maxHeaderBytes, HttpResponse response)
{
    std::string stream;
    char buffer[4096];
    for (;;) {
        std::size_t end;
        while ((end = stream.find("\r\n\r\n")) != std::string::npos) {
            const int status = statusOfBlock(stream);
            if (status == 0)
                return failed(Failure::Other, ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
            if (status >= 200) {
                response.status = status;
                response.rawHeaders = stream.substr(0, end + 4);
                response.headersAt = backend::monotonicMs();
                return response;
            }
            stream.erase(0, end + 4);
        }
        if (stream.size() > maxHeaderBytes)
            return failed(Failure::Other, ERROR_WINHTTP_HEADER_SIZE_OVERFLOW);
        DWORD got = 0;
        if (!WinHttpReadData(handle, buffer, sizeof(buffer), &got))
            return lastFailure(true);
        if (got == 0) // the server hung up before a final response
            return failed(Failure::Other, ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
        stream.append(buffer, got);
    }
}

// On the worker thread: sleeps until the monotonic time `at`, on a
// high-resolution timer where the system has one.
void sleepUntil(std::int64_t at)
{
    const std::int64_t wait = at - backend::monotonicMs();
    if (wait <= 0)
        return;
    UniqueHandle timer(CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
    if (!timer)
        timer.reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
    LARGE_INTEGER due;
    due.QuadPart = -wait * 10000; // relative, in 100 ns
    if (timer && SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE) &&
        WaitForSingleObject(timer.get(), INFINITE) == WAIT_OBJECT_0)
        return;
    Sleep(DWORD(wait));
}

// WinHTTP connects inside WinHttpSendRequest; its status callback, on the
// calling thread, marks the moment the request itself begins to leave, and
// the end of connecting once its bytes are out (the call may wait on for
// the first bytes of the answer).
void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, void *, DWORD)
{
    Job &job = *reinterpret_cast<Job *>(context);
    if (status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST)
        job.sentAt = backend::monotonicMs();
    else if (status == WINHTTP_CALLBACK_STATUS_REQUEST_SENT)
        SetEvent(job.sent.get());
}

bool isSet(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Sets a DWORD option; false when the handle refuses it.
bool setOption(HINTERNET handle, DWORD option, DWORD value)
{
    return WinHttpSetOption(handle, option, &value, sizeof(value));
}

// On the worker thread.
HttpResponse perform(Job &job)
{
    const HttpExchange &request = job.request;
    const std::wstring url(request.url.begin(), request.url.end());
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(url.c_str(), DWORD(url.size()), 0, &parts))
        return lastFailure(false);
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    // An IPv6 literal is connected to without its brackets, and named with
    // them in the Host header. Wine's WinHttpCrackUrl cuts it at its first
    // colon, so its host, port and path are read from the URL as the
    // request's rules wrote it: scheme://[literal][:port]/path.
    std::wstring hostHeader;
    if (const std::size_t open = url.find(L"://["); open != std::wstring::npos) {
        const std::size_t close = url.find(L']', open);
        const std::size_t slash = url.find(L'/', close);
        if (close == std::wstring::npos || slash == std::wstring::npos)
            return failed(Failure::Other, ERROR_WINHTTP_INVALID_URL);
        host = url.substr(open + 4, close - open - 4);
        hostHeader = L"Host: " + url.substr(open + 3, slash - open - 3);
        path = url.substr(slash);
        if (url[close + 1] == L':')
            parts.nPort = INTERNET_PORT(std::wcstoul(url.c_str() + close + 2, nullptr, 10));
        else
            parts.nPort = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT
                                                                 : INTERNET_DEFAULT_HTTP_PORT;
    }
    if (parts.nPort == 0)
        return failed(Failure::Other, ERROR_WINHTTP_INVALID_URL);
    const std::wstring method(request.method.begin(), request.method.end());

    const UniqueInternet session = openSession();
    if (!session)
        return lastFailure(false);
    const int connect = milliseconds(request.connectTimeout);
    const int total = milliseconds(request.totalTimeout);
    // Each wait on its own bound; the waiting side keeps the bounds of all
    // (connecting as a whole, the whole exchange). The name lookup has none:
    // with one WinHTTP hands it to a pool thread, which outlives the exchange
    // as this worker would, while without one it stays on this worker.
    if (!WinHttpSetTimeouts(session.get(), 0, connect, connect, total))
        return lastFailure(false);
    const UniqueInternet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return lastFailure(false);
    const DWORD flags =
        WINHTTP_FLAG_REFRESH | (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    HINTERNET handle = WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!handle)
        return lastFailure(false);
    const PublishedRequest published(job, handle);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&job);
    if (WinHttpSetStatusCallback(handle, &onStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK ||
        !WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context)))
        return lastFailure(false);

    // The bounds below count from here.
    sleepUntil(request.sendAt);
    if (job.cancelled)
        return failed(Failure::Other, ERROR_CANCELLED);
    if (!setOption(handle, WINHTTP_OPTION_DISABLE_FEATURE,
                   WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS |
                       WINHTTP_DISABLE_AUTHENTICATION | WINHTTP_DISABLE_KEEP_ALIVE) ||
        // Wine's WinHTTP bounds every receive on the connection by this one,
        // the TLS handshake's too, as it stands when connecting.
        !setOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, until(job.deadline)) ||
        !setOption(handle, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE,
                   DWORD(request.maxHeaderBytes)) ||
        (!hostHeader.empty() &&
         !WinHttpAddRequestHeaders(handle, hostHeader.c_str(), DWORD(hostHeader.size()),
                                   WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)))
        return lastFailure(false);

    // Without the callback, the moment before the call is the nearest.
    job.startedAt = job.sentAt = backend::monotonicMs();

    // Name lookup, connecting, TLS and the request's few bytes.
    if (!WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            context))
        return lastFailure(isSet(job.sent.get()));
    // Each wait from here on ends by the whole exchange's deadline, when the
    // waiting side gives up, so that this worker does not outlive it.
    if (!setOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, until(job.deadline)) ||
        !WinHttpReceiveResponse(handle, nullptr))
        return lastFailure(true);
    HttpResponse response = headerBlock(handle, request.maxHeaderBytes);
    if (response.failure != Failure::None)
        return response;
    response.startedAt = job.startedAt;
    response.sentAt = job.sentAt;
    response.headersAt = backend::monotonicMs();
    response.status = statusOfBlock(response.rawHeaders);
    if (response.status >= 100 && response.status < 200) {
        if (!setOption(handle, WINHTTP_OPTION_RECEIVE_TIMEOUT, until(job.deadline)))
            return lastFailure(true);
        return readOnToFinal(handle, request.maxHeaderBytes, response);
    }
    if (response.status < 200)
        return failed(Failure::Other, ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    return response;
}

// The worker's hold on the job comes with its parameter.
DWORD WINAPI work(void *parameter)
{
    const std::unique_ptr<std::shared_ptr<Job>> hold(
        static_cast<std::shared_ptr<Job> *>(parameter));
    Job &job = **hold;
    job.response = perform(job);
    SetEvent(job.sent.get());
    SetEvent(job.finished.get());
    return 0;
}

} // namespace

HttpResponse backend::exchange(const HttpExchange &request)
{
    // The bounds count from the moment the request may leave.
    const auto start = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(
                           std::max<std::int64_t>(0, request.sendAt - backend::monotonicMs()));
    const auto deadline = start + request.totalTimeout;
    const auto connectDeadline = std::min(deadline, start + request.connectTimeout);
    std::shared_ptr<Job> job;
    std::unique_ptr<std::shared_ptr<Job>> workerHold;
    try {
        job = std::make_shared<Job>();
        workerHold = std::make_unique<std::shared_ptr<Job>>(job);
    } catch (const std::bad_alloc &) {
        return failed(Failure::Other, ERROR_NOT_ENOUGH_MEMORY);
    }
    job->request = request;
    job->deadline = deadline;
    job->sent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->sent)
        return failed(Failure::Other, GetLastError());
    job->finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->finished)
        return failed(Failure::Other, GetLastError());
    const UniqueHandle worker(CreateThread(nullptr, 0, &work, workerHold.get(), 0, nullptr));
    if (!worker)
        return failed(Failure::Other, GetLastError());
    workerHold.release(); // the worker's now
    // Connecting as a whole (name lookup, TCP and TLS) has its own bound,
    // which WinHTTP's per-step time-outs do not give; then the whole exchange.
    HttpResponse response;
    win32::BusyWait wait = win32::waitWhileBusy(job->sent.get(), connectDeadline);
    const bool connected = wait == win32::BusyWait::Done;
    if (connected)
        wait = win32::waitWhileBusy(job->finished.get(), deadline);
    switch (wait) {
    case win32::BusyWait::Done:
        response = std::move(job->response);
        break;
    case win32::BusyWait::TimedOut:
        job->cancel();
        response = failed(connected ? Failure::Timeout : Failure::Unreachable, ERROR_TIMEOUT);
        break;
    case win32::BusyWait::Ending:
        job->cancel();
        response = failed(Failure::Other, ERROR_CANCELLED);
        break;
    }
    return response;
}

std::optional<std::string> backend::asciiHostName(const std::string &utf8Name)
{
    const Text name = fromUtf8(utf8Name);
    const int length = IdnToAscii(0, win32::wide(name), int(name.size()), nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring ascii(std::size_t(length), L'\0');
    if (IdnToAscii(0, win32::wide(name), int(name.size()), ascii.data(), length) != length)
        return std::nullopt;
    std::string bytes;
    for (const wchar_t c : ascii) {
        if (c >= 128)
            return std::nullopt;
        bytes.push_back(char(c));
    }
    return bytes;
}

} // namespace platform
