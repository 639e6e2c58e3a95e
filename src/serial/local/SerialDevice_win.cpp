// The serial device on Windows, in plain Win32 overlapped I/O. A one-byte read is
// kept outstanding: with no read time-outs it completes when a byte arrives
// (COMMTIMEOUTS: both total time-outs 0 means none are used, ReadIntervalTimeout
// 0 means no interval time-out), so its event wakes the event loop and the
// sleeping wait alike; what came with it is then taken at once, ClearCommError's
// cbInQue counting it. No WaitCommEvent, whose EV_RXCHAR some drivers (and Wine
// on a pseudo-terminal) never report. The sleeping waits are alertable: the
// request to end that ends them is an asynchronous procedure call queued to
// the thread.
#include "SerialDevice.h"

#include <QWinEventNotifier>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

namespace {

const QString kDeviceNamespace = QStringLiteral("\\\\.\\");
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
// How long a driver may take to hand back a request that needs no time on the
// line: the rest of a read whose bytes it holds already, or one it was asked to
// cancel. A driver that takes longer has failed: the device counts as lost.
constexpr std::chrono::milliseconds kDriverGrace{1000};

QString systemMessage(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, static_cast<int>(length)).trimmed()
                             : QStringLiteral("system error %1").arg(code);
    ::LocalFree(text);
    return message;
}

BYTE parityOf(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return EVENPARITY;
    case QSerialPort::OddParity:
        return ODDPARITY;
    case QSerialPort::MarkParity:
        return MARKPARITY;
    case QSerialPort::SpaceParity:
        return SPACEPARITY;
    default:
        return NOPARITY;
    }
}

BYTE stopBitsOf(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop:
        return ONE5STOPBITS;
    case QSerialPort::TwoStop:
        return TWOSTOPBITS;
    default:
        return ONESTOPBIT;
    }
}

// The line settings, no flow control of any kind, DTR and RTS on as on Unix
// (Windows' driver lowers both at every close), and no abort of I/O on a line
// error. The XON/XOFF
// characters and limits are set although unused: SetCommState refuses equal
// characters, which an earlier program may have left behind.
bool applyLineSettings(HANDLE handle, const LineSettings &settings, qint64 bufferBytes)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return false;
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = parityOf(settings.parity);
    dcb.StopBits = stopBitsOf(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != QSerialPort::NoParity;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.XonChar = kXon;
    dcb.XoffChar = kXoff;
    dcb.XonLim = static_cast<WORD>(bufferBytes / 4);
    dcb.XoffLim = static_cast<WORD>(bufferBytes / 4);
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    COMMTIMEOUTS noTimeouts = {};
    return ::SetCommState(handle, &dcb) && ::SetCommTimeouts(handle, &noTimeouts);
}

SerialDevice::Refusal refusalOf(DWORD code)
{
    using Kind = SerialError::Kind;
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {Kind::NoSuchDevice, systemMessage(code), {}};
    // Windows lets one program at a time open a port, and refuses the next with
    // "access denied"; a port this account may not use says the same.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return {Kind::DeviceBusy, systemMessage(code),
                QStringLiteral("Windows lets one program at a time use a port. If no other "
                               "program has it open, this account may not use the port: ask "
                               "the computer's administrator.")};
    default:
        return {Kind::OpenFailed, systemMessage(code), {}};
    }
}

// Sleeps until the event is signalled (true), the time is up or an asynchronous
// procedure call comes.
bool waitAlertably(HANDLE event, std::chrono::microseconds limit)
{
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(limit).count();
    return ::WaitForSingleObjectEx(event, static_cast<DWORD>(milliseconds), TRUE) == WAIT_OBJECT_0;
}

