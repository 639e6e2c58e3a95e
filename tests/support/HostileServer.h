#pragma once

#include "OwnNetwork.h"
#include "PtyPair.h"
#include "Ser2net.h"
#include "SilentPort.h"

#include <QByteArray>
#include <QTcpSocket>
#include <QTest>
#include <QtGlobal>

#include <atomic>
#include <thread>

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A server on 127.0.0.1 that misbehaves in one way, on threads of its own, so
// that it goes on however long the program under test keeps its event loop.
// Over RFC 2217 it first agrees as a server should: COM-PORT-OPTION, BINARY
// both ways, the four line settings answered as asked.
class HostileServer
{
public:
    enum class Kind {
        Storm,      // after the RTS request: BINARY and SUPPRESS-GO-AHEAD turned on and off
                    // without end, never reading again
        TalksFirst, // 8 KiB of a board's talk before anything else, then quiet
        Flood,      // once agreed over RFC 2217 (a discard never confirmed), after the query's
                    // frame over raw TCP: 1 MiB at a time from two threads, without pause
    };

    HostileServer(Kind kind, bool rfc2217)
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *name = reinterpret_cast<sockaddr *>(&address);
        if (::bind(m_listener, name, length) == 0 && ::listen(m_listener, 1) == 0
            && ::getsockname(m_listener, name, &length) == 0)
            m_port = ntohs(address.sin_port);
        m_server = std::thread([this, kind, rfc2217] { serve(kind, rfc2217); });
    }
    ~HostileServer()
    {
        m_stop = true;
        m_server.join();
        if (m_second.joinable())
            m_second.join();
        ::close(m_client), ::close(m_listener);
    }
    HostileServer(const HostileServer &) = delete;
    HostileServer &operator=(const HostileServer &) = delete;

    quint16 port() const { return m_port; }
    // Whether it has begun to misbehave.
    bool started() const { return m_started; }

private:
    static QByteArray sub(std::initializer_list<int> body)
    {
        QByteArray bytes("\xFF\xFA\x2C");
        for (const int byte : body)
            bytes += static_cast<char>(byte);
        return bytes + "\xFF\xF0";
    }

    // Waits for the socket in short looks, so that the server ends with its owner.
    bool await(short events)
    {
        pollfd polled{m_client, events, 0};
        while (!m_stop)
            if (::poll(&polled, 1, 20) == 1)
                return true;
        return false;
    }
    bool sendAll(const QByteArray &bytes)
    {
        for (qsizetype sent = 0; sent < bytes.size() && await(POLLOUT);) {
            const ssize_t count = ::send(m_client, bytes.constData() + sent, bytes.size() - sent,
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
            if (count < 0 && errno != EAGAIN)
                return false;
            sent += std::max<ssize_t>(count, 0);
        }
        return !m_stop;
    }
    bool readUntil(const QByteArray &needle)
    {
        while (!m_received.contains(needle) && await(POLLIN)) {
            char buffer[4096];
            const ssize_t count = ::recv(m_client, buffer, sizeof buffer, 0);
            if (count <= 0)
                return false;
            m_received.append(buffer, count);
        }
        return !m_stop;
    }

    void serve(Kind kind, bool rfc2217)
    {
        pollfd listening{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&listening, 1, 20) != 1) { }
        m_client = m_stop ? -1 : ::accept(m_listener, nullptr, nullptr);
        if (kind == Kind::TalksFirst) {
            m_started = true;
            sendAll(QByteArray(8192, 'y'));
            readUntil("never");
            return;
        }
        if (rfc2217
            && !(sendAll(QByteArray("\xFF\xFD\x2C\xFF\xFD\x00\xFF\xFB\x00", 9))
                 && readUntil(sub({5, 1}))
                 && sendAll(sub({101, 0, 0, 0x25, 0x80}) + sub({102, 8}) + sub({103, 1})
                            + sub({104, 1}))))
            return;
        if (kind == Kind::Storm && (!rfc2217 || readUntil(sub({5, 11})))) {
            m_started = true;
            const QByteArray storm =
                QByteArray("\xFF\xFB\x00\xFF\xFC\x00\xFF\xFD\x03\xFF\xFE\x03", 12);
            while (sendAll(storm.repeated(1024))) { }
        }
        if (kind == Kind::Flood && (rfc2217 || readUntil("\r"))) {
            m_started = true;
            m_second = std::thread([this] {
                while (sendAll(QByteArray(1 << 20, 'x'))) { }
            });
            while (sendAll(QByteArray(1 << 20, 'x'))) { }
        }
    }

    const int m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int m_client = -1;
    quint16 m_port = 0;
    QByteArray m_received;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_started{false};
    std::thread m_server;
    std::thread m_second; // the flood's
};

