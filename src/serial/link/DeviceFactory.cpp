#include "DeviceFactory.h"

#include "NetAddress.h"
#include "Rfc2217Device.h"
#include "SerialDevice.h"

std::unique_ptr<LinkDevice> makeLinkDevice(const QString &address, qint64 readBufferBytes,
                                           qint64 maxQueuedBytes)
{
    const std::optional<NetAddress> network = parseNetAddress(address);
    if (!network)
        return std::make_unique<SerialDevice>(readBufferBytes);
    if (network->scheme == NetAddress::Scheme::Rfc2217)
        return std::make_unique<Rfc2217Device>(readBufferBytes, maxQueuedBytes);
    return std::make_unique<SocketDevice>(readBufferBytes, maxQueuedBytes);
}
