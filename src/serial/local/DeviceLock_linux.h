#pragma once

#include "LinkDevice.h"

#include <QString>

#include <functional>
#include <optional>

// Holds a serial device against other programs while it is open, in both ways
// that serial programs look at: the device's lock file in /run/lock, in the
// usual format, and an exclusive flock on the open descriptor. A device held
// by a program that runs is never taken; a lock file whose program has ended
// is removed where this user may.
class DeviceLock
{
public:
    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // Before the open: the lock file of the device the path resolves to, so a
    // symbolic link locks the device itself. Where no lock directory is
    // writable for this user, there is none, and the flock alone holds.
    std::optional<LinkDevice::Refusal> takeLockFile(const QString &devicePath);
    // After the open, on its descriptor; closing the descriptor lets it go.
    std::optional<LinkDevice::Refusal> takeFlock(int fd, const QString &devicePath);
    // Removes the lock file taken.
    void release();

    // What an open refused as exclusive (EBUSY) is: the program that holds the
    // device, or a reservation that no program can be seen to hold.
    static LinkDevice::Refusal refusalOfExclusiveDevice(const QString &devicePath);

    // For tests: called after a stale lock file has been read, before its removal.
    void setPauseBeforeTakeover(std::function<void()> pause)
    {
        m_pauseBeforeTakeover = std::move(pause);
    }

private:
    enum class Creation { Created, Taken, Unwritable };
    static Creation createLockFile(const QString &path);

    QString m_lockFile;
    std::function<void()> m_pauseBeforeTakeover;
};
