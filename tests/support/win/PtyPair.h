#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <windows.h>

#include <chrono>
#include <stdexcept>

// The serial tests' line under Wine: two pseudo-terminals joined like a
// null-modem cable by tests/support/wine_null_modem.py and linked as COM ports,
// one for the program under test (devicePath()) and one for the far end (the
// board), played here through plain Win32. Bytes cross only as the other side
// reads them, so a far end that does not read stalls the device's writes.
class PtyPair
{
public:
    PtyPair()
        : m_devicePath(qEnvironmentVariable("TQ905_TEST_DEVICE"))
        , m_lineCountFile(qEnvironmentVariable("TQ905_TEST_LINE_COUNT"))
    {
        const QString farEnd =
            QStringLiteral("\\\\.\\") + qEnvironmentVariable("TQ905_TEST_FAR_END");
        m_line = lineCount();
        m_farEnd =
            ::CreateFileW(reinterpret_cast<const wchar_t *>(farEnd.utf16()),
                          GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_devicePath.isEmpty() || m_farEnd == INVALID_HANDLE_VALUE)
            throw std::runtime_error(
                "no far end: run the test under tests/support/wine_null_modem.py");
        // Reads return at once with what is there; a write the line never takes fails.
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = 2000;
        ::SetCommTimeouts(m_farEnd, &timeouts);
    }
    ~PtyPair() { vanish(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const QString &devicePath() const { return m_devicePath; }

    void write(const QByteArray &bytes)
    {
        DWORD written = 0;
        if (!::WriteFile(m_farEnd, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr)
            || written != static_cast<DWORD>(bytes.size()))
            throw std::runtime_error("the far end cannot write to the line");
    }

    // Up to count bytes, waiting at most `timeout` for each next piece, without
    // the event loop.
    QByteArray receive(qsizetype count, std::chrono::milliseconds timeout)
    {
        QByteArray received;
        QElapsedTimer sinceLast;
        sinceLast.start();
        while (received.size() < count) {
            const QByteArray piece = takeWaiting(count - received.size());
            if (!piece.isEmpty())
                sinceLast.restart();
            else if (sinceLast.elapsed() >= timeout.count())
                break;
            else
                QThread::msleep(2);
            received += piece;
        }
        return received;
    }

    // Everything that arrives until the line has been quiet for `quiet`; the
    // event loop runs in between, since the link writes queued output from there.
    QByteArray readQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(100))
    {
        QByteArray received;
        QElapsedTimer sinceLast;
        sinceLast.start();
        while (sinceLast.elapsed() < quiet.count()) {
            QCoreApplication::processEvents();
            const QByteArray piece = takeWaiting(4096);
            if (piece.isEmpty())
                QThread::msleep(5);
            else
                sinceLast.restart();
            received += piece;
        }
        return received;
    }

    // The device vanishes, as an unplugged adapter does: the far end's port is
    // closed, on which the line is hung up and a fresh one linked for the next.
    void vanish()
    {
        if (m_farEnd == INVALID_HANDLE_VALUE)
            return;
        ::CloseHandle(m_farEnd);
        m_farEnd = INVALID_HANDLE_VALUE;
        QElapsedTimer waited;
        waited.start();
        while (lineCount() == m_line && waited.elapsed() < 5000)
            QThread::msleep(5);
    }

private:
    QByteArray takeWaiting(qsizetype most)
    {
        QByteArray bytes(most, '\0');
        DWORD count = 0;
        if (!::ReadFile(m_farEnd, bytes.data(), static_cast<DWORD>(most), &count, nullptr))
            count = 0;
        bytes.resize(count);
        return bytes;
    }

    QByteArray lineCount() const
    {
        QFile file(m_lineCountFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_devicePath;
    QString m_lineCountFile;
    QByteArray m_line;
    HANDLE m_farEnd = INVALID_HANDLE_VALUE;
};
