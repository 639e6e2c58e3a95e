#pragma once

#include <QString>

#include <optional>

// What the operator can do about a device this user may not open: join the
// group that may read and write it, or, where there is no such group to join,
// who owns it, its mode and who can give access.
QString accessAdvice(const QString &devicePath);

// Where something is at the path but it is no character device, what it is and
// what to do: a file, a FIFO or a directory left where a serial device is
// expected (a program that wrote to /dev/ttyUSB0 while no adapter was plugged in
// leaves a file there).
std::optional<QString> nonDeviceAdvice(const QString &path);
