#include "PortOpening.h"

#include "AvailablePorts.h"
#include "PortNumber.h"
#include "SerialLink.h"

namespace {

const QString kLineSettings = QStringLiteral("9600,N,8,1");

} // namespace

void openAsSet(SerialLink &link, const QString &portText)
{
    if (link.portOpen())
        link.setPortOpen(false);
    PortTextFault fault = PortTextFault::NotANumber;
    const std::optional<qint16> portNumber = convertPortNumber(portText, &fault);
    if (!portNumber)
        throw fault == PortTextFault::OutOfRange
            ? SerialError(SerialError::Kind::PortNumberOutOfRange, portText, {}, {},
                          availablePortsSummary())
            : SerialError(SerialError::Kind::NotAPortNumber, portText);
    link.setCommPort(*portNumber);
    link.setSettings(kLineSettings);
    link.setPortOpen(true);
    link.setRTSEnable(true);
    link.setRThreshold(0);
}
