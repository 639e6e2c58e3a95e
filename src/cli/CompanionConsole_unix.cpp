// tq905's console on Linux and other Unix systems: the requests to end are
// SIGINT, SIGTERM and SIGHUP, and SIGPIPE when the reader of the output has gone;
// a signal ignored at the start stays ignored. The program ends by the signal.
#include "CompanionConsole.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::array kEndSignals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile std::sig_atomic_t g_endSignal = 0;
sigset_t g_heldBack;
// The signal mask while sleeping: the end signals come through.
sigset_t g_letThrough;

void onEndSignal(int signal)
{
    g_endSignal = signal;
}

// Sleeps until `fd` has one of `events` or an end signal comes; false for the signal.
bool waitFor(int fd, short events)
{
    pollfd waiting{fd, events, 0};
    while (::ppoll(&waiting, 1, nullptr, &g_letThrough) <= 0) {
        if (g_endSignal != 0)
            return false;
    }
    return true;
}

} // namespace

CompanionConsole::CompanionConsole(bool outputWasClosed)
    : m_outputWasClosed(outputWasClosed)
{
    ::sigemptyset(&g_heldBack);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kEndSignals) {
        struct sigaction previous = {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
        ::sigaddset(&g_heldBack, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &g_heldBack, &g_letThrough);
    for (const int signal : kEndSignals)
        ::sigdelset(&g_letThrough, signal);
}

bool CompanionConsole::endRequested()
{
    if (g_endSignal != 0)
        return true;
    sigset_t pending;
    ::sigpending(&pending);
    for (const int signal : kEndSignals) {
        if (::sigismember(&g_heldBack, signal) && ::sigismember(&pending, signal))
            g_endSignal = signal;
    }
    return g_endSignal != 0;
}

CompanionConsole::Fill CompanionConsole::fillInput()
{
    if (!waitFor(STDIN_FILENO, POLLIN))
        return Fill::Interrupted;
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count > 0)
        m_input.append(buffer, count);
    else if (count == 0 || (errno != EINTR && errno != EAGAIN))
        return Fill::Ended;
    return Fill::Read;
}

CompanionConsole::Written CompanionConsole::writeOut(Stream stream, QByteArrayView bytes)
{
    const int fd = stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
    while (!bytes.isEmpty()) {
        // A pipe that shows room takes PIPE_BUF bytes without blocking.
        if (!waitFor(fd, POLLOUT))
            return Written::EndRequested;
        const ssize_t count = ::write(fd, bytes.data(), qMin<qsizetype>(bytes.size(), PIPE_BUF));
        if (count > 0) {
            bytes = bytes.sliced(count);
        } else if (count < 0 && errno == EPIPE) {
            g_endSignal = SIGPIPE;
        } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
            m_writeFailure = QString::fromLocal8Bit(std::strerror(count == 0 ? EIO : errno));
            return Written::Failed;
        }
        if (g_endSignal != 0)
            return Written::EndRequested;
    }
    return Written::Done;
}

void CompanionConsole::endAsRequested()
{
    const int signal = g_endSignal;
    if (::sigismember(&g_heldBack, signal)) {
        ::signal(signal, SIG_DFL);
        sigset_t only;
        ::sigemptyset(&only);
        ::sigaddset(&only, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(signal);
    }
    std::_Exit(128 + signal);
}
