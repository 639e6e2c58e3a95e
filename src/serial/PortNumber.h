#pragma once

#include <QList>
#include <QString>

#include <optional>

// Why a port number text gives no number.
enum class PortTextFault {
    NotANumber, // empty or malformed
    OutOfRange, // a number, but outside -32768 ... 32767
};

// The port number text of the panel: optional blanks, an optional sign, digits
// with an optional fraction. A fraction rounds to the nearest whole number, an
// exact half to the even neighbour. Text that gives no number sets *fault, when
// given, to the reason.
std::optional<qint16> convertPortNumber(const QString &text, PortTextFault *fault = nullptr);

// The fixed mapping of port numbers to Linux serial devices:
// 1-32 -> /dev/ttyS0..31, 33-64 -> /dev/ttyUSB0..31, 65-96 -> /dev/ttyACM0..31.
std::optional<QString> standardDevicePath(int portNumber);

// The inverse of standardDevicePath, for showing the operator which numbers exist.
std::optional<int> standardPortNumber(const QString &devicePath);
