#include "LinkDevice.h"

#include "SerialDevice.h"

void LinkDevice::fail(const QString &detail)
{
    if (!isOpen())
        return;
    close();
    Q_EMIT lost(detail);
}

std::unique_ptr<LinkDevice> makeLinkDevice(const QString & /*address*/, qint64 readBufferBytes)
{
    return std::make_unique<SerialDevice>(readBufferBytes);
}
