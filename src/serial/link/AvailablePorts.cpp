#include "AvailablePorts.h"

#include "PortNumber.h"

#include <QSerialPortInfo>
#include <QStringList>

QString availablePortsSummary()
{
    QStringList lines;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const std::optional<int> number = standardPortNumber(info.systemLocation());
        // A numbered device is named as its number names it.
        QString line = number
                           ? QStringLiteral("%1: %2").arg(*number).arg(*standardDevicePath(*number))
                           : QStringLiteral("(no number): ") + info.systemLocation();
        if (!info.description().isEmpty())
            line += QStringLiteral(" - ") + info.description();
        lines << line;
    }
    const QString elsewhere = QStringLiteral(
        "\n\nBoards on another machine: rfc2217://HOST:PORT (RFC 2217, as ser2net serves "
        "it) or socket://HOST:PORT (plain TCP).");
    if (lines.isEmpty())
        return QStringLiteral("No serial devices found.") + elsewhere;
    return QStringLiteral("Serial devices present:\n") + lines.join(u'\n') + elsewhere;
}
