#include "SerialLink.h"

#include "AvailablePorts.h"
#include "DeviceAccess.h"
#include "PortNumber.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

SerialLink::SerialLink(QObject *parent)
    : QObject(parent)
    , m_resolver(standardDevicePath)
{
    m_port.setReadBufferSize(kReadBufferBytes);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onPortError);
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
        if (m_port.isOpen()) {
            m_port.close();
            Q_EMIT portOpenChanged(false);
        }
        return;
    }
    if (m_port.isOpen())
        return;
    if (m_devicePath.isEmpty())
        setCommPort(m_commPort);
    m_port.setPortName(m_devicePath);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    if (!m_port.open(QIODevice::ReadWrite))
        throw openError();
    Q_EMIT portOpenChanged(true);
    if (m_rtsEnable)
        setRTSEnable(true);
}

SerialError SerialLink::openError() const
{
    using Kind = SerialError::Kind;
    // Whatever the open reported (a permission, a failed terminal request), this is what to fix.
    if (const std::optional<QString> advice = nonDeviceAdvice(m_devicePath))
        return SerialError(Kind::NotASerialDevice, {}, m_commPort, m_devicePath, *advice);
    Kind kind = Kind::OpenFailed;
    QString advice;
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        kind = Kind::NoSuchDevice;
        break;
    case QSerialPort::PermissionError: {
        // A lock file, a busy device and an unreadable one all report this.
        const std::optional<LockAdvice> lock = lockFileAdvice(m_devicePath);
        if (lock && lock->holderEnded) {
            kind = Kind::StaleLock;
            advice = lock->text;
        } else if (::access(m_devicePath.toLocal8Bit().constData(), R_OK | W_OK) == 0) {
            kind = Kind::DeviceBusy;
            advice = lock ? lock->text : QString();
        } else {
            kind = Kind::PermissionDenied;
            advice = accessAdvice(m_devicePath);
        }
        break;
    }
    default:
        if (!QFileInfo::exists(m_devicePath))
            kind = Kind::NoSuchDevice;
        break;
    }
    if (kind == Kind::NoSuchDevice)
        advice = availablePortsSummary();
    return SerialError(kind, m_port.errorString(), m_commPort, m_devicePath, advice);
}

void SerialLink::setRTSEnable(bool enable)
{
    m_rtsEnable = enable;
    if (!m_port.isOpen())
        return;
    // Pseudo-terminals and some adapters have no modem lines; that is no failure.
    if (!m_port.setRequestToSend(enable))
        m_port.clearError();
}

void SerialLink::requireOpen() const
{
    if (!m_port.isOpen())
        // Named by no number: the port last tried need not be the one in the port box,
        // and before the first "SET" none was tried.
        throw SerialError(SerialError::Kind::NotOpen, {});
}

qint16 SerialLink::inBufferCount() const
{
    requireOpen();
    return static_cast<qint16>(qMin<qint64>(m_port.bytesAvailable(), 32767));
}

void SerialLink::setInBufferCount(qint16 count)
{
    requireOpen();
    if (count == 0) {
        m_port.clear(QSerialPort::Input);
        // A device gone is found here when nothing has been read since; it is
        // closed and told already, so the handler only has to stop.
        if (!m_port.isOpen())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
        // A full buffer has stopped QSerialPort from reading the device, and only
        // a read that finds the buffer empty starts it again; clear() does not.
        char unused;
        m_port.peek(&unused, 1);
    }
}

void SerialLink::readArrivedInput()
{
    // Asked first: waitForReadyRead() on an empty line reports a TimeoutError.
    if (waitForArrivingInput(std::chrono::microseconds(0)))
        m_port.waitForReadyRead(0);
}

bool SerialLink::waitForArrivingInput(std::chrono::microseconds limit)
{
    requireOpen();
    return waitForDevice(POLLIN, limit);
}

bool SerialLink::sendQueuedOutput(std::chrono::microseconds limit)
{
    requireOpen();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitForDevice(POLLOUT, left))
            return false;
        m_port.waitForBytesWritten(0);
    }
    return m_port.isOpen();
}

bool SerialLink::noticeDeviceGone()
{
    requireOpen();
    pollfd device{m_port.handle(), POLLIN, 0};
    if (::poll(&device, 1, 0) != 1 || (device.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        return false;
    onPortError(QSerialPort::ResourceError);
    return true;
}

bool SerialLink::waitForDevice(short events, std::chrono::microseconds limit)
{
    // A look that does not sleep needs no signal let through.
    sigset_t letThrough;
    if (limit.count() > 0) {
        ::pthread_sigmask(SIG_BLOCK, nullptr, &letThrough);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigdelset(&letThrough, signal);
    }
    pollfd device{m_port.handle(), events, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    const timespec timeout{seconds.count(), std::chrono::nanoseconds(limit - seconds).count()};
    return ::ppoll(&device, 1, &timeout, limit.count() > 0 ? &letThrough : nullptr) == 1
           && device.revents == events;
}

void SerialLink::setInputLen(qint16 length)
{
    m_inputLen = std::max<qint16>(length, 0);
}

QByteArray SerialLink::input()
{
    requireOpen();
    return m_inputLen == 0 ? m_port.readAll() : m_port.read(m_inputLen);
}

void SerialLink::setOutput(const QByteArray &data)
{
    requireOpen();
    if (m_port.bytesToWrite() + data.size() > kMaxPendingOutputBytes)
        throw SerialError(
            SerialError::Kind::OutputStalled,
            QStringLiteral("%1 bytes are still waiting to be sent").arg(m_port.bytesToWrite()),
            m_commPort, m_devicePath);
    // Straight to the device while nothing is queued ahead, so the bytes leave now
    // rather than on the event loop's next pass; what the line does not take yet
    // goes after them through the port's buffer. No flush(): on a full line it
    // reports a passing EAGAIN as a lost resource.
    const qint64 written = m_port.bytesToWrite() == 0 ? writeNow(data) : 0;
    if (written < data.size())
        m_port.write(data.constData() + written, data.size() - written);
}

qint64 SerialLink::writeNow(const QByteArray &data)
{
    ssize_t written = 0;
    do
        written = ::write(m_port.handle(), data.constData(), data.size());
    while (written < 0 && errno == EINTR);
    // Nothing taken leaves it all to the port's buffer: a full line (EAGAIN) is
    // written from there later, and a device gone (EIO) is reported from there.
    return std::max<qint64>(written, 0);
}

void SerialLink::onPortError(QSerialPort::SerialPortError error)
{
    const bool deviceFailed = error == QSerialPort::ResourceError || error == QSerialPort::ReadError
                              || error == QSerialPort::WriteError;
    if (!deviceFailed || !m_port.isOpen())
        return;
    // Left open, a vanished device reports its error again and again and takes a core.
    const SerialError lost(SerialError::Kind::DeviceLost, lostDeviceDetail(), m_commPort,
                           m_devicePath);
    m_port.close();
    Q_EMIT portOpenChanged(false);
    QMetaObject::invokeMethod(
        this, [this, lost] { Q_EMIT deviceLost(lost); }, Qt::QueuedConnection);
}

// A hung-up device reads as end of file, and QSerialPort then reports whatever
// errno an earlier call left behind (the refused RTS request of a pseudo-terminal
// shows as "Inappropriate ioctl for device"). Asked again, the device tells its
// real state.
QString SerialLink::lostDeviceDetail() const
{
    termios attributes = {};
    if (::tcgetattr(m_port.handle(), &attributes) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return m_port.errorString();
}
