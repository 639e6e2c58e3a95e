#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

// A real pseudo-terminal for serial tests. The program under test opens the
// device at devicePath(); the test plays the far end (the board) on the master,
// which is non-blocking. The test holds the device side open, so its line
// settings can be read.
class PtyPair
{
public:
    PtyPair()
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
    ~PtyPair() { vanish(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const QString &devicePath() const { return m_devicePath; }
    int deviceFd() const { return m_deviceFd; }
    int masterFd() const { return m_masterFd; }

    void write(const QByteArray &bytes)
    {
        for (qsizetype written = 0; m_masterFd >= 0 && written < bytes.size();) {
            const ssize_t n =
                ::write(m_masterFd, bytes.constData() + written, bytes.size() - written);
            pollfd writable{m_masterFd, POLLOUT, 0};
            if (n > 0)
                written += n;
            else if (::poll(&writable, 1, 2000) <= 0)
                throw std::runtime_error("the far end cannot write to the pseudo-terminal");
        }
    }

    // Up to count bytes, waiting at most `timeout` for each next piece, without
    // the event loop.
    QByteArray receive(qsizetype count, std::chrono::milliseconds timeout)
    {
        QByteArray received(count, '\0');
        qsizetype done = 0;
        pollfd readable{m_masterFd, POLLIN, 0};
        while (done < count && ::poll(&readable, 1, static_cast<int>(timeout.count())) == 1) {
            const ssize_t n = ::read(m_masterFd, received.data() + done, count - done);
            if (n <= 0)
                break;
            done += n;
        }
        return received.left(done);
    }

    // Everything that arrives until the line has been quiet for `quiet`; the
    // event loop runs in between, since the link writes queued output from there.
    QByteArray readQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(100))
    {
        QByteArray received;
        char buffer[4096];
        QElapsedTimer sinceLast;
        sinceLast.start();
        while (sinceLast.elapsed() < quiet.count()) {
            QCoreApplication::processEvents();
            pollfd readable{m_masterFd, POLLIN, 0};
            if (::poll(&readable, 1, 5) <= 0)
                continue;
            const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, n);
            sinceLast.restart();
        }
        return received;
    }

    // The device vanishes, as an unplugged adapter does.
    void vanish()
    {
        if (m_deviceFd >= 0)
            ::close(m_deviceFd);
        if (m_masterFd >= 0)
            ::close(m_masterFd);
        m_deviceFd = m_masterFd = -1;
    }

private:
    int m_masterFd = -1;
    int m_deviceFd = -1;
    QString m_devicePath;
};

// The lock file that serial programs here keep for the device at devicePath:
// /dev/pts/3's is /run/lock/LCK..pts_3.
inline QString lockFilePath(const QString &devicePath)
{
    return QStringLiteral("/run/lock/LCK..") + devicePath.mid(5).replace(u'/', u'_');
}
