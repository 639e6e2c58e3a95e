#include "LinkDevice.h"

#include "NetAddress.h"
#include "Rfc2217Device.h"
#include "SerialDevice.h"

#include <algorithm>

void LinkDevice::fail(const QString &detail)
{
    if (!isOpen())
        return;
    close();
    Q_EMIT lost(detail);
}

std::chrono::microseconds LinkDevice::nextSlice(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return std::clamp<std::chrono::microseconds>(left, {}, kOpeningSlice);
}

void LinkDevice::yieldWhileOpening() const
{
    if (m_openingYield)
        m_openingYield();
}

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
