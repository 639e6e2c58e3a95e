// Port numbers on Windows: the number N is the port COMN, as the operator knows it.
#include "PortNumber.h"

namespace {

constexpr int kHighestPort = 256;
const QString kPortPrefix = QStringLiteral("COM");
// The Win32 device namespace; COM10 and above open only through it.
const QString kDeviceNamespace = QStringLiteral("\\\\.\\");

} // namespace

std::optional<QString> standardDevicePath(int portNumber)
{
    if (portNumber < 1 || portNumber > kHighestPort)
        return std::nullopt;
    return kPortPrefix + QString::number(portNumber);
}

std::optional<int> standardPortNumber(const QString &devicePath)
{
    QString name = devicePath;
    if (name.startsWith(kDeviceNamespace))
        name.remove(0, kDeviceNamespace.size());
    if (!name.startsWith(kPortPrefix, Qt::CaseInsensitive))
        return std::nullopt;
    const QString digits = name.mid(kPortPrefix.size());
    bool isNumber = false;
    const int number = digits.toInt(&isNumber);
    if (!isNumber || QString::number(number) != digits || !standardDevicePath(number))
        return std::nullopt;
    return number;
}

QString portNumbersText()
{
    return QStringLiteral("The port numbers are 1-%1, for COM1-COM%1.").arg(kHighestPort);
}
