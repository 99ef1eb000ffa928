// SPDX-License-Identifier: MIT
// Runs the program's request object, as the time query does, against one URL
// REPEAT times (default 2) and prints each outcome, then the process's open
// files (Linux) or handles (Windows) after the first and the last exchange and
// its threads before the first and after the last, once settled; built in both
// back ends, so that one table of servers (hostile_http.py) checks both.
#include "httprequest.h"
#include "runtimeerror.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace platform;

namespace
{

struct Counts {
    int resources = 0, threads = 0;
};

#ifdef _WIN32
int threadCount()
{
    int threads = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Thread32First(snapshot, &entry); more;
         more = Thread32Next(snapshot, &entry))
        threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    if (snapshot != INVALID_HANDLE_VALUE)
        CloseHandle(snapshot);
    return threads;
}

int openCount()
{
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles)
        return int(handles);
    // Wine's count says 0: each handle by its value instead. Wine hands out
    // the lowest free value first, so a long run of unused ones ends the
    // table.
    int open = 0;
    ULONG_PTR unused = 0;
    for (ULONG_PTR value = 4; unused < 256 && value < 0x10000; value += 4) {
        DWORD flags = 0;
        const bool used = GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
        open += used;
        unused = used ? 0 : unused + 1;
    }
    return open;
}
#else
int entries(const char *directory)
{
    int count = 0;
    if (DIR *dir = opendir(directory)) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

int threadCount()
{
    return entries("/proc/self/task");
}

int openCount()
{
    return entries("/proc/self/fd");
}
#endif

// The counts once what the exchange left closing has closed: threads back
// to `threads`, open handles or files to `resources`, within a second and a
// half. Threads first: they are cheap to count, and handles close before
// their thread ends.
Counts settledCounts(int threads, int resources)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    Counts now;
    for (;;) {
        const bool late = std::chrono::steady_clock::now() > deadline;
        now.threads = threadCount();
        if (now.threads <= threads || late) {
            now.resources = openCount();
            if (now.resources <= resources || late)
                return now;
        }
#ifdef _WIN32
        Sleep(50); // the first sleep_for opens two handles for good
#else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
#endif
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: httpprobe URL [REPEAT]\n");
        return 2;
    }
#ifdef _WIN32
    // The URL as typed, not through the ANSI code page.
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const Text url =
        wide && count > 1 ? Text(reinterpret_cast<const char16_t *>(wide[1])) : fromUtf8(argv[1]);
    LocalFree(wide);
#else
    const Text url = fromUtf8(argv[1]);
#endif
    const int repeat = argc > 2 ? std::atoi(argv[2]) : 2;
    const int threadsBefore = threadCount();
    Counts first;
    Counts last;
    for (int i = 1; i <= repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        int code = 0;
        Text date;
        try {
            XmlHttpRequest request;
            request.Open(u"POST", url, false);
            request.send();
            date = request.getResponseHeader(u"Date");
        } catch (const RuntimeError &error) {
            code = error.number();
        }
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        std::printf("exchange %d code=0x%08X ms=%lld date=%s\n", i, unsigned(code),
                    static_cast<long long>(ms), toUtf8(date).c_str());
        std::fflush(stdout);
        // The first exchange may open what stays open for good (libraries
        // loaded, settings read); from then on nothing may be added.
        last = settledCounts(threadsBefore, i == 1 ? INT_MAX : first.resources);
        if (i == 1)
            first = last;
    }
    std::printf("resources first=%d last=%d threads before=%d last=%d\n", first.resources,
                last.resources, threadsBefore, last.threads);
    return 0;
}
