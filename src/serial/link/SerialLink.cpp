#include "SerialLink.h"

#include "AvailablePorts.h"
#include "DeviceFactory.h"
#include "PortNumber.h"

#include <algorithm>

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
    , m_resolver(standardDevicePath)
{
}

void SerialLink::setDeviceResolver(DeviceResolver resolver)
{
    m_resolver = std::move(resolver);
}

void SerialLink::setCommPort(qint16 portNumber)
{
    const std::optional<QString> path = m_resolver(portNumber);
    if (!path)
        throw SerialError(SerialError::Kind::UnmappedPortNumber, {}, portNumber, {},
                          availablePortsSummary());
    m_commPort = portNumber;
    m_devicePath = *path;
    m_networkPort = false;
}

void SerialLink::setNetworkPort(const QString &address)
{
    m_devicePath = address;
    m_networkPort = true;
}

std::optional<int> SerialLink::shownPortNumber() const
{
    return m_networkPort ? std::nullopt : std::optional<int>(m_commPort);
}

void SerialLink::setSettings(const QString &text)
{
    const std::optional<LineSettings> parsed = parseLineSettings(text);
    if (!parsed)
        throw SerialError(SerialError::Kind::BadSettings,
                          QStringLiteral("\"%1\" is not of the form 9600,N,8,1").arg(text),
                          shownPortNumber(), m_devicePath);
    m_settings = *parsed;
}

void SerialLink::setPortOpen(bool open)
{
    if (!open) {
        if (portOpen()) {
            m_device->close();
            Q_EMIT portOpenChanged(false);
        }
        return;
    }
    if (portOpen())
        return;
    if (m_devicePath.isEmpty())
        setCommPort(m_commPort);
    m_device = makeLinkDevice(m_devicePath, kReadBufferBytes, kMaxPendingOutputBytes);
    connect(m_device.get(), &LinkDevice::lost, this, &SerialLink::onDeviceLost);
    m_device->setOpeningYield(m_openingYield);
    if (const std::optional<LinkDevice::Refusal> refusal = m_device->open(m_devicePath, m_settings))
        throw SerialError(refusal->kind, refusal->detail, shownPortNumber(), m_devicePath,
                          // Where the device is missing, which are there.
                          refusal->kind == SerialError::Kind::NoSuchDevice ? availablePortsSummary()
                                                                           : refusal->advice);
    Q_EMIT portOpenChanged(true);
    if (m_rtsEnable)
        setRTSEnable(true);
}

void SerialLink::setRTSEnable(bool enable)
{
    m_rtsEnable = enable;
    if (portOpen())
        m_device->setRequestToSend(enable);
}

LinkDevice &SerialLink::openDevice() const
{
    if (!portOpen())
        // Named by no number: the port last tried need not be the one in the port box,
        // and before the first "SET" none was tried.
        throw SerialError(SerialError::Kind::NotOpen, {});
    return *m_device;
}

qint16 SerialLink::inBufferCount() const
{
    return static_cast<qint16>(qMin<qint64>(openDevice().bytesWaiting(), 32767));
}

void SerialLink::setInBufferCount(qint16 count)
{
    LinkDevice &device = openDevice();
    if (count == 0) {
        device.discardInput();
        // A device gone is found here when nothing has been read since; it is
        // closed and told already, so the handler only has to stop.
        if (!device.isOpen())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    }
}

void SerialLink::readArrivedInput()
{
    LinkDevice &device = openDevice();
    device.takeArrivedInput();
    // Closed and told already.
    if (!device.isOpen())
        throw SerialError(SerialError::Kind::WaitAbandoned, {});
}

bool SerialLink::waitForArrivingInput(std::chrono::microseconds limit)
{
    return openDevice().waitForInput(limit);
}

bool SerialLink::sendQueuedOutput(std::chrono::microseconds limit)
{
    LinkDevice &device = openDevice();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (device.isOpen() && device.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !device.waitForOutputTaken(left))
            return false;
    }
    return device.isOpen();
}

bool SerialLink::discardOutput()
{
    return openDevice().discardOutput();
}

bool SerialLink::noticeDeviceGone()
{
    return openDevice().noticeGone();
}

void SerialLink::setInputLen(qint16 length)
{
    m_inputLen = std::max<qint16>(length, 0);
}

QByteArray SerialLink::input()
{
    return openDevice().read(m_inputLen);
}

QByteArrayView SerialLink::waitingInput() const
{
    return openDevice().waiting();
}

bool SerialLink::discardUnconfirmed() const
{
    return openDevice().discardUnconfirmed();
}

void SerialLink::stopAwaitingDiscardConfirmations()
{
    openDevice().stopAwaitingDiscardConfirmations();
}

void SerialLink::setOutput(const QByteArray &data)
{
    LinkDevice &device = openDevice();
    if (device.bytesToWrite() + data.size() > kMaxPendingOutputBytes)
        throw SerialError(
            SerialError::Kind::OutputStalled,
            QStringLiteral("the frame was not sent: %1 bytes are still waiting to be sent")
                .arg(device.bytesToWrite()),
            shownPortNumber(), m_devicePath);
    device.write(data);
}

void SerialLink::onDeviceLost(const QString &detail)
{
    const SerialError lost(m_device->lossKind(), detail, shownPortNumber(), m_devicePath);
    Q_EMIT portOpenChanged(false);
    QMetaObject::invokeMethod(
        this, [this, lost] { Q_EMIT deviceLost(lost); }, Qt::QueuedConnection);
}
