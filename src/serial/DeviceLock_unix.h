#pragma once

#include "LinkDevice.h"

#include <QString>

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

private:
    enum class Creation { Created, Taken, Unwritable };
    static Creation createLockFile(const QString &path);

    QString m_lockFile;
};
