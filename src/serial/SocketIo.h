#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>

class QHostAddress;

// What a network port needs of the platform, one source file a platform: the
// sleeping wait for a program without an event loop (a request to end the
// program comes through while it sleeps, as in the serial device's waits),
// reads and writes straight on the socket, and its acknowledgements; the
// connect, which must not hold the program while a host does not answer.
enum class SocketReady { ToRead, ToWrite };

enum class Connecting { InProgress, Connected, Refused, Failed };

struct ConnectAttempt {
    qintptr descriptor = -1; // -1 where no socket could be made
    Connecting state = Connecting::Failed;
    QString error; // the system's words, for a failed attempt
};

// Begins a connection without waiting for it. While it is in progress its
// socket shows ready to write (waitForSocket) once it has either succeeded or failed.
ConnectAttempt startConnecting(const QHostAddress &address, quint16 port);

// Where an attempt in progress has got to, once its socket has shown ready.
void checkConnecting(ConnectAttempt &attempt);

void closeSocket(qintptr descriptor);

// Sleeps until the socket is ready, has failed or been closed by the far end
// (true), or the time is up or an end request came (false).
bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit);

// What the system holds for the socket, up to `size` bytes, without waiting:
// the count read, 0 when nothing waits, -1 when the far end has closed or the
// connection failed.
qint64 receiveNow(qintptr descriptor, char *buffer, qint64 size);

// How many received bytes the system holds for the socket now.
qint64 receivableNow(qintptr descriptor);

// Writes what the system takes at once: the count taken (0 when it takes
// nothing now), -1 when the connection has failed. Never raises a signal.
qint64 sendNow(qintptr descriptor, const char *data, qint64 size);

// A write to a connection that the far end has closed raises SIGPIPE on Unix,
// which a program blocking it would later take for the reader of its own output
// gone; called after Qt has written to a socket, this drops such a signal.
void forgetBrokenConnectionSignal();

// Makes the socket acknowledge what it receives next at once. A server that
// holds back a small segment until its last one is acknowledged (Nagle's rule:
// ser2net answering PURGE-DATA, then the board's reply) would otherwise wait out
// the delayed acknowledgement, some 40 ms, on every query.
void acknowledgeAtOnce(qintptr descriptor);
