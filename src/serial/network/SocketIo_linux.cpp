// The requests to end that a sleeping wait lets through are the end signals
// (EndSignals_unix.h). SIGPIPE is not one: a program that ends on it (tq905)
// means its output.
#include "SocketIo.h"

#include "EndSignals_unix.h"

#include <QHostAddress>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// After the system headers, whose types it uses.
#include "SocketAddresses.h"

bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit)
{
    const int events = ready == SocketReady::ToRead    ? POLLIN
                       : ready == SocketReady::ToWrite ? POLLOUT
                                                       : POLLRDHUP;
    return pollLettingEndSignalsThrough(static_cast<int>(descriptor), static_cast<short>(events),
                                        limit)
           != 0;
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

// How a connection failed, by the system's error code.
Transfer failed(int code)
{
    const bool unanswered = code == ETIMEDOUT || code == EHOSTUNREACH || code == ENETUNREACH;
    return {0, unanswered ? SocketEnd::Unanswered : SocketEnd::Closed,
            QString::fromLocal8Bit(std::strerror(code))};
}

// A count moved, nothing for now, or the connection's end.
Transfer transferred(ssize_t count)
{
    if (count >= 0)
        return {count, SocketEnd::Open, {}};
    return errno == EAGAIN || errno == EWOULDBLOCK ? Transfer{} : failed(errno);
}

} // namespace

std::variant<QList<QHostAddress>, QString> lookUpHost(const QString &name)
{
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int code = ::getaddrinfo(QUrl::toAce(name).constData(), nullptr, &hints, &found);
    if (code != 0)
        return QString::fromLocal8Bit(::gai_strerror(code));
    QList<QHostAddress> addresses = addressesOf(found);
    ::freeaddrinfo(found);
    return addresses;
}

ConnectAttempt startConnecting(const QHostAddress &address, quint16 port)
{
    sockaddr_storage storage;
    const int length = fillSocketAddress(storage, address, port);
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

Transfer receiveNow(qintptr descriptor, char *buffer, qint64 size)
{
    ssize_t got = 0;
    do
        got = ::recv(static_cast<int>(descriptor), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    while (got < 0 && errno == EINTR);
    if (got == 0 && size > 0)
        return {0, SocketEnd::Closed, {}};
    return transferred(got);
}

qint64 receivableNow(qintptr descriptor)
{
    int count = 0;
    return ::ioctl(static_cast<int>(descriptor), FIONREAD, &count) == 0 ? count : 0;
}

Transfer sendNow(qintptr descriptor, const char *data, qint64 size)
{
    ssize_t sent = 0;
    do
        sent = ::send(static_cast<int>(descriptor), data, static_cast<size_t>(size),
                      MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return transferred(sent);
}

void watchConnection(qintptr descriptor)
{
    const int fd = static_cast<int>(descriptor);
    const auto set = [fd](int level, int option, int value) {
        ::setsockopt(fd, level, option, &value, sizeof value);
    };
    set(IPPROTO_TCP, TCP_NODELAY, 1);
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(kUnacknowledgedLimit.count()));
    set(SOL_SOCKET, SO_KEEPALIVE, 1);
    set(IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(kIdleBeforeProbe.count()));
    set(IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(kProbeInterval.count()));
}

void acknowledgeAtOnce(qintptr descriptor)
{
    // The kernel leaves this mode by itself after a while, so it is set again
    // after every write.
    const int on = 1;
    ::setsockopt(static_cast<int>(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}
