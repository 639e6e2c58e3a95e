// The serial device on Linux and other Unix systems: QSerialPort, with the
// device's file descriptor where QSerialPort is too slow or misreports. The
// requests to end that a sleeping wait lets through are SIGINT, SIGTERM and
// SIGHUP.
#include "SerialDevice.h"

#include "AvailablePorts.h"
#include "DeviceAccess.h"

#include <QFileInfo>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A hung-up device reads as end of file, and QSerialPort then reports whatever
// errno an earlier call left behind (the refused RTS request of a pseudo-terminal
// shows as "Inappropriate ioctl for device"). Asked again, the device tells its
// real state.
QString lostDeviceDetail(const QSerialPort &port)
{
    termios attributes = {};
    if (::tcgetattr(port.handle(), &attributes) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return port.errorString();
}

// Writes what the device takes at once and returns how much that was.
qint64 writeNow(int fd, const QByteArray &data)
{
    ssize_t written = 0;
    do
        written = ::write(fd, data.constData(), data.size());
    while (written < 0 && errno == EINTR);
    // Nothing taken leaves it all to the port's buffer: a full line (EAGAIN) is
    // written from there later, and a device gone (EIO) is reported from there.
    return std::max<qint64>(written, 0);
}

// Sleeps until `fd` has one of `events`; true when it has only those.
bool waitFor(int fd, short events, std::chrono::microseconds limit)
{
    // A look that does not sleep needs no signal let through.
    sigset_t letThrough;
    if (limit.count() > 0) {
        ::pthread_sigmask(SIG_BLOCK, nullptr, &letThrough);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigdelset(&letThrough, signal);
    }
    pollfd device{fd, events, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    const timespec timeout{seconds.count(), std::chrono::nanoseconds(limit - seconds).count()};
    return ::ppoll(&device, 1, &timeout, limit.count() > 0 ? &letThrough : nullptr) == 1
           && device.revents == events;
}

} // namespace

struct SerialDevice::Platform {
    QSerialPort port;
};

SerialDevice::SerialDevice(qint64 readBufferBytes, QObject *parent)
    : LinkDevice(parent)
    , m_platform(std::make_unique<Platform>())
{
    QSerialPort &port = m_platform->port;
    port.setReadBufferSize(readBufferBytes);
    port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port, &QSerialPort::errorOccurred, this,
            [this, &port](QSerialPort::SerialPortError error) {
                const bool deviceFailed = error == QSerialPort::ResourceError
                                          || error == QSerialPort::ReadError
                                          || error == QSerialPort::WriteError;
                if (!deviceFailed || !port.isOpen())
                    return;
                // Left open, a vanished device reports its error again and again and takes a core.
                fail(lostDeviceDetail(port));
            });
}

SerialDevice::~SerialDevice()
{
    close();
}

bool SerialDevice::isOpen() const
{
    return m_platform->port.isOpen();
}

std::optional<SerialDevice::Refusal> SerialDevice::open(const QString &devicePath,
                                                        const LineSettings &settings)
{
    QSerialPort &port = m_platform->port;
    port.setPortName(devicePath);
    port.setBaudRate(settings.baudRate);
    port.setParity(settings.parity);
    port.setDataBits(settings.dataBits);
    port.setStopBits(settings.stopBits);
    if (port.open(QIODevice::ReadWrite))
        return std::nullopt;

    using Kind = SerialError::Kind;
    // Whatever the open reported (a permission, a failed terminal request), this is what to fix.
    if (const std::optional<QString> advice = nonDeviceAdvice(devicePath))
        return Refusal{Kind::NotASerialDevice, {}, *advice};
    Kind kind = Kind::OpenFailed;
    QString advice;
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        kind = Kind::NoSuchDevice;
        break;
    case QSerialPort::PermissionError: {
        // A lock file, a busy device and an unreadable one all report this.
        const std::optional<LockAdvice> lock = lockFileAdvice(devicePath);
        if (lock && lock->holderEnded) {
            kind = Kind::StaleLock;
            advice = lock->text;
        } else if (::access(devicePath.toLocal8Bit().constData(), R_OK | W_OK) == 0) {
            kind = Kind::DeviceBusy;
            advice = lock ? lock->text : QString();
        } else {
            kind = Kind::PermissionDenied;
            advice = accessAdvice(devicePath);
        }
        break;
    }
    default:
        if (!QFileInfo::exists(devicePath))
            kind = Kind::NoSuchDevice;
        break;
    }
    if (kind == Kind::NoSuchDevice)
        advice = availablePortsSummary();
    return Refusal{kind, port.errorString(), advice};
}

void SerialDevice::close()
{
    m_platform->port.close();
}

void SerialDevice::setRequestToSend(bool asserted)
{
    if (!m_platform->port.setRequestToSend(asserted))
        m_platform->port.clearError();
}

qint64 SerialDevice::bytesWaiting() const
{
    return m_platform->port.bytesAvailable();
}

QByteArray SerialDevice::read(qint64 maxCount)
{
    return maxCount == 0 ? m_platform->port.readAll() : m_platform->port.read(maxCount);
}

void SerialDevice::discardInput()
{
    QSerialPort &port = m_platform->port;
    port.clear(QSerialPort::Input);
    if (!port.isOpen())
        return;
    // A full buffer has stopped QSerialPort from reading the device, and only
    // a read that finds the buffer empty starts it again; clear() does not.
    char unused;
    port.peek(&unused, 1);
}

void SerialDevice::takeArrivedInput()
{
    // Asked first: waitForReadyRead() on an empty line reports a TimeoutError.
    if (waitForInput(std::chrono::microseconds(0)))
        m_platform->port.waitForReadyRead(0);
}

bool SerialDevice::waitForInput(std::chrono::microseconds limit)
{
    return waitFor(m_platform->port.handle(), POLLIN, limit);
}

bool SerialDevice::noticeGone()
{
    const QSerialPort &port = m_platform->port;
    pollfd device{port.handle(), POLLIN, 0};
    if (::poll(&device, 1, 0) != 1 || (device.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        return false;
    fail(lostDeviceDetail(port));
    return true;
}

qint64 SerialDevice::bytesToWrite() const
{
    return m_platform->port.bytesToWrite();
}

void SerialDevice::write(const QByteArray &data)
{
    QSerialPort &port = m_platform->port;
    // Straight to the device while nothing is queued ahead, so the bytes leave now
    // rather than on the event loop's next pass; what the line does not take yet
    // goes after them through the port's buffer. No flush(): on a full line it
    // reports a passing EAGAIN as a lost resource.
    const qint64 written = port.bytesToWrite() == 0 ? writeNow(port.handle(), data) : 0;
    if (written < data.size())
        port.write(data.constData() + written, data.size() - written);
}

bool SerialDevice::discardOutput()
{
    // The port's buffer, and the system's queue by tcflush(TCOFLUSH).
    return m_platform->port.clear(QSerialPort::Output);
}

bool SerialDevice::waitForOutputTaken(std::chrono::microseconds limit)
{
    QSerialPort &port = m_platform->port;
    if (!waitFor(port.handle(), POLLOUT, limit))
        return false;
    port.waitForBytesWritten(0);
    return true;
}
