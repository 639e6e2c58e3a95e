#pragma once

#include <QString>
#include <QTest>
#include <QtGlobal>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A port on 127.0.0.1 that never says a word. Unanswering: a connect to it
// hangs as to a host that is down, the network being only this computer's: it
// listens with a backlog of 0 and never accepts, and a first connection fills
// that queue, so the system drops every later connect's SYN. Otherwise a
// connect completes, and the server stays silent.
class SilentPort
{
public:
    enum class Connects { Never, AndNothingMore };

    explicit SilentPort(Connects connects)
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *name = reinterpret_cast<sockaddr *>(&address);
        const bool listening = ::bind(m_listener, name, length) == 0
                               && ::listen(m_listener, connects == Connects::Never ? 0 : 8) == 0
                               && ::getsockname(m_listener, name, &length) == 0;
        const bool filled = connects != Connects::Never || ::connect(m_filler, name, length) == 0;
        m_port = listening && filled ? ntohs(address.sin_port) : 0;
    }
    ~SilentPort() { ::close(m_filler), ::close(m_listener); }
    SilentPort(const SilentPort &) = delete;
    SilentPort &operator=(const SilentPort &) = delete;

    quint16 port() const { return m_port; } // 0 where it could not be set up
    // Whether a connection waits in the queue (where it stays).
    bool hasClient() const
    {
        pollfd polled{m_listener, POLLIN, 0};
        return ::poll(&polled, 1, 0) == 1;
    }

private:
    const int m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    quint16 m_port = 0;
};

Q_DECLARE_METATYPE(SilentPort::Connects)

// The two ways a server can keep a network port from opening: a connect that
// gets no answer, and an RFC 2217 server that connects and never agrees.
inline void addSilentServerRows()
{
    QTest::addColumn<SilentPort::Connects>("connects");
    QTest::addColumn<QString>("scheme");
    QTest::newRow("in the connect") << SilentPort::Connects::Never << "socket";
    QTest::newRow("in the wait for the server's agreement")
        << SilentPort::Connects::AndNothingMore << "rfc2217";
}
