#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>

namespace platform
{

// A synchronous HTTP request over libcurl, one object per exchange. Failures
// raise RuntimeError with one of the codes below as its number.
//
// Only absolute http and https URLs are requested; redirects are not
// followed, so the headers are those of the first response, whatever its
// status. Receiving stops as soon as the response headers are complete: the
// body is never read. Proxies come from the usual environment variables, as
// for any libcurl program; https is verified against the system's store.
class XmlHttpRequest
{
  public:
    enum FailureCode : int {
        // Not found or unreachable: the host or proxy name did not resolve,
        // the connection was refused or could not be made, or connecting
        // (TCP and TLS handshake) took longer than the connect time-out.
        ResourceNotFound = static_cast<int>(0x800C0005),
        // Not an absolute http or https URL; nothing is contacted.
        InvalidUrl = static_cast<int>(0x800C0002),
        // Connected, but the exchange outlasted the whole-exchange time-out.
        Timeout = static_cast<int>(0x800C000B),
        // The certificate or the TLS handshake was rejected.
        SecurityProblem = static_cast<int>(0x800C000E),
        // Any other failure of the exchange, oversized headers included.
        DownloadFailure = static_cast<int>(0x800C0008),
        // A method that is not a plain token, or an asynchronous open.
        InvalidRequest = static_cast<int>(0x800C000C),
        // Members called out of order (send before Open, headers before send).
        InvalidState = static_cast<int>(0x8000FFFF),
        // libcurl could not create a handle.
        CreationFailure = static_cast<int>(0x8007000E),
    };

    enum ReadyState : int {
        Unsent = 0,
        Opened = 1,
        Done = 4,
    };

    static constexpr std::chrono::milliseconds DefaultConnectTimeout{5000};
    static constexpr std::chrono::milliseconds DefaultTotalTimeout{10000};
    // Response headers beyond this many bytes fail the exchange.
    static constexpr int MaxHeaderBytes = 64 * 1024;

    XmlHttpRequest();
    ~XmlHttpRequest();
    XmlHttpRequest(const XmlHttpRequest &) = delete;
    XmlHttpRequest &operator=(const XmlHttpRequest &) = delete;

    // Only synchronous requests are supported: async must be false.
    void Open(const QString &method, const QString &url, bool async);
    // Returns when the response headers have arrived; raises on failure.
    void send();
    // The value of a response header, names compared without case; repeated
    // headers are joined with ", ". "" when there is no such header.
    QString getResponseHeader(const QString &name) const;
    int readyState() const { return m_readyState; }

    // Lets tests shorten the waits; the defaults are restored by resetTimeouts.
    static void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);
    static void resetTimeouts();

  private:
    struct CurlDeleter {
        void operator()(void *handle) const;
    };
    struct Header {
        QByteArray name;
        QByteArray value;
    };

    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    void addHeaderLine(const QByteArray &line);
    [[noreturn]] void fail(int code, const QString &description) const;

    std::unique_ptr<void, CurlDeleter> m_curl;
    QByteArray m_method;
    QByteArray m_url;
    QList<Header> m_headers;
    qsizetype m_headerBytes = 0;
    bool m_headersComplete = false;
    bool m_headersTooLarge = false;
    int m_readyState = Unsent;
};

} // namespace platform
