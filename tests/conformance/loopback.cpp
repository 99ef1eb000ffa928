// SPDX-License-Identifier: MIT
// driver::serve for the real back ends: one server on 127.0.0.1, on a thread
// of its own, for the next exchange. Winsock under Windows, BSD sockets
// elsewhere.
#include "driver.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
constexpr Socket INVALID_SOCKET = -1;
inline int closesocket(Socket s)
{
    return ::close(s);
}
#endif

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace
{

using driver::Server;

// Waits up to 20 ms for `s` to be readable.
bool readable(Socket s)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, 20000};
    return select(int(s + 1), &set, nullptr, nullptr, &wait) > 0;
}

class Loopback
{
  public:
    Loopback(Server server, int delayMs) : m_server(server), m_delay(delayMs)
    {
#ifdef _WIN32
        static const bool started = [] {
            WSADATA data;
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        if (!started)
            throw std::runtime_error("WSAStartup failed");
#endif
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_listener == INVALID_SOCKET ||
            bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            throw std::runtime_error("no loopback socket");
        m_port = ntohs(address.sin_port);
        // A refusing server: the port was free a moment ago and nothing
        // listens on it.
        if (server == Server::Refusing) {
            closesocket(m_listener);
            m_listener = INVALID_SOCKET;
            return;
        }
        if (listen(m_listener, 4) != 0)
            throw std::runtime_error("cannot listen on loopback");
        m_thread = std::thread([this] { run(); });
    }

    ~Loopback()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener != INVALID_SOCKET)
            closesocket(m_listener);
    }

    std::string url() const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/";
    }

  private:
    void run()
    {
        while (!m_stop && !readable(m_listener)) {
        }
        if (m_stop)
            return;
        const Socket connection = accept(m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            return;
        std::string request;
        char buffer[4096];
        while (!m_stop && request.find("\r\n\r\n") == std::string::npos) {
            if (!readable(connection))
                continue;
            const int got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, std::size_t(got));
        }
        const auto answerAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_delay);
        while (!m_stop && std::chrono::steady_clock::now() < answerAt)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string answer;
        if (m_server == Server::Answering)
            answer = driver::Reply;
        else if (m_server == Server::Malformed)
            answer = "garbage\r\n\r\n";
        if (!m_stop && !answer.empty())
            send(connection, answer.data(), int(answer.size()), 0);
        // Silent, or done: the connection stays until the client hangs up.
        while (!m_stop) {
            if (readable(connection) && recv(connection, buffer, sizeof buffer, 0) <= 0)
                break;
        }
        closesocket(connection);
    }

    Server m_server;
    int m_delay;
    Socket m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::unique_ptr<Loopback> current;

} // namespace

namespace driver
{

std::string serve(Server server, int delayMs)
{
    current.reset();
    current = std::make_unique<Loopback>(server, delayMs);
    return current->url();
}

} // namespace driver