// The table of servers that misbehave, each row for tq905 and for the panel:
// how the server misbehaves, over which scheme, and what the operator is told.
// A vanished host is a server on a network of the test's own whose loopback
// goes down (OwnNetwork.h); a busy port is ser2net's with another client on it.
enum class Hostile { Storm, TalksFirst, Flood, Vanishes, Busy };
Q_DECLARE_METATYPE(Hostile)

inline void addHostileServerRows()
{
    QTest::addColumn<Hostile>("hostile");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("told");
    QTest::addColumn<int>("status"); // tq905's
    QTest::newRow("a storm of negotiations that never reads")
        << Hostile::Storm << "rfc2217"
        << "keeps changing its telnet options" << 4;
    QTest::newRow("more than 4096 bytes before agreeing") << Hostile::TalksFirst << "rfc2217"
                                                          << "does not speak RFC 2217" << 3;
    QTest::newRow("a fast flood during a wait") << Hostile::Flood << "rfc2217"
                                                << "Receive ERR" << 1;
    QTest::newRow("a fast flood during a wait, raw TCP") << Hostile::Flood << "socket"
                                                         << "Receive ERR" << 1;
    QTest::newRow("a vanished host") << Hostile::Vanishes << "socket"
                                     << "stopped answering" << 4;
    QTest::newRow("a busy ser2net port") << Hostile::Busy << "rfc2217"
                                         << "Port already in use" << 3;
    QTest::newRow("a busy ser2net port, raw TCP") << Hostile::Busy << "socket"
                                                  << "Port already in use" << 3;
}

// Floods and storms take the processor while they last: they run alone
// (ctest's RUN_SERIAL, by an entry of their own), the other rows with the rest.
// Why a row is not run here; nothing where it is.
inline const char *runsElsewhere(Hostile hostile)
{
    const bool alone = hostile == Hostile::Storm || hostile == Hostile::Flood;
    if (alone == qEnvironmentVariableIsSet("TQ905_ALONE"))
        return nullptr;
    return alone ? "runs alone, in its own ctest entry" : "runs with the others";
}

// A row's server, set up: its address, and whether it has begun to misbehave
// (a vanished host: once the client's connection has come, its loopback goes).
class HostileScene
{
public:
    HostileScene(Hostile hostile, const QString &scheme)
        : m_hostile(hostile)
    {
        quint16 port = 0;
        if (hostile == Hostile::Vanishes) {
            port = m_vanishing.emplace(SilentPort::Connects::AndNothingMore).port();
        } else if (hostile == Hostile::Busy) {
            m_line.emplace();
            port =
                m_ser2net
                    .emplace(m_line->devicePath(), scheme == u"rfc2217" ? Ser2net::Accepter::Rfc2217
                                                                        : Ser2net::Accepter::RawTcp)
                    .port();
            m_otherClient.connectToHost(QHostAddress::LocalHost, port);
            m_otherClient.waitForConnected(1000);
            QTest::qWait(200); // ser2net has taken it
        } else {
            port = m_server
                       .emplace(hostile == Hostile::Storm        ? HostileServer::Kind::Storm
                                : hostile == Hostile::TalksFirst ? HostileServer::Kind::TalksFirst
                                                                 : HostileServer::Kind::Flood,
                                scheme == u"rfc2217")
                       .port();
        }
        m_url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    }

    const QString &url() const { return m_url; }
    // Floods come when the frame has gone; a busy port is busy from the start.
    bool started()
    {
        if (m_hostile == Hostile::Vanishes)
            return m_vanishing->hasClient() && ownnetwork::setLoopback(false);
        return !m_server || m_hostile == Hostile::Flood || m_server->started();
    }

private:
    Hostile m_hostile;
    std::optional<HostileServer> m_server;
    std::optional<SilentPort> m_vanishing;
    std::optional<PtyPair> m_line;
    std::optional<Ser2net> m_ser2net;
    QTcpSocket m_otherClient;
    QString m_url;
};
