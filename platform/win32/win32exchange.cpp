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

#include "clock.h"
#include "win32.h"
#include "win32eventloop.h"

#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <memory>
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

// What the worker and the waiting thread share; the last of the two to let
// go frees it.
struct Job {
    HttpExchange request;
    HttpResponse response;
    UniqueHandle finished; // set by the worker once `response` is written
    // The request handle while the worker uses it; whoever takes it out closes it.
    std::atomic<HINTERNET> active{nullptr};
    std::atomic<bool> cancelled{false};
    std::atomic<int> holders{2};

    void release()
    {
        if (--holders == 0)
            delete this;
    }
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

HttpResponse failed(Failure failure)
{
    HttpResponse response;
    response.failure = failure;
    return response;
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
    if (WinHttpGetIEProxyConfigForCurrentUser(&user) && user.lpszProxy) {
        session.reset(
            WinHttpOpen(Agent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, user.lpszProxy,
                        user.lpszProxyBypass ? user.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0));
    }
    for (wchar_t *text : {user.lpszAutoConfigUrl, user.lpszProxy, user.lpszProxyBypass}) {
        if (text)
            GlobalFree(text);
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

// The raw header block as bytes: WinHTTP widened each byte of it.
std::string headerBytes(HINTERNET request)
{
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(size / sizeof(wchar_t));
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t c : text)
        bytes.push_back(c < 256 ? char(c) : '?');
    return bytes;
}

int statusOf(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return int(status);
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
                return failed(Failure::Other);
            if (status >= 200) {
                response.status = status;
                response.rawHeaders = stream.substr(0, end + 4);
                response.headersAt = SystemClock::monotonicMs();
                return response;
            }
            stream.erase(0, end + 4);
        }
        if (stream.size() > maxHeaderBytes)
            return failed(Failure::Other);
        DWORD got = 0;
        if (!WinHttpReadData(handle, buffer, sizeof(buffer), &got))
            return failed(GetLastError() == ERROR_WINHTTP_TIMEOUT ? Failure::Timeout
                                                                  : Failure::Other);
        if (got == 0) // the server hung up before a final response
            return failed(Failure::Other);
        stream.append(buffer, got);
    }
}

// On the worker thread: sleeps until the monotonic time `at`, on a
// high-resolution timer where the system has one.
void sleepUntil(std::int64_t at)
{
    const std::int64_t wait = at - SystemClock::monotonicMs();
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

// WinHTTP connects inside WinHttpSendRequest; its status callback marks the
// moment the request itself begins to leave, on the calling thread.
void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, void *, DWORD)
{
    if (status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST && context)
        *reinterpret_cast<std::int64_t *>(context) = SystemClock::monotonicMs();
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
    if (!WinHttpCrackUrl(url.c_str(), DWORD(url.size()), 0, &parts) || parts.nPort == 0)
        return failed(Failure::Other);
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const std::wstring method(request.method.begin(), request.method.end());

    const UniqueInternet session = openSession();
    if (!session)
        return failed(Failure::Other);
    const int connect = milliseconds(request.connectTimeout);
    const int total = milliseconds(request.totalTimeout);
    // Each wait on its own bound; the waiting side keeps the bound of all.
    WinHttpSetTimeouts(session.get(), connect, connect, total, total);
    const UniqueInternet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection)
        return failed(Failure::Other);
    const DWORD flags =
        WINHTTP_FLAG_REFRESH | (parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    HINTERNET handle = WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (!handle)
        return failed(Failure::Other);
    const PublishedRequest published(job, handle);

    DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS |
                     WINHTTP_DISABLE_AUTHENTICATION | WINHTTP_DISABLE_KEEP_ALIVE;
    if (!WinHttpSetOption(handle, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features)))
        return failed(Failure::Other);
    DWORD maxHeaders = DWORD(request.maxHeaderBytes);
    WinHttpSetOption(handle, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &maxHeaders,
                     sizeof(maxHeaders));

    // Without the callback, the moment before the call is the nearest.
    WinHttpSetStatusCallback(handle, &onStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);
    sleepUntil(request.sendAt);
    if (job.cancelled)
        return failed(Failure::Other);
    std::int64_t sentAt = SystemClock::monotonicMs();

    // Name lookup, connecting and the request's few bytes: a failure here is
    // a server not found or not reached.
    if (!WinHttpSendRequest(handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            reinterpret_cast<DWORD_PTR>(&sentAt))) {
        switch (GetLastError()) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_TIMEOUT:
            return failed(Failure::Unreachable);
        default:
            return failed(Failure::Other);
        }
    }
    if (!WinHttpReceiveResponse(handle, nullptr))
        return failed(GetLastError() == ERROR_WINHTTP_TIMEOUT ? Failure::Timeout : Failure::Other);
    HttpResponse response;
    response.sentAt = sentAt;
    response.headersAt = SystemClock::monotonicMs();
    response.status = statusOf(handle);
    response.rawHeaders = headerBytes(handle);
    if (response.status >= 100 && response.status < 200)
        return readOnToFinal(handle, request.maxHeaderBytes, response);
    if (response.status < 200)
        return failed(Failure::Other);
    return response;
}

DWORD WINAPI work(void *parameter)
{
    Job &job = *static_cast<Job *>(parameter);
    job.response = perform(job);
    SetEvent(job.finished.get());
    job.release();
    return 0;
}

} // namespace

HttpResponse backend::exchange(const HttpExchange &request)
{
    // The bound of the exchange counts from the moment the request may leave.
    const auto deadline = std::chrono::steady_clock::now() + request.totalTimeout +
                          std::chrono::milliseconds(std::max<std::int64_t>(
                              0, request.sendAt - SystemClock::monotonicMs()));
    Job *job = new (std::nothrow) Job;
    if (!job)
        return failed(Failure::Other);
    job->request = request;
    job->finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle worker(job->finished ? CreateThread(nullptr, 0, &work, job, 0, nullptr)
                                            : nullptr);
    if (!worker) {
        delete job;
        return failed(Failure::Other);
    }
    HttpResponse response;
    switch (win32::waitWhileBusy(job->finished.get(), deadline)) {
    case win32::BusyWait::Done:
        response = std::move(job->response);
        break;
    case win32::BusyWait::TimedOut:
        job->cancel();
        response = failed(Failure::Timeout);
        break;
    case win32::BusyWait::Ending:
        job->cancel();
        response = failed(Failure::Other);
        break;
    }
    job->release();
    return response;
}

} // namespace platform
