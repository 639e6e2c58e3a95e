// The serial device on Linux and other Unix systems: its own descriptor, raw at
// the line settings, read into a bounded buffer and written from a queue on the
// event loop's notifiers, and held against other programs (DeviceLock_linux.h).
// The requests to end that a sleeping wait lets through are the end signals
// (EndSignals_unix.h).
#include "SerialDevice.h"

#include "DeviceAccess_unix.h"
#include "DeviceLock_linux.h"
#include "EndSignals_unix.h"

#include <QFile>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemMessage(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

struct Speed {
    qint32 baudRate;
    speed_t code;
};
constexpr std::array<Speed, 18> kSpeeds{{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
}};

tcflag_t characterSize(QSerialPort::DataBits dataBits)
{
    switch (dataBits) {
    case QSerialPort::Data5:
        return CS5;
    case QSerialPort::Data6:
        return CS6;
    case QSerialPort::Data7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t parityFlags(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return PARENB;
    case QSerialPort::OddParity:
        return PARENB | PARODD;
    case QSerialPort::MarkParity:
        return PARENB | CMSPAR | PARODD;
    case QSerialPort::SpaceParity:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Raw at the line settings: no flow control of any kind (XON and XOFF are data
// like any other byte), no modem control lines to wait for. A read of nothing
// then fails with EAGAIN, and only a hung-up device reads as end of file. A
// speed or stop bits the system has no setting for fail with EINVAL. No HUPCL:
// the close leaves DTR and RTS up as the open raised them, so a board that
// resets on DTR is not reset by every program that uses the port.
bool applyLineSettings(int fd, const LineSettings &settings)
{
    const auto *speed = std::find_if(kSpeeds.begin(), kSpeeds.end(), [&](const Speed &s) {
        return s.baudRate == settings.baudRate;
    });
    termios line = {};
    if (speed == kSpeeds.end() || settings.stopBits == QSerialPort::OneAndHalfStop) {
        errno = EINVAL;
        return false;
    }
    if (::tcgetattr(fd, &line) != 0)
        return false;
    ::cfmakeraw(&line);
    line.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    line.c_cflag |=
        CLOCAL | CREAD | characterSize(settings.dataBits) | parityFlags(settings.parity);
    if (settings.parity != QSerialPort::NoParity)
        line.c_iflag |= INPCK;
    if (settings.stopBits == QSerialPort::TwoStop)
        line.c_cflag |= CSTOPB;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    return ::cfsetispeed(&line, speed->code) == 0 && ::cfsetospeed(&line, speed->code) == 0
           && ::tcsetattr(fd, TCSANOW, &line) == 0;
}

SerialDevice::Refusal refusalOf(int code, const QString &devicePath)
{
    using Kind = SerialError::Kind;
    switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {Kind::NoSuchDevice, systemMessage(code), {}};
    case EACCES:
    case EPERM:
        return {Kind::PermissionDenied, systemMessage(code), accessAdvice(devicePath)};
    case EBUSY: // reserved (TIOCEXCL) by another program, or left so
        return DeviceLock::refusalOfExclusiveDevice(devicePath);
    default:
        return {Kind::OpenFailed, systemMessage(code), {}};
    }
}

// Sleeps until `fd` has one of `events`; true when it has only those. The end
// signals come through a sleep, not a look.
bool waitFor(int fd, short events, std::chrono::microseconds limit)
{
    return pollLettingEndSignalsThrough(fd, events, limit) == events;
}

} // namespace

struct SerialDevice::Platform {
    explicit Platform(qint64 readBufferBytes)
        : readBufferBytes(readBufferBytes)
    {
    }

    // Takes what the device holds into the input, up to the buffer's size, and
    // listens for more while there is room; false when the device failed.
    bool finishRead();
    void startRead();
    // Hands the device what it takes of the queue now; the rest waits for room.
    // False when the device failed.
    bool startWrite();

    const qint64 readBufferBytes;
    int fd = -1;
    bool exclusive = false; // reserved for this program (TIOCEXCL)
    DeviceLock lock;
    QByteArray input;
    QByteArray queued;
    int readError = 0;
    int writeError = 0;
    QSocketNotifier reader{QSocketNotifier::Read};
    QSocketNotifier writer{QSocketNotifier::Write};
};

bool SerialDevice::Platform::finishRead()
{
    while (input.size() < readBufferBytes) {
        const qsizetype start = input.size();
        input.resize(readBufferBytes);
        const ssize_t count = ::read(fd, input.data() + start, readBufferBytes - start);
        input.resize(start + std::max<ssize_t>(count, 0));
        // A read that left room took all the line held; another would only say so.
        if (count > 0 && count < readBufferBytes - start)
            break;
        if (count > 0 || (count < 0 && errno == EINTR))
            continue;
        // Nothing there (another reader of the line may have taken it) is no failure.
        if (count < 0 && errno == EAGAIN)
            break;
        readError = count == 0 ? EIO : errno; // a hung-up device reads as end of file
        return false;
    }
    startRead();
    return true;
}

void SerialDevice::Platform::startRead()
{
    // Full: no read until some is taken, and no readable device to spin on.
    reader.setEnabled(fd >= 0 && input.size() < readBufferBytes);
}

bool SerialDevice::Platform::startWrite()
{
    while (!queued.isEmpty()) {
        const ssize_t count = ::write(fd, queued.constData(), queued.size());
        if (count > 0)
            queued.remove(0, count);
        else if (count < 0 && errno == EAGAIN)
            break; // a full line, which takes more later
        else if (count == 0 || errno != EINTR) {
            writeError = count == 0 ? EIO : errno;
            return false;
        }
    }
    writer.setEnabled(!queued.isEmpty());
    return true;
}

SerialDevice::SerialDevice(qint64 readBufferBytes, QObject *parent)
    : LinkDevice(parent)
    , m_platform(std::make_unique<Platform>(readBufferBytes))
{
    Platform &device = *m_platform;
    connect(&device.reader, &QSocketNotifier::activated, this, [this, &device] {
        if (!device.finishRead())
            fail(systemMessage(device.readError));
    });
    connect(&device.writer, &QSocketNotifier::activated, this, [this, &device] {
        if (!device.startWrite())
            fail(systemMessage(device.writeError));
    });
}

SerialDevice::~SerialDevice()
{
    close();
}

bool SerialDevice::isOpen() const
{
    return m_platform->fd >= 0;
}

std::optional<SerialDevice::Refusal> SerialDevice::open(const QString &devicePath,
                                                        const LineSettings &settings)
{
    // Whatever an open would report (a permission, a failed terminal request), this is what to fix.
    if (const std::optional<QString> advice = nonDeviceAdvice(devicePath))
        return Refusal{SerialError::Kind::NotASerialDevice, {}, *advice};
    Platform &device = *m_platform;
    std::optional<Refusal> refusal = device.lock.takeLockFile(devicePath);
    if (refusal)
        return refusal;
    device.fd = ::open(QFile::encodeName(devicePath).constData(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device.fd < 0)
        refusal = refusalOf(errno, devicePath);
    else if (!(refusal = device.lock.takeFlock(device.fd, devicePath))) {
        // Programs that use neither lock are kept out too, but for root.
        device.exclusive = ::ioctl(device.fd, TIOCEXCL) == 0;
        if (!device.exclusive || !applyLineSettings(device.fd, settings))
            refusal = Refusal{SerialError::Kind::OpenFailed, systemMessage(errno), {}};
    }
    if (refusal) {
        close();
        return refusal;
    }
    device.readError = device.writeError = 0;
    device.reader.setSocket(device.fd);
    device.writer.setSocket(device.fd);
    device.startRead();
    return std::nullopt;
}

void SerialDevice::close()
{
    Platform &device = *m_platform;
    device.reader.setEnabled(false);
    device.writer.setEnabled(false);
    // A pseudo-terminal keeps the reservation after the descriptor is gone, and
    // an ordinary user's next open of it would be refused. Only a hung-up device
    // refuses to give it back (EIO), and the reservation goes with that device.
    if (std::exchange(device.exclusive, false))
        static_cast<void>(::ioctl(device.fd, TIOCNXCL));
    if (device.fd >= 0)
        ::close(std::exchange(device.fd, -1)); // and with it the flock
    device.lock.release();
    device.input.clear();
    device.queued.clear();
}

// A line without RTS (a pseudo-terminal) refuses; that is no failure.
void SerialDevice::setRequestToSend(bool asserted)
{
    int line = TIOCM_RTS;
    ::ioctl(m_platform->fd, asserted ? TIOCMBIS : TIOCMBIC, &line);
}

qint64 SerialDevice::bytesWaiting() const
{
    return m_platform->input.size();
}

QByteArrayView SerialDevice::waiting() const
{
    return m_platform->input;
}

QByteArray SerialDevice::read(qint64 maxCount)
{
    Platform &device = *m_platform;
    const qint64 count = maxCount == 0 ? device.input.size() : maxCount;
    QByteArray taken = device.input.left(count);
    device.input.remove(0, taken.size());
    device.startRead();
    return taken;
}

// A hung-up device (unplugged) refuses the flush, and is found here.
void SerialDevice::discardInput()
{
    Platform &device = *m_platform;
    if (::tcflush(device.fd, TCIFLUSH) != 0) {
        fail(systemMessage(errno));
        return;
    }
    device.input.clear();
    device.startRead();
}

// A failed read is left to the event loop to report, as a hung-up device is.
void SerialDevice::takeArrivedInput()
{
    m_platform->finishRead();
}

bool SerialDevice::waitForInput(std::chrono::microseconds limit)
{
    return waitFor(m_platform->fd, POLLIN, limit);
}

// A device that hung up (unplugged) or failed, also one whose reads have stopped
// for a full buffer.
bool SerialDevice::noticeGone()
{
    Platform &device = *m_platform;
    pollfd polled{device.fd, POLLIN, 0};
    if (::poll(&polled, 1, 0) != 1 || (polled.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        return false;
    device.finishRead();
    fail(systemMessage(device.readError != 0 ? device.readError : EIO));
    return true;
}

qint64 SerialDevice::bytesToWrite() const
{
    return m_platform->queued.size();
}

void SerialDevice::write(const QByteArray &data)
{
    Platform &device = *m_platform;
    device.queued.append(data);
    if (!device.startWrite())
        fail(systemMessage(device.writeError));
}

bool SerialDevice::discardOutput()
{
    Platform &device = *m_platform;
    device.queued.clear();
    device.writer.setEnabled(false);
    // The system's queue too, so none of it goes out later.
    return ::tcflush(device.fd, TCOFLUSH) == 0;
}

bool SerialDevice::waitForOutputTaken(std::chrono::microseconds limit)
{
    Platform &device = *m_platform;
    if (device.queued.isEmpty() || !waitFor(device.fd, POLLOUT, limit))
        return false;
    if (!device.startWrite())
        fail(systemMessage(device.writeError));
    return true;
}
