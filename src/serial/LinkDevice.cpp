#include "LinkDevice.h"

#include "NetAddress.h"
#include "Rfc2217Device.h"
#include "SerialDevice.h"

void LinkDevice::fail(const QString &detail)
{
    if (!isOpen())
        return;
    close();
    Q_EMIT lost(detail);
}

std::unique_ptr<LinkDevice> makeLinkDevice(const QString &address, qint64 readBufferBytes)
{
    const std::optional<NetAddress> network = parseNetAddress(address);
    if (!network)
        return std::make_unique<SerialDevice>(readBufferBytes);
    if (network->scheme == NetAddress::Scheme::Rfc2217)
        return std::make_unique<Rfc2217Device>(readBufferBytes);
    return std::make_unique<SocketDevice>(readBufferBytes);
}
