/* A connect() that waits: preloaded (LD_PRELOAD) into the clock, or under
 * Wine into the prefix's Wine server, which makes the program's connections,
 * it holds every connect() to an IPv4 or IPv6 address on one TCP port for a
 * while before making it, as a distant server's round trip or a TLS handshake
 * would hold the query. Everything else (X11, D-Bus, other ports) goes
 * straight through.
 *
 *   CONNECT_DELAY_PORT  the port whose connects wait (none: the shim does nothing)
 *   CONNECT_DELAY_MS    how long, ms
 *   CONNECT_DELAY_LOG   a file that gets one line per delayed connect:
 *                       "<wall ns> <pid> <executable>", to show where it happened
 *
 * The wait blocks the thread that connects, a non-blocking socket's too: in
 * the Linux program that is the UI thread (the query runs on it), under Wine
 * the whole Wine server for that time.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

typedef int (*connect_fn)(int, const struct sockaddr *, socklen_t);

static int port_of(const struct sockaddr *addr, socklen_t len)
{
    if (!addr)
        return -1;
    if (addr->sa_family == AF_INET && len >= (socklen_t)sizeof(struct sockaddr_in))
        return ntohs(((const struct sockaddr_in *)addr)->sin_port);
    if (addr->sa_family == AF_INET6 && len >= (socklen_t)sizeof(struct sockaddr_in6))
        return ntohs(((const struct sockaddr_in6 *)addr)->sin6_port);
    return -1;
}

static void note(void)
{
    const char *path = getenv("CONNECT_DELAY_LOG");
    if (!path || !*path)
        return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char exe[512] = "?";
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0)
        exe[n] = '\0';
    char line[700];
    const int len = snprintf(line, sizeof line, "%lld %d %s\n",
                             (long long)now.tv_sec * 1000000000LL + now.tv_nsec, (int)getpid(), exe);
    /* One write() to an O_APPEND file: lines of several processes never mix. */
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (len > 0 && write(fd, line, (size_t)len) < 0) {
        /* nothing to do: the log is a diagnostic */
    }
    close(fd);
}

int connect(int fd, const struct sockaddr *addr, socklen_t len)
{
    static connect_fn real;
    if (!real)
        real = (connect_fn)dlsym(RTLD_NEXT, "connect");
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const char *port = getenv("CONNECT_DELAY_PORT");
    const char *ms = getenv("CONNECT_DELAY_MS");
    if (port && ms && port_of(addr, len) == atoi(port)) {
        const long wait = atol(ms);
        note();
        struct timespec left = {wait / 1000, (wait % 1000) * 1000000L};
        const int saved = errno;
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
        errno = saved;
    }
    return real(fd, addr, len);
}
