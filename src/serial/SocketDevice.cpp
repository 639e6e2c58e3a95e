#include "SocketDevice.h"

#include "SocketIo.h"

#include <QHostInfo>
#include <QScopeGuard>

namespace {

constexpr qint64 kReceiveChunkBytes = 1024;

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(time.count() / 1000.0);
}

} // namespace

SocketDevice::SocketDevice(qint64 readBufferBytes, QObject *parent)
    : LinkDevice(parent)
    , m_readBufferBytes(readBufferBytes)
{
    // A flood waits in the server and the network, not here.
    m_socket.setReadBufferSize(readBufferBytes);
    connect(&m_socket, &QTcpSocket::readyRead, this, &SocketDevice::takeFromQt);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &SocketDevice::handOver);
    connect(&m_socket, &QTcpSocket::disconnected, this, &SocketDevice::onConnectionClosed);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &SocketDevice::onConnectionClosed);
}

SocketDevice::~SocketDevice() = default;

std::optional<LinkDevice::Refusal> SocketDevice::open(const QString &address,
                                                      const LineSettings &settings)
{
    const std::optional<NetAddress> parsed = parseNetAddress(address);
    if (!parsed)
        return Refusal{SerialError::Kind::OpenFailed,
                       QStringLiteral("\"%1\" is no rfc2217:// or socket:// address").arg(address),
                       {}};
    m_address = *parsed;
    m_peerClosed = false;
    // Also where the owner gives the open up in a wait.
    const auto closeUnlessOpened = qScopeGuard([this] {
        if (!m_open)
            close();
    });
    if (std::optional<Refusal> refusal = connectToServer())
        return refusal;
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    std::optional<Refusal> refusal = startSession(settings);
    if (!refusal && !connected())
        refusal = closedAtOnce();
    m_open = !refusal;
    return refusal;
}

// The lookup of a host name may still hold the program a moment; an address
// given as such needs none. Each address the name has is tried in turn.
std::optional<LinkDevice::Refusal> SocketDevice::connectToServer()
{
    const QHostInfo host = QHostInfo::fromName(m_address.host);
    if (host.addresses().isEmpty())
        return Refusal{SerialError::Kind::HostNotFound, host.errorString(),
                       QStringLiteral("Check the host name \"%1\", or give its IP address.")
                           .arg(m_address.host)};
    const Clock::time_point deadline = Clock::now() + kConnectTimeout;
    ConnectAttempt attempt;
    for (const QHostAddress &server : host.addresses()) {
        attempt = startConnecting(server, m_address.port);
        const auto closeUnlessTaken = qScopeGuard([&attempt] {
            if (attempt.descriptor >= 0)
                closeSocket(attempt.descriptor);
        });
        while (attempt.state == Connecting::InProgress) {
            if (waitForSocket(attempt.descriptor, SocketReady::ToWrite, nextSlice(deadline)))
                checkConnecting(attempt);
            else if (Clock::now() >= deadline)
                return noAnswer();
            else
                yieldWhileOpening();
        }
        if (attempt.state == Connecting::Connected
            && m_socket.setSocketDescriptor(attempt.descriptor)) {
            attempt.descriptor = -1; // Qt's now
            return std::nullopt;
        }
    }
    return attemptRefusal(attempt);
}

LinkDevice::Refusal SocketDevice::noAnswer() const
{
    return Refusal{SerialError::Kind::NoAnswer,
                   QStringLiteral("no answer within %1 s").arg(seconds(kConnectTimeout)),
                   QStringLiteral("Check that %1 is up and that no firewall is in the way.")
                       .arg(m_address.host)};
}

LinkDevice::Refusal SocketDevice::attemptRefusal(const ConnectAttempt &attempt) const
{
    const QString host = m_address.host;
    if (attempt.state == Connecting::Refused)
        return Refusal{SerialError::Kind::ConnectionRefused, attempt.error,
                       QStringLiteral("Check that ser2net runs on %1 and serves port %2.")
                           .arg(host)
                           .arg(m_address.port)};
    // A failure of another kind, or a connection Qt did not take.
    const QString detail = attempt.error.isEmpty() ? m_socket.errorString() : attempt.error;
    return Refusal{
        SerialError::Kind::OpenFailed, detail,
        QStringLiteral("Check the address %1 and that the network reaches it.").arg(host)};
}

// ser2net says why in a line of text before it closes.
LinkDevice::Refusal SocketDevice::closedAtOnce() const
{
    const QString said = QString::fromLatin1(m_input.left(80)).simplified();
    return Refusal{SerialError::Kind::OpenFailed,
                   QStringLiteral("the server closed the connection at once")
                       + (said.isEmpty() ? QString() : QStringLiteral(": \"%1\"").arg(said)),
                   QStringLiteral("ser2net serves a port to one client at a time: check that "
                                  "no other program has it.")};
}

