// SPDX-License-Identifier: MIT
#pragma once

#include <httplib.h>

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// An HTTP server on 127.0.0.1 and a free port, serving the routes given to it
// from its own thread until it goes out of scope.
class TestServer
{
  public:
    struct Seen {
        int count = 0;
        std::string method;
        std::string target;
        std::string body;
        std::string contentLength;
        std::string contentType;
    };

    // Answers every POST with this status and, unless null, this Date header.
    TestServer(int status, std::optional<std::string> date)
        : TestServer([this, status, date](httplib::Server &routes) {
              routes.Post(".*", [this, status, date](const httplib::Request &request,
                                                     httplib::Response &response) {
                  record(request);
                  response.status = status;
                  if (date)
                      response.set_header("Date", *date);
              });
          })
    {
    }

    explicit TestServer(const std::function<void(httplib::Server &)> &routes)
    {
        m_server.set_keep_alive_max_count(1);
        m_server.set_read_timeout(2);
        m_server.set_write_timeout(2);
        routes(m_server);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        // Already listening: a client may connect before the thread accepts.
        if (m_port <= 0)
            return;
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() is ignored until the accept loop runs, so wait for it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~TestServer()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    int port() const { return m_port; }
    QString url(const QString &path = QStringLiteral("/")) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

    // Handlers call this to let the test see the request.
    void record(const httplib::Request &request)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_seen.count;
        m_seen.method = request.method;
        m_seen.target = request.target;
        m_seen.body = request.body;
        m_seen.contentLength = request.get_header_value("Content-Length");
        m_seen.contentType = request.get_header_value("Content-Type");
    }

    Seen seen() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
    mutable std::mutex m_mutex;
    Seen m_seen;
};

// A TCP socket bound to a free port on 127.0.0.1 (in `address`), listening
// with `backlog` unless that is negative; -1 if any step fails.
inline int loopbackSocket(sockaddr_in &address, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Serves one fixed response, byte for byte, to every connection on 127.0.0.1:
// for responses that an HTTP library would refuse to write, such as a folded
// header line.
class RawServer
{
  public:
    explicit RawServer(std::string response) : m_response(std::move(response))
    {
        sockaddr_in address;
        m_listener = loopbackSocket(address, 4);
        if (m_listener < 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~RawServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    RawServer(const RawServer &) = delete;
    RawServer &operator=(const RawServer &) = delete;

    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    // Requests answered so far.
    int count() const { return m_count; }

  private:
    void serve()
    {
        while (!m_stop) {
            pollfd ready{m_listener, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                continue;
            const timeval wait{2, 0};
            ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            // The request's headers, then the answer; nothing else is read.
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, size_t(got));
            }
            ++m_count;
            ::send(client, m_response.data(), m_response.size(), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    std::string m_response;
    int m_listener = -1;
    int m_port = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_count{0};
    std::thread m_thread;
};

// A socket that listens on 127.0.0.1 but never accepts: the kernel completes
// the connection and nothing is ever answered.
class SilentServer
{
  public:
    SilentServer()
    {
        sockaddr_in address;
        m_socket = loopbackSocket(address, 4);
        if (m_socket < 0)
            return;
        m_port = ntohs(address.sin_port);
    }

    ~SilentServer()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }

  private:
    int m_socket = -1;
    int m_port = -1;
};

// A listener whose queue of connections is already full, so that a further
// connection attempt is never completed and runs into the connect time-out.
class FullServer
{
  public:
    FullServer()
    {
        sockaddr_in address;
        m_listener = loopbackSocket(address, 0);
        if (m_listener < 0)
            return;
        const socklen_t length = sizeof address;
        // The first connection fills the queue; the others stay half-open.
        for (int i = 0; i < 3; ++i) {
            m_fillers[i] = ::socket(AF_INET, i == 0 ? SOCK_STREAM : SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (::connect(m_fillers[i], reinterpret_cast<sockaddr *>(&address), length) != 0 &&
                i == 0)
                return;
        }
        m_port = ntohs(address.sin_port);
    }

    ~FullServer()
    {
        for (const int filler : m_fillers) {
            if (filler >= 0)
                ::close(filler);
        }
        if (m_listener >= 0)
            ::close(m_listener);
    }

    FullServer(const FullServer &) = delete;
    FullServer &operator=(const FullServer &) = delete;

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    int port() const { return m_port; }

  private:
    int m_listener = -1;
    int m_fillers[3] = {-1, -1, -1};
    int m_port = -1;
};

// A port on 127.0.0.1 that was free a moment ago and on which nothing listens.
inline int closedPort()
{
    sockaddr_in address;
    const int probe = loopbackSocket(address, -1);
    if (probe < 0)
        return -1;
    ::close(probe);
    return ntohs(address.sin_port);
}
