// The wait is alertable: the console's requests to end come as asynchronous
// procedure calls and end it at once. Qt keeps its sockets non-blocking, so
// reads and writes here never wait.
#include "SocketIo.h"

#include <winsock2.h>

#include <mstcpip.h>

#ifndef SIO_TCP_SET_ACK_FREQUENCY // not in every MinGW-w64's headers
#define SIO_TCP_SET_ACK_FREQUENCY _WSAIOW(IOC_VENDOR, 23)
#endif

bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit)
{
    const auto socket = static_cast<SOCKET>(descriptor);
    WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return false;
    // A condition that holds already (data waiting, room to send) signals the
    // event at once. The selection leaves the socket non-blocking, as Qt keeps it.
    const long events = (ready == SocketReady::ToRead ? FD_READ : FD_WRITE) | FD_CLOSE;
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

qint64 receiveNow(qintptr descriptor, char *buffer, qint64 size)
{
    const int got = ::recv(static_cast<SOCKET>(descriptor), buffer, static_cast<int>(size), 0);
    if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    return got > 0 ? got : -1;
}

qint64 sendNow(qintptr descriptor, const char *data, qint64 size)
{
    const int sent = ::send(static_cast<SOCKET>(descriptor), data, static_cast<int>(size), 0);
    if (sent == SOCKET_ERROR)
        return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    return sent;
}

void forgetBrokenConnectionSignal()
{
}

// Once for good: every segment is acknowledged as it comes.
void acknowledgeAtOnce(qintptr descriptor)
{
    DWORD everySegment = 1;
    DWORD returned = 0;
    ::WSAIoctl(static_cast<SOCKET>(descriptor), SIO_TCP_SET_ACK_FREQUENCY, &everySegment,
               sizeof everySegment, nullptr, 0, &returned, nullptr, nullptr);
}
