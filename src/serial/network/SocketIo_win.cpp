// The wait is alertable: the console's requests to end come as asynchronous
// procedure calls and end it at once. The socket is non-blocking from its
// start, so reads and writes here never wait.
#include "SocketIo.h"

#include <QHostAddress>
#include <QUrl>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>

// After the system headers, whose types it uses.
#include "SocketAddresses.h"

#ifndef SIO_TCP_SET_ACK_FREQUENCY // not in every MinGW-w64's headers
#define SIO_TCP_SET_ACK_FREQUENCY _WSAIOW(IOC_VENDOR, 23)
#endif
#ifndef TCP_MAXRT
#define TCP_MAXRT 5
#endif

bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit)
{
    const auto socket = static_cast<SOCKET>(descriptor);
    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return false;
    // A condition that holds already (data waiting, room to send) signals the
    // event at once. The selection leaves the socket non-blocking, as Qt keeps it.
    // A connect that fails tells only FD_CONNECT.
    const long events = (ready == SocketReady::ToRead    ? FD_READ
                         : ready == SocketReady::ToWrite ? FD_WRITE | FD_CONNECT
                                                         : 0)
                        | FD_CLOSE;
    bool signalled = false;
    if (::WSAEventSelect(socket, event, events) == 0) {
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(limit).count();
        signalled =
            ::WaitForSingleObjectEx(event, static_cast<DWORD>(milliseconds), TRUE) == WAIT_OBJECT_0;
        ::WSAEventSelect(socket, nullptr, 0);
    }
    ::WSACloseEvent(event);
    return signalled;
}

namespace {

// Qt starts Windows Sockets for sockets of its own only.
void startWindowsSockets()
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started)
}

void settle(ConnectAttempt &attempt, int code)
{
    if (code == 0) {
        attempt.state = Connecting::Connected;
        return;
    }
    attempt.state = code == WSAECONNREFUSED ? Connecting::Refused : Connecting::Failed;
    attempt.error = qt_error_string(code);
}

Transfer failed(int code)
{
    const bool unanswered =
        code == WSAETIMEDOUT || code == WSAEHOSTUNREACH || code == WSAENETUNREACH;
    return {0, unanswered ? SocketEnd::Unanswered : SocketEnd::Closed, qt_error_string(code)};
}

// A count moved, nothing for now, or the connection's end.
Transfer transferred(int count)
{
    if (count != SOCKET_ERROR)
        return {count, SocketEnd::Open, {}};
    const int code = ::WSAGetLastError();
    return code == WSAEWOULDBLOCK ? Transfer{} : failed(code);
}

} // namespace

std::variant<QList<QHostAddress>, QString> lookUpHost(const QString &name)
{
    startWindowsSockets();
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int code = ::getaddrinfo(QUrl::toAce(name).constData(), nullptr, &hints, &found);
    if (code != 0)
        return qt_error_string(code);
    QList<QHostAddress> addresses = addressesOf(found);
    ::freeaddrinfo(found);
    return addresses;
}

ConnectAttempt startConnecting(const QHostAddress &address, quint16 port)
{
    sockaddr_storage storage;
    const int length = fillSocketAddress(storage, address, port);
    startWindowsSockets();
    ConnectAttempt attempt;
    const SOCKET socket = ::WSASocketW(storage.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        settle(attempt, ::WSAGetLastError());
        return attempt;
    }
    attempt.descriptor = static_cast<qintptr>(socket);
    u_long nonBlocking = 1;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&storage), length) == 0)
        settle(attempt, 0);
    else if (::WSAGetLastError() == WSAEWOULDBLOCK)
        attempt.state = Connecting::InProgress;
    else
        settle(attempt, ::WSAGetLastError());
    return attempt;
}

void checkConnecting(ConnectAttempt &attempt)
{
    int code = 0;
    int length = sizeof code;
    if (::getsockopt(static_cast<SOCKET>(attempt.descriptor), SOL_SOCKET, SO_ERROR,
                     reinterpret_cast<char *>(&code), &length)
        != 0)
        code = ::WSAGetLastError();
    settle(attempt, code);
}

void closeSocket(qintptr descriptor)
{
    ::closesocket(static_cast<SOCKET>(descriptor));
}

Transfer receiveNow(qintptr descriptor, char *buffer, qint64 size)
{
    const int got = ::recv(static_cast<SOCKET>(descriptor), buffer, static_cast<int>(size), 0);
    if (got == 0 && size > 0)
        return {0, SocketEnd::Closed, {}};
    return transferred(got);
}

qint64 receivableNow(qintptr descriptor)
{
    u_long count = 0;
    return ::ioctlsocket(static_cast<SOCKET>(descriptor), FIONREAD, &count) == 0 ? count : 0;
}

Transfer sendNow(qintptr descriptor, const char *data, qint64 size)
{
    return transferred(::send(static_cast<SOCKET>(descriptor), data, static_cast<int>(size), 0));
}

// The system probes an idle connection ten times before it gives it up.
void watchConnection(qintptr descriptor)
{
    const auto socket = static_cast<SOCKET>(descriptor);
    const auto set = [socket](int level, int option, DWORD value) {
        ::setsockopt(socket, level, option, reinterpret_cast<const char *>(&value), sizeof value);
    };
    set(IPPROTO_TCP, TCP_NODELAY, 1);
    set(IPPROTO_TCP, TCP_MAXRT,
        static_cast<DWORD>(std::chrono::ceil<std::chrono::seconds>(kUnacknowledgedLimit).count()));
    tcp_keepalive probes = {1, static_cast<ULONG>(kIdleBeforeProbe.count() * 1000),
                            static_cast<ULONG>(kProbeInterval.count() * 1000)};
    DWORD returned = 0;
    ::WSAIoctl(socket, SIO_KEEPALIVE_VALS, &probes, sizeof probes, nullptr, 0, &returned, nullptr,
               nullptr);
}

// Once for good: every segment is acknowledged as it comes.
void acknowledgeAtOnce(qintptr descriptor)
{
    DWORD everySegment = 1;
    DWORD returned = 0;
    ::WSAIoctl(static_cast<SOCKET>(descriptor), SIO_TCP_SET_ACK_FREQUENCY, &everySegment,
               sizeof everySegment, nullptr, 0, &returned, nullptr, nullptr);
}
