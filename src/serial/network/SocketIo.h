#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <variant>

class QHostAddress;

// What a network port needs of the platform, one source file a platform: the
// host lookup and the connect, neither of which may hold the program while
// nobody answers; reads and writes that never wait and tell how a connection
// ended; the sleeping wait for a program without an event loop (a request to
// end the program comes through while it sleeps, as in the serial device's
// waits); and the watch that tells a host that has vanished from a silent one.
enum class SocketReady {
    ToRead,
    ToWrite,
    Ended, // only the connection's end or failure wakes the wait
};

enum class Connecting { InProgress, Connected, Refused, Failed };

struct ConnectAttempt {
    qintptr descriptor = -1; // -1 where no socket could be made
    Connecting state = Connecting::Failed;
    QString error; // the system's words, for a failed attempt
};

// The addresses of a host name, or the system's words for why there are none.
// Waits as long as the name service takes: for a thread of its own.
std::variant<QList<QHostAddress>, QString> lookUpHost(const QString &name);

// Begins a connection without waiting for it. While it is in progress its
// socket shows ready to write (waitForSocket) once it has either succeeded or failed.
ConnectAttempt startConnecting(const QHostAddress &address, quint16 port);

// Where an attempt in progress has got to, once its socket has shown ready.
void checkConnecting(ConnectAttempt &attempt);

void closeSocket(qintptr descriptor);

// A host that vanishes without closing (power cut, cable pulled) is taken for
// gone once what was sent to it has gone unacknowledged this long, and, while
// nothing is sent, once it has not answered the probes that start after
// kIdleBeforeProbe and follow each other by kProbeInterval.
constexpr std::chrono::milliseconds kUnacknowledgedLimit{2000};
constexpr std::chrono::seconds kIdleBeforeProbe{2};
constexpr std::chrono::seconds kProbeInterval{1};

// For a connection made: every write goes out at once (no waiting to fill a
// segment), and a vanished host fails the connection within the times above.
void watchConnection(qintptr descriptor);

// Sleeps until the socket is ready, has failed or been closed by the far end
// (true), or the time is up or an end request came (false).
bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit);

// How a read or a write found the connection: still open, closed by the
// server (or reset), or failed unanswered (a vanished host).
enum class SocketEnd { Open, Closed, Unanswered };

struct Transfer {
    qint64 count = 0; // 0 where nothing could be moved now
    SocketEnd end = SocketEnd::Open;
    QString error; // the system's words, where it gave any
};

// What the system holds for the socket, up to `size` bytes, without waiting.
Transfer receiveNow(qintptr descriptor, char *buffer, qint64 size);

// How many received bytes the system holds for the socket now.
qint64 receivableNow(qintptr descriptor);

// Writes what the system takes at once, without waiting and without a signal.
Transfer sendNow(qintptr descriptor, const char *data, qint64 size);

// Makes the socket acknowledge what it receives next at once. A server that
// holds back a small segment until its last one is acknowledged (Nagle's rule:
// ser2net answering PURGE-DATA, then the board's reply) would otherwise wait out
// the delayed acknowledgement, some 40 ms, on every query.
void acknowledgeAtOnce(qintptr descriptor);
