#include "LinkDevice.h"

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
    if (address.startsWith(QLatin1String("rfc2217://")))
        return std::make_unique<Rfc2217Device>(readBufferBytes);
    if (address.startsWith(QLatin1String("socket://")))
        return std::make_unique<SocketDevice>(readBufferBytes);
    return std::make_unique<SerialDevice>(readBufferBytes);
}
