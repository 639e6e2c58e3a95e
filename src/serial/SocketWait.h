#pragma once

#include <QtGlobal>

#include <chrono>

// The sleeping wait on a network socket for a program without an event loop,
// one source file a platform. A request to end the program comes through while
// it sleeps, as in the serial device's waits.
enum class SocketReady { ToRead, ToWrite };

// Sleeps until the socket is ready, has failed or been closed by the far end
// (true), or the time is up or an end request came (false).
bool waitForSocket(qintptr descriptor, SocketReady ready, std::chrono::microseconds limit);

// A write to a connection that the far end has closed raises SIGPIPE on Unix,
// which a program blocking it would later take for the reader of its own output
// gone; called after each write to a socket, this drops such a signal.
void forgetBrokenConnectionSignal();
