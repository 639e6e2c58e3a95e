#include "SerialLink.h"

#include "AvailablePorts.h"
#include "PortNumber.h"

#include <algorithm>

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
    , m_resolver(standardDevicePath)
{
    connect(&m_device, &SerialDevice::lost, this, &SerialLink::onDeviceLost);
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
}

void SerialLink::setSettings(const QString &text)
{
    const std::optional<LineSettings> parsed = parseLineSettings(text);
    if (!parsed)
        throw SerialError(SerialError::Kind::BadSettings,
                          QStringLiteral("\"%1\" is not of the form 9600,N,8,1").arg(text),
                          m_commPort, m_devicePath);
    m_settingsText = text;
    m_settings = *parsed;
}

void SerialLink::setPortOpen(bool open)
{
    if (!open) {
        if (m_device.isOpen()) {
            m_device.close();
            Q_EMIT portOpenChanged(false);
        }
        return;
    }
    if (m_device.isOpen())
        return;
    if (m_devicePath.isEmpty())
        setCommPort(m_commPort);
    if (const std::optional<SerialDevice::Refusal> refusal =
            m_device.open(m_devicePath, m_settings))
        throw SerialError(refusal->kind, refusal->detail, m_commPort, m_devicePath,
                          refusal->advice);
    Q_EMIT portOpenChanged(true);
    if (m_rtsEnable)
        setRTSEnable(true);
}

void SerialLink::setRTSEnable(bool enable)
{
    m_rtsEnable = enable;
    if (m_device.isOpen())
        m_device.setRequestToSend(enable);
}

void SerialLink::requireOpen() const
{
    if (!m_device.isOpen())
        // Named by no number: the port last tried need not be the one in the port box,
        // and before the first "SET" none was tried.
        throw SerialError(SerialError::Kind::NotOpen, {});
}

qint16 SerialLink::inBufferCount() const
{
    requireOpen();
    return static_cast<qint16>(qMin<qint64>(m_device.bytesWaiting(), 32767));
}

void SerialLink::setInBufferCount(qint16 count)
{
    requireOpen();
    if (count == 0) {
        m_device.discardInput();
        // A device gone is found here when nothing has been read since; it is
        // closed and told already, so the handler only has to stop.
        if (!m_device.isOpen())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    }
}

void SerialLink::readArrivedInput()
{
    requireOpen();
    m_device.takeArrivedInput();
}

bool SerialLink::waitForArrivingInput(std::chrono::microseconds limit)
{
    requireOpen();
    return m_device.waitForInput(limit);
}

bool SerialLink::sendQueuedOutput(std::chrono::microseconds limit)
{
    requireOpen();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_device.isOpen() && m_device.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !m_device.waitForOutputTaken(left))
            return false;
    }
    return m_device.isOpen();
}

bool SerialLink::discardOutput()
{
    requireOpen();
    return m_device.discardOutput();
}

bool SerialLink::noticeDeviceGone()
{
    requireOpen();
    return m_device.noticeGone();
}

void SerialLink::setInputLen(qint16 length)
{
    m_inputLen = std::max<qint16>(length, 0);
}

QByteArray SerialLink::input()
{
    requireOpen();
    return m_device.read(m_inputLen);
}

void SerialLink::setOutput(const QByteArray &data)
{
    requireOpen();
    if (m_device.bytesToWrite() + data.size() > kMaxPendingOutputBytes)
        throw SerialError(
            SerialError::Kind::OutputStalled,
            QStringLiteral("the frame was not sent: %1 bytes are still waiting to be sent")
                .arg(m_device.bytesToWrite()),
            m_commPort, m_devicePath);
    m_device.write(data);
}

void SerialLink::onDeviceLost(const QString &detail)
{
    const SerialError lost(SerialError::Kind::DeviceLost, detail, m_commPort, m_devicePath);
    Q_EMIT portOpenChanged(false);
    QMetaObject::invokeMethod(
        this, [this, lost] { Q_EMIT deviceLost(lost); }, Qt::QueuedConnection);
}
