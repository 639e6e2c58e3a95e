#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// A real pseudo-terminal for serial tests. The program under test opens the
// device at devicePath(); the test plays the far end (the board) on the master.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const QString &devicePath() const { return m_devicePath; }
    // The device side, held open by the test so its line settings can be read.
    int deviceFd() const { return m_deviceFd; }
    // The far end's side, non-blocking.
    int masterFd() const { return m_masterFd; }

    void write(const QByteArray &bytes);
    // Everything that arrives until the line has been quiet for `quiet`.
    QByteArray readQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(100));
    // The device vanishes, as an unplugged adapter does.
    void vanish();

private:
    bool pollReadable(std::chrono::milliseconds slice);

    int m_masterFd = -1;
    int m_deviceFd = -1;
    QString m_devicePath;
};
