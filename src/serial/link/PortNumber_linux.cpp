// Port numbers on Linux: three ranges of 32 devices.
#include "PortNumber.h"

#include <array>

namespace {

struct DeviceRange {
    int firstNumber;
    const char *prefix;
};
constexpr std::array<DeviceRange, 3> kDeviceRanges{{
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
}};
constexpr int kDevicesPerRange = 32;

} // namespace

std::optional<QString> standardDevicePath(int portNumber)
{
    for (const DeviceRange &range : kDeviceRanges) {
        const int index = portNumber - range.firstNumber;
        if (index >= 0 && index < kDevicesPerRange)
            return QString::fromLatin1(range.prefix) + QString::number(index);
    }
    return std::nullopt;
}

std::optional<int> standardPortNumber(const QString &devicePath)
{
    for (const DeviceRange &range : kDeviceRanges) {
        const QString prefix = QString::fromLatin1(range.prefix);
        if (!devicePath.startsWith(prefix))
            continue;
        bool isNumber = false;
        const int index = devicePath.mid(prefix.size()).toInt(&isNumber);
        if (isNumber && index >= 0 && index < kDevicesPerRange
            && QString::number(index) == devicePath.mid(prefix.size()))
            return range.firstNumber + index;
    }
    return std::nullopt;
}

QString portNumbersText()
{
    return QStringLiteral("The port numbers are 1-96: "
                          "1-32 for ttyS0-31, 33-64 for ttyUSB0-31, 65-96 for ttyACM0-31.");
}
