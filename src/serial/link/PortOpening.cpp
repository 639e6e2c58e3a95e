#include "PortOpening.h"

#include "AvailablePorts.h"
#include "NetAddress.h"
#include "PortNumber.h"
#include "SerialLink.h"

namespace {

const QString kLineSettings = QStringLiteral("9600,N,8,1");

// A malformed address is told with the part that is wrong.
void choosePort(SerialLink &link, const QString &portText)
{
    if (looksLikeNetAddress(portText)) {
        const std::variant<NetAddress, QString> reading = readNetAddress(portText);
        if (const auto *why = std::get_if<QString>(&reading))
            throw SerialError(SerialError::Kind::BadAddress, portText, {}, {},
                              why->at(0).toUpper() + why->mid(1) + u'.');
        link.setNetworkPort(portText);
        return;
    }
    PortTextFault fault = PortTextFault::NotANumber;
    const std::optional<qint16> portNumber = convertPortNumber(portText, &fault);
    if (!portNumber)
        throw fault == PortTextFault::OutOfRange
            ? SerialError(SerialError::Kind::PortNumberOutOfRange, portText, {}, {},
                          availablePortsSummary())
            : SerialError(SerialError::Kind::NotAPortNumber, portText);
    link.setCommPort(*portNumber);
}

} // namespace

void openAsSet(SerialLink &link, const QString &portText)
{
    if (link.portOpen())
        link.setPortOpen(false);
    choosePort(link, portText);
    link.setSettings(kLineSettings);
    link.setPortOpen(true);
    link.setRTSEnable(true);
    link.setRThreshold(0);
}