std::optional<LinkDevice::Refusal> SocketDevice::startSession(const LineSettings &)
{
    return std::nullopt;
}

bool SocketDevice::connected() const
{
    return !m_peerClosed && m_socket.state() == QAbstractSocket::ConnectedState;
}

void SocketDevice::close()
{
    m_open = false;
    m_socket.abort();
    m_input.clear();
    m_pending.clear();
}

// What to check is the lost port's message (SerialError::Kind::ConnectionClosed).
void SocketDevice::onConnectionClosed()
{
    fail({});
}

void SocketDevice::setRequestToSend(bool)
{
}

void SocketDevice::takeReceived(const QByteArray &bytes, QByteArray &input)
{
    input += bytes;
}

// What Qt has read on the event loop comes first, to keep the order.
void SocketDevice::takeFromQt()
{
    if (room() > 0 && m_socket.bytesAvailable() > 0)
        takeReceived(m_socket.read(room()), m_input);
}

// Straight from the system, as far as there is room: no event loop needed.
void SocketDevice::receiveArrived()
{
    char buffer[kReceiveChunkBytes];
    while (connected() && m_socket.bytesAvailable() == 0 && room() > 0) {
        const qint64 got =
            receiveNow(m_socket.socketDescriptor(), buffer, qMin(room(), kReceiveChunkBytes));
        if (got == 0)
            return;
        if (got < 0) {
            m_peerClosed = true;
            onConnectionClosed();
            return;
        }
        takeReceived(QByteArray(buffer, got), m_input);
    }
}

void SocketDevice::takeArrivedInput()
{
    takeFromQt();
    receiveArrived();
}

QByteArray SocketDevice::read(qint64 maxCount)
{
    const qint64 count = maxCount == 0 ? m_input.size() : qMin(maxCount, m_input.size());
    QByteArray bytes = m_input.left(count);
    m_input.remove(0, count);
    return bytes;
}

// What has come by the start of the discard is read away, and no more: a far
// end that keeps sending cannot keep it going. The protocol still sees it all.
void SocketDevice::discardInput()
{
    QByteArray stale;
    takeReceived(m_socket.readAll(), stale);
    char buffer[kReceiveChunkBytes];
    for (qint64 left = receivableNow(m_socket.socketDescriptor()); left > 0 && connected();) {
        const qint64 got =
            receiveNow(m_socket.socketDescriptor(), buffer, qMin(left, kReceiveChunkBytes));
        if (got < 0)
            m_peerClosed = true;
        if (got <= 0)
            break;
        takeReceived(QByteArray(buffer, got), stale);
        stale.clear();
        left -= got;
    }
    m_input.clear();
    if (m_peerClosed)
        onConnectionClosed();
}

bool SocketDevice::waitAndTake(std::chrono::microseconds limit)
{
    if (!waitForSocket(m_socket.socketDescriptor(), SocketReady::ToRead, limit))
        return false;
    takeArrivedInput();
    return connected();
}

bool SocketDevice::waitForInput(std::chrono::microseconds limit)
{
    if (!m_open)
        return false;
    if (m_socket.bytesAvailable() > 0 && room() > 0)
        return true;
    return waitForSocket(m_socket.socketDescriptor(), SocketReady::ToRead, limit);
}

bool SocketDevice::noticeGone()
{
    takeArrivedInput(); // a closed connection reads as its end and is reported there
    return !m_open;
}

void SocketDevice::send(const QByteArray &wire)
{
    m_pending += wire;
    handOver();
}

void SocketDevice::write(const QByteArray &data)
{
    send(encoded(data));
}

// Straight to the system while Qt holds nothing; what the system does not take
// goes to Qt a chunk at a time, to be written when the socket has room.
void SocketDevice::handOver()
{
    if (m_socket.bytesToWrite() > 0 || m_pending.isEmpty() || !connected())
        return;
    const qint64 sent =
        sendNow(m_socket.socketDescriptor(), m_pending.constData(), m_pending.size());
    if (sent < 0) {
        m_peerClosed = true;
        onConnectionClosed();
        return;
    }
    acknowledgeAtOnce(m_socket.socketDescriptor());
    m_pending.remove(0, sent);
    if (m_pending.isEmpty())
        return;
    // Taken out first: Qt may report it written at once, which calls this again.
    const QByteArray chunk = m_pending.left(kHandOverBytes);
    m_pending.remove(0, chunk.size());
    m_socket.write(chunk);
}

bool SocketDevice::waitForOutputTaken(std::chrono::microseconds limit)
{
    if (!waitForSocket(m_socket.socketDescriptor(), SocketReady::ToWrite, limit))
        return false;
    m_socket.flush();
    forgetBrokenConnectionSignal();
    handOver();
    return m_open;
}
