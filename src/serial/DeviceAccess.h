#pragma once

#include <QString>

#include <optional>

// What the operator can do about a device this user may not open: join the
// group that may read and write it, or, where there is no such group to join,
// who owns it, its mode and who can give access.
QString accessAdvice(const QString &devicePath);

// Advice where a lock file of a program that has ended blocks the device. Qt
// SerialPort removes such a file itself where this user may; what is left is
// another user's, and only its path and how to remove it help.
std::optional<QString> staleLockAdvice(const QString &devicePath);
