// The requests to end that a sleeping wait lets through are the end signals
// (EndSignals_unix.h). SIGPIPE is not one: a program that ends on it (tq905)
// means its output.
#include "SocketIo.h"

#include "EndSignals_unix.h"

#include <QHostAddress>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit)
{
    const short events = ready == SocketReady::ToRead ? POLLIN : POLLOUT;
    return pollLettingEndSignalsThrough(static_cast<int>(descriptor), events, limit) != 0;
}

namespace {

void settle(ConnectAttempt &attempt, int code)
{
    if (code == 0) {
        attempt.state = Connecting::Connected;
        return;
    }
    attempt.state = code == ECONNREFUSED ? Connecting::Refused : Connecting::Failed;
    attempt.error = QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

ConnectAttempt startConnecting(const QHostAddress &address, quint16 port)
{
    sockaddr_storage storage = {};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &ipv6 = reinterpret_cast<sockaddr_in6 &>(storage);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&ipv6.sin6_addr, &bytes, sizeof bytes);
        length = sizeof ipv6;
    } else {
        auto &ipv4 = reinterpret_cast<sockaddr_in &>(storage);
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(port);
        ipv4.sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof ipv4;
    }
    ConnectAttempt attempt;
    attempt.descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (attempt.descriptor < 0) {
        settle(attempt, errno);
        return attempt;
    }
    const int fd = static_cast<int>(attempt.descriptor);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&storage), length) == 0)
        settle(attempt, 0);
    else if (errno == EINPROGRESS || errno == EINTR)
        attempt.state = Connecting::InProgress;
    else
        settle(attempt, errno);
    return attempt;
}

void checkConnecting(ConnectAttempt &attempt)
{
    int code = 0;
    socklen_t length = sizeof code;
    if (::getsockopt(static_cast<int>(attempt.descriptor), SOL_SOCKET, SO_ERROR, &code, &length)
        != 0)
        code = errno;
    settle(attempt, code);
}

void closeSocket(qintptr descriptor)
{
    ::close(static_cast<int>(descriptor));
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

qint64 receivableNow(qintptr descriptor)
{
    int count = 0;
    return ::ioctl(static_cast<int>(descriptor), FIONREAD, &count) == 0 ? count : 0;
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
