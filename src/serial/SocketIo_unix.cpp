// The requests to end that a sleeping wait lets through are SIGINT, SIGTERM and
// SIGHUP. SIGPIPE is not one: a program that ends on it (tq905) means its output.
#include "SocketIo.h"

#include <cerrno>
#include <csignal>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit)
{
    // A look that does not sleep needs no signal let through.
    sigset_t letThrough;
    if (limit.count() > 0) {
        ::pthread_sigmask(SIG_BLOCK, nullptr, &letThrough);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigdelset(&letThrough, signal);
    }
    const short events = ready == SocketReady::ToRead ? POLLIN : POLLOUT;
    pollfd socket{static_cast<int>(descriptor), events, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    const timespec timeout{seconds.count(), std::chrono::nanoseconds(limit - seconds).count()};
    return ::ppoll(&socket, 1, &timeout, limit.count() > 0 ? &letThrough : nullptr) == 1;
}

qint64 receiveNow(qintptr descriptor, char *buffer, qint64 size)
{
    ssize_t got = 0;
    do
        got = ::recv(static_cast<int>(descriptor), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    return got > 0 ? got : -1;
}

qint64 sendNow(qintptr descriptor, const char *data, qint64 size)
{
    ssize_t sent = 0;
    do
        sent = ::send(static_cast<int>(descriptor), data, static_cast<size_t>(size),
                      MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    return sent;
}

void forgetBrokenConnectionSignal()
{
    sigset_t pipe;
    ::sigemptyset(&pipe);
    ::sigaddset(&pipe, SIGPIPE);
    sigset_t pending;
    // Only a blocked signal stays pending; an unblocked one Qt ignores.
    if (::sigpending(&pending) != 0 || ::sigismember(&pending, SIGPIPE) != 1)
        return;
    const timespec now{0, 0};
    ::sigtimedwait(&pipe, nullptr, &now);
}

void acknowledgeAtOnce(qintptr descriptor)
{
    // The kernel leaves this mode by itself after a while, so it is set again
    // after every write.
    const int on = 1;
    ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}
