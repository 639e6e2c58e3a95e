#pragma once

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

// The platform's fixed mapping of port numbers to serial devices; no device
// means the number selects none.
std::optional<QString> standardDevicePath(int portNumber);

// The inverse of standardDevicePath, for showing the operator which numbers exist.
std::optional<int> standardPortNumber(const QString &devicePath);

// One sentence for the operator: which numbers are ports, and their devices.
QString portNumbersText();
