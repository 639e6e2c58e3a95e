// The wait is alertable: the console's requests to end come as asynchronous
// procedure calls and end it at once.
#include "SocketWait.h"

#include <winsock2.h>

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
        signalled = ::WaitForSingleObjectEx(event, static_cast<DWORD>(milliseconds), TRUE)
                    == WAIT_OBJECT_0;
        ::WSAEventSelect(socket, nullptr, 0);
    }
    ::WSACloseEvent(event);
    return signalled;
}

void forgetBrokenConnectionSignal() { }

void acknowledgeAtOnce(qintptr) { }