// What the system holds while an overlapped request is on: the OVERLAPPED with
// its event (manual reset, as overlapped I/O wants) and the request's buffer.
struct Request {
    Request() { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Request() { ::CloseHandle(overlapped.hEvent); }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    OVERLAPPED overlapped = {};
    QByteArray buffer;
};

// One overlapped operation at a time: its request, the notifier that tells the
// event loop when the request's event is signalled, and whether the system
// still holds the request.
struct Operation {
    Operation()
    {
        notifier.setHandle(event());
        notifier.setEnabled(false);
    }

    HANDLE event() const { return request->overlapped.hEvent; }
    // Nothing pending, and no signalled event for the notifier to fire on
    // without end.
    void settle()
    {
        pending = false;
        ::ResetEvent(event());
    }
    // A request the driver would not give back may still be written to: it is
    // left to the driver for good, and a fresh one taken. Only while disabled.
    void abandon()
    {
        static_cast<void>(request.release());
        request = std::make_unique<Request>();
        notifier.setHandle(event());
        pending = false;
    }

    std::unique_ptr<Request> request = std::make_unique<Request>();
    QWinEventNotifier notifier;
    bool pending = false;
};

// The result of a request that needs no time on the line, waited for at most
// kDriverGrace: ERROR_TIMEOUT when the driver keeps it longer (it is then still
// pending), otherwise how it ended.
DWORD promptResult(HANDLE handle, Operation &operation, DWORD &count)
{
    if (::WaitForSingleObject(operation.event(), static_cast<DWORD>(kDriverGrace.count()))
        != WAIT_OBJECT_0)
        return ERROR_TIMEOUT;
    const DWORD error = ::GetOverlappedResult(handle, &operation.request->overlapped, &count, FALSE)
                            ? ERROR_SUCCESS
                            : ::GetLastError();
    operation.pending = false;
    return error;
}

} // namespace

struct SerialDevice::Platform {
    explicit Platform(qint64 readBufferBytes)
        : readBufferBytes(readBufferBytes)
    {
    }

    // Collects a finished read: the byte it brought and whatever waits behind it,
    // then starts the next. False when the read failed (not when it is still on).
    bool finishRead();
    void startRead();
    bool takeWaitingBehind(qint64 count);
    // Collects a finished write and starts the next; false when it failed.
    bool finishWrite();
    bool startWrite();
    // Cancels what the system holds and waits, kDriverGrace at most for each,
    // until it is given back; a request the driver keeps is left to it.
    void cancelOperations();

    const qint64 readBufferBytes;
    HANDLE handle = INVALID_HANDLE_VALUE;
    QByteArray input;
    Operation reader; // one byte at a time
    DWORD readError = ERROR_SUCCESS;
    // For taking what waits behind the byte; its notifier stays off.
    Operation drain;
    Operation writer;  // what is being written in its buffer
    QByteArray queued; // behind it
    DWORD writeError = ERROR_SUCCESS;
};

void SerialDevice::Platform::startRead()
{
    if (input.size() >= readBufferBytes) {
        // Full: no read until some is taken.
        reader.settle();
        return;
    }
    ::ResetEvent(reader.event());
    reader.request->buffer.resize(1);
    reader.pending =
        ::ReadFile(handle, reader.request->buffer.data(), 1, nullptr, &reader.request->overlapped)
        || ::GetLastError() == ERROR_IO_PENDING;
    if (!reader.pending) {
        // Reported where a finished read is: on the event loop, or by the discard.
        readError = ::GetLastError();
        ::SetEvent(reader.event());
    }
}

