#include "PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&m_masterFd, &m_deviceFd, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    // Raw from the start, so nothing the far end writes is echoed back to it.
    termios raw{};
    ::tcgetattr(m_deviceFd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_deviceFd, TCSANOW, &raw);
    ::fcntl(m_masterFd, F_SETFL, ::fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    m_devicePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    vanish();
}

void PtyPair::write(const QByteArray &bytes)
{
    if (m_masterFd < 0)
        return; // vanished: nothing reaches the program any more
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_masterFd, bytes.constData() + written, bytes.size() - written);
        if (n > 0) {
            written += n;
            continue;
        }
        pollfd writable{m_masterFd, POLLOUT, 0};
        if (::poll(&writable, 1, 2000) <= 0)
            throw std::runtime_error("the far end cannot write to the pseudo-terminal");
    }
}

// Polls the far end in short slices and lets the program's event loop run in
// between, since the link writes from there.
bool PtyPair::pollReadable(std::chrono::milliseconds slice)
{
    QCoreApplication::processEvents();
    pollfd readable{m_masterFd, POLLIN, 0};
    return ::poll(&readable, 1, static_cast<int>(slice.count())) > 0 && (readable.revents & POLLIN);
}

QByteArray PtyPair::readQuiet(std::chrono::milliseconds quiet)
{
    QByteArray received;
    char buffer[4096];
    QElapsedTimer sinceLast;
    sinceLast.start();
    while (sinceLast.elapsed() < quiet.count()) {
        if (!pollReadable(std::chrono::milliseconds(5)))
            continue;
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n <= 0)
            return received;
        received.append(buffer, n);
        sinceLast.restart();
    }
    return received;
}

void PtyPair::vanish()
{
    if (m_deviceFd >= 0)
        ::close(m_deviceFd);
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    m_deviceFd = m_masterFd = -1;
}