// A read ended by ERROR_OPERATION_ABORTED fails like any other: nothing here
// cancels a read but the close, so a device that gives reads up has gone.
bool SerialDevice::Platform::finishRead()
{
    if (readError != ERROR_SUCCESS)
        return false;
    if (!reader.pending)
        return true;
    DWORD count = 0;
    if (!::GetOverlappedResult(handle, &reader.request->overlapped, &count, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return true;
        readError = error;
        return false;
    }
    reader.pending = false;
    if (count == 1)
        input.append(reader.request->buffer.front());
    DWORD errors = 0;
    COMSTAT status = {};
    ::ClearCommError(handle, &errors, &status);
    const qint64 behind = std::min<qint64>(status.cbInQue, readBufferBytes - input.size());
    if (behind > 0 && !takeWaitingBehind(behind))
        return false;
    startRead();
    return true;
}

// All of it is in the driver's buffer, so the read ends at once; a driver that
// keeps it (it counted bytes it does not have) has failed.
bool SerialDevice::Platform::takeWaitingBehind(qint64 count)
{
    Request &request = *drain.request;
    request.buffer.resize(count);
    drain.pending = ::ReadFile(handle, request.buffer.data(), static_cast<DWORD>(count), nullptr,
                               &request.overlapped)
                    || ::GetLastError() == ERROR_IO_PENDING;
    DWORD taken = 0;
    readError = drain.pending ? promptResult(handle, drain, taken) : ::GetLastError();
    if (readError != ERROR_SUCCESS)
        return false;
    input.append(request.buffer.left(static_cast<qsizetype>(taken)));
    return true;
}

bool SerialDevice::Platform::startWrite()
{
    if (writer.pending)
        return true;
    if (queued.isEmpty()) {
        writer.settle();
        return true;
    }
    QByteArray &writing = writer.request->buffer;
    writing.swap(queued);
    queued.clear();
    ::ResetEvent(writer.event());
    writer.pending = true;
    if (!::WriteFile(handle, writing.constData(), static_cast<DWORD>(writing.size()), nullptr,
                     &writer.request->overlapped)
        && ::GetLastError() != ERROR_IO_PENDING) {
        writeError = ::GetLastError();
        writer.pending = false;
        return false;
    }
    return finishWrite();
}

bool SerialDevice::Platform::finishWrite()
{
    if (!writer.pending)
        return true;
    DWORD count = 0;
    if (!::GetOverlappedResult(handle, &writer.request->overlapped, &count, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return true;
        writeError = error;
        writer.pending = false;
        return false;
    }
    writer.pending = false;
    // With no write time-outs a write ends when all of it is sent; kept for a
    // driver that ends it early.
    QByteArray &writing = writer.request->buffer;
    queued.prepend(writing.mid(count));
    writing.clear();
    return startWrite();
}

void SerialDevice::Platform::cancelOperations()
{
    ::CancelIoEx(handle, nullptr);
    for (Operation *operation : {&reader, &drain, &writer}) {
        operation->notifier.setEnabled(false);
        DWORD count = 0;
        if (operation->pending && promptResult(handle, *operation, count) == ERROR_TIMEOUT)
            operation->abandon();
        // Its event stays signalled after the request ended.
        operation->settle();
    }
}

SerialDevice::SerialDevice(qint64 readBufferBytes, QObject *parent)
    : LinkDevice(parent)
    , m_platform(std::make_unique<Platform>(readBufferBytes))
{
    Platform &device = *m_platform;
    connect(&device.reader.notifier, &QWinEventNotifier::activated, this, [this, &device] {
        if (!device.finishRead())
            fail(systemMessage(device.readError));
    });
    connect(&device.writer.notifier, &QWinEventNotifier::activated, this, [this, &device] {
        if (!device.finishWrite())
            fail(systemMessage(device.writeError));
    });
}

SerialDevice::~SerialDevice()
{
    close();
}

bool SerialDevice::isOpen() const
{
    return m_platform->handle != INVALID_HANDLE_VALUE;
}

std::optional<SerialDevice::Refusal> SerialDevice::open(const QString &devicePath,
                                                        const LineSettings &settings)
{
    Platform &device = *m_platform;
    const QString path =
        devicePath.startsWith(kDeviceNamespace) ? devicePath : kDeviceNamespace + devicePath;
    device.handle =
        ::CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                      0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device.handle == INVALID_HANDLE_VALUE)
        return refusalOf(::GetLastError());
    // A driver that keeps its own buffer sizes is no failure.
    ::SetupComm(device.handle, static_cast<DWORD>(device.readBufferBytes),
                static_cast<DWORD>(device.readBufferBytes));
    if (!applyLineSettings(device.handle, settings, device.readBufferBytes)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(std::exchange(device.handle, INVALID_HANDLE_VALUE));
        return Refusal{SerialError::Kind::OpenFailed, systemMessage(error), {}};
    }
    device.readError = device.writeError = ERROR_SUCCESS;
    device.reader.notifier.setEnabled(true);
    device.writer.notifier.setEnabled(true);
    device.startRead();
    return std::nullopt;
}

void SerialDevice::close()
{
    Platform &device = *m_platform;
    if (device.handle == INVALID_HANDLE_VALUE)
        return;
    device.cancelOperations();
    ::CloseHandle(std::exchange(device.handle, INVALID_HANDLE_VALUE));
    device.input.clear();
    device.writer.request->buffer.clear();
    device.queued.clear();
}

void SerialDevice::setRequestToSend(bool asserted)
{
    ::EscapeCommFunction(m_platform->handle, asserted ? SETRTS : CLRRTS);
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
    if (!device.reader.pending && device.readError == ERROR_SUCCESS)
        device.startRead();
    return taken;
}

void SerialDevice::discardInput()
{
    Platform &device = *m_platform;
    const bool purged = ::PurgeComm(device.handle, PURGE_RXCLEAR);
    const DWORD purgeError = ::GetLastError();
    if (!device.finishRead() || !purged) {
        fail(systemMessage(purged ? device.readError : purgeError));
        return;
    }
    device.input.clear();
    if (!device.reader.pending)
        device.startRead();
}

// A failed read is left to the event loop to report, as a hung-up device is.
void SerialDevice::takeArrivedInput()
{
    m_platform->finishRead();
}

bool SerialDevice::waitForInput(std::chrono::microseconds limit)
{
    Platform &device = *m_platform;
    if (!device.reader.pending || device.readError != ERROR_SUCCESS)
        return false;
    if (!waitAlertably(device.reader.event(), limit))
        return false;
    DWORD count = 0;
    return ::GetOverlappedResult(device.handle, &device.reader.request->overlapped, &count, FALSE)
           && count == 1;
}

// A read that failed, or a device that answers no more (unplugged), has gone.
bool SerialDevice::noticeGone()
{
    Platform &device = *m_platform;
    DWORD errors = 0;
    COMSTAT status = {};
    if (device.finishRead() && ::ClearCommError(device.handle, &errors, &status))
        return false;
    fail(systemMessage(device.readError != ERROR_SUCCESS ? device.readError : ::GetLastError()));
    return true;
}

qint64 SerialDevice::bytesToWrite() const
{
    return m_platform->writer.request->buffer.size() + m_platform->queued.size();
}

void SerialDevice::write(const QByteArray &data)
{
    Platform &device = *m_platform;
    device.queued.append(data);
    if (!device.startWrite())
        fail(systemMessage(device.writeError));
}

// A write the system holds is aborted, which the driver hands back at once; one
// it keeps has gone out, or may still.
bool SerialDevice::discardOutput()
{
    Platform &device = *m_platform;
    device.queued.clear();
    if (!device.writer.pending)
        return true;
    ::PurgeComm(device.handle, PURGE_TXABORT | PURGE_TXCLEAR);
    DWORD count = 0;
    if (promptResult(device.handle, device.writer, count) == ERROR_TIMEOUT) {
        fail(systemMessage(ERROR_TIMEOUT));
        return false;
    }
    device.writer.settle();
    device.writer.request->buffer.clear();
    return true;
}

bool SerialDevice::waitForOutputTaken(std::chrono::microseconds limit)
{
    Platform &device = *m_platform;
    if (!device.writer.pending || !waitAlertably(device.writer.event(), limit))
        return false;
    if (!device.finishWrite())
        fail(systemMessage(device.writeError));
    return true;
}
