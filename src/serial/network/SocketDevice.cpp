#include "SocketDevice.h"

#include <QScopeGuard>

#include <future>
#include <thread>

namespace {

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(time.count() / 1000.0);
}

} // namespace

SocketDevice::SocketDevice(qint64 readBufferBytes, qint64 maxQueuedBytes, QObject *parent)
    : LinkDevice(parent)
    , m_readBufferBytes(readBufferBytes)
    , m_maxQueuedBytes(maxQueuedBytes)
{
    connect(&m_reader, &QSocketNotifier::activated, this, &SocketDevice::receive);
    connect(&m_writer, &QSocketNotifier::activated, this, &SocketDevice::flush);
}

SocketDevice::~SocketDevice()
{
    close();
}

std::optional<LinkDevice::Refusal> SocketDevice::open(const QString &address,
                                                      const LineSettings &settings)
{
    const std::variant<NetAddress, QString> reading = readNetAddress(address);
    if (const auto *why = std::get_if<QString>(&reading))
        return Refusal{SerialError::Kind::BadAddress, address, *why};
    m_address = std::get<NetAddress>(reading);
    // Also where the owner gives the open up in a wait.
    const auto closeUnlessOpened = qScopeGuard([this] {
        if (!m_open)
            close();
    });
    const Clock::time_point deadline = Clock::now() + kConnectTimeout;
    const std::variant<QList<QHostAddress>, Refusal> found = lookUp(deadline);
    if (const auto *refusal = std::get_if<Refusal>(&found))
        return *refusal;
    if (std::optional<Refusal> refusal = connectTo(std::get<QList<QHostAddress>>(found), deadline))
        return refusal;
    watchConnection(m_descriptor);
    m_reader.setSocket(m_descriptor);
    m_writer.setSocket(m_descriptor);
    std::optional<Refusal> refusal = startSession(settings);
    m_open = !refusal;
    listen();
    return refusal;
}

// On a thread of its own that nobody waits for: a name service that does not
// answer holds neither the open past its bound nor the program's end.
std::variant<QList<QHostAddress>, LinkDevice::Refusal>
SocketDevice::lookUp(Clock::time_point deadline) const
{
    QHostAddress literal;
    if (literal.setAddress(m_address.host))
        return QList<QHostAddress>{literal};
    using Found = std::variant<QList<QHostAddress>, QString>;
    std::packaged_task<Found()> task([name = m_address.host] { return lookUpHost(name); });
    std::future<Found> lookup = task.get_future();
    std::thread(std::move(task)).detach();
    while (lookup.wait_for(nextSlice(deadline)) != std::future_status::ready) {
        if (Clock::now() >= deadline)
            return unknownHost(QStringLiteral("no answer from the name service within %1 s")
                                   .arg(seconds(kConnectTimeout)));
        yieldWhileOpening();
    }
    const Found found = lookup.get();
    if (const auto *addresses = std::get_if<QList<QHostAddress>>(&found);
        addresses && !addresses->isEmpty())
        return *addresses;
    const auto *error = std::get_if<QString>(&found);
    return unknownHost(error ? *error : QString());
}

LinkDevice::Refusal SocketDevice::unknownHost(const QString &detail) const
{
    return Refusal{
        SerialError::Kind::HostNotFound, detail,
        QStringLiteral("Check the host name \"%1\", or give its IP address.").arg(m_address.host)};
}

std::optional<LinkDevice::Refusal> SocketDevice::connectTo(const QList<QHostAddress> &addresses,
                                                           Clock::time_point deadline)
{
    ConnectAttempt attempt;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const Clock::time_point started = Clock::now();
        const Clock::time_point shareEnd = started + (deadline - started) / (addresses.size() - i);
        attempt = startConnecting(addresses[i], m_address.port);
        const auto closeUnlessTaken = qScopeGuard([&attempt] {
            if (attempt.descriptor >= 0)
                closeSocket(attempt.descriptor);
        });
        while (attempt.state == Connecting::InProgress && Clock::now() < shareEnd) {
            if (waitForSocket(attempt.descriptor, SocketReady::ToWrite, nextSlice(shareEnd)))
                checkConnecting(attempt);
            yieldWhileOpening();
        }
        if (attempt.state == Connecting::Connected) {
            m_descriptor = std::exchange(attempt.descriptor, -1);
            m_connectTime =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
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
    if (attempt.state == Connecting::InProgress)
        return noAnswer();
    if (attempt.state == Connecting::Refused)
        return Refusal{SerialError::Kind::ConnectionRefused, attempt.error,
                       QStringLiteral("Check that ser2net runs on %1 and serves port %2.")
                           .arg(host)
                           .arg(m_address.port)};
    return Refusal{
        SerialError::Kind::OpenFailed, attempt.error,
        QStringLiteral("Check the address %1 and that the network reaches it.").arg(host)};
}

// ser2net says why in a line of text before it closes.
LinkDevice::Refusal SocketDevice::endedWhileOpening() const
{
    if (m_lossKind != SerialError::Kind::ConnectionClosed)
        return Refusal{m_lossKind, m_lossDetail, {}};
    const QString said = QString::fromLatin1(m_input.left(80)).simplified();
    return Refusal{SerialError::Kind::OpenFailed,
                   QStringLiteral("the server closed the connection at once")
                       + (said.isEmpty() ? QString() : QStringLiteral(": \"%1\"").arg(said)),
                   QStringLiteral("ser2net serves a port to one client at a time: check that "
                                  "no other program has it.")};
}

std::optional<LinkDevice::Refusal> SocketDevice::startSession(const LineSettings &)
{
    const Clock::time_point deadline = Clock::now() + kRefusalWindow + 2 * m_connectTime;
    while (connected() && Clock::now() < deadline)
        waitWhileOpening(nextSlice(deadline));
    return connected() ? std::nullopt : std::optional<Refusal>(endedWhileOpening());
}

void SocketDevice::waitWhileOpening(std::chrono::microseconds limit)
{
    if (waitForSocket(m_descriptor, SocketReady::ToRead, limit))
        receive();
    flush();
    yieldWhileOpening();
}

void SocketDevice::close()
{
    m_open = false;
    m_reader.setEnabled(false);
    m_writer.setEnabled(false);
    if (m_descriptor >= 0)
        closeSocket(std::exchange(m_descriptor, -1));
    m_input.clear();
    m_queued.clear();
}

void SocketDevice::setRequestToSend(bool)
{
}

void SocketDevice::takeReceived(const QByteArray &bytes, QByteArray &input)
{
    input += bytes;
}

void SocketDevice::receive()
{
    const qint64 room = m_open ? m_readBufferBytes - m_input.size() : m_readBufferBytes;
    if (connected() && room > 0) {
        QByteArray bytes(room, Qt::Uninitialized);
        const Transfer got = receiveNow(m_descriptor, bytes.data(), room);
        bytes.truncate(got.count);
        takeReceived(bytes, m_input);
        if (!m_open && m_input.size() > m_readBufferBytes)
            m_input.remove(0, m_input.size() - m_readBufferBytes);
        if (got.end != SocketEnd::Open)
            ended(got);
    }
    listen();
}

void SocketDevice::ended(const Transfer &transfer)
{
    if (!connected())
        return;
    m_end = transfer.end;
    m_lossDetail = transfer.error;
    if (m_end == SocketEnd::Unanswered)
        m_lossKind = SerialError::Kind::ConnectionLost;
    fail(m_lossDetail);
}

void SocketDevice::giveUp(SerialError::Kind kind, const QString &detail)
{
    m_lossKind = kind;
    ended({0, SocketEnd::Closed, detail});
}

void SocketDevice::listen()
{
    m_reader.setEnabled(m_open && connected() && m_input.size() < m_readBufferBytes);
    m_writer.setEnabled(m_open && connected() && !m_queued.isEmpty());
}

// A sleeping wait may take the socket's events from the event loop on some
// systems; they are asked for anew after one.
void SocketDevice::rearm()
{
    m_reader.setEnabled(false);
    m_writer.setEnabled(false);
    listen();
}

void SocketDevice::takeArrivedInput()
{
    receive();
}

QByteArray SocketDevice::read(qint64 maxCount)
{
    const qint64 count = maxCount == 0 ? m_input.size() : qMin(maxCount, m_input.size());
    QByteArray bytes = m_input.left(count);
    m_input.remove(0, count);
    listen();
    return bytes;
}

// What has come by the start of the discard is read away, and no more: a far
// end that keeps sending cannot keep it going.
void SocketDevice::discardInput()
{
    readAway(receivableNow(m_descriptor));
    m_input.clear();
    listen();
}

void SocketDevice::readAway(qint64 count)
{
    char buffer[4096];
    for (QByteArray stale; count > 0 && connected(); stale.clear()) {
        const Transfer got = receiveNow(m_descriptor, buffer, qMin<qint64>(count, sizeof buffer));
        takeReceived(QByteArray(buffer, got.count), stale);
        if (got.end != SocketEnd::Open)
            ended(got);
        if (got.count == 0)
            break;
        count -= got.count;
    }
}

// A full input is not read: the wait then sleeps until the connection ends or
// the time is up, rather than wake for input it would not take.
bool SocketDevice::waitForInput(std::chrono::microseconds limit)
{
    if (!m_open)
        return false;
    const bool full = m_input.size() >= m_readBufferBytes;
    const bool woken =
        waitForSocket(m_descriptor, full ? SocketReady::Ended : SocketReady::ToRead, limit);
    rearm();
    return woken && !full;
}

bool SocketDevice::noticeGone()
{
    receive(); // a closed connection reads as its end and is told there
    return !m_open;
}

void SocketDevice::send(const QByteArray &wire)
{
    if (m_queued.size() + wire.size() > m_maxQueuedBytes) {
        giveUp(SerialError::Kind::ServerNotReading,
               QStringLiteral("%1 bytes wait to be sent").arg(m_queued.size() + wire.size()));
        return;
    }
    m_queued += wire;
    flush();
}

void SocketDevice::write(const QByteArray &data)
{
    send(encoded(data));
}

void SocketDevice::flush()
{
    if (connected() && !m_queued.isEmpty()) {
        const Transfer sent = sendNow(m_descriptor, m_queued.constData(), m_queued.size());
        m_queued.remove(0, sent.count);
        acknowledgeAtOnce(m_descriptor);
        if (sent.end != SocketEnd::Open)
            ended(sent);
    }
    listen();
}

bool SocketDevice::discardOutput()
{
    m_queued.clear();
    listen();
    return true;
}

bool SocketDevice::waitForOutputTaken(std::chrono::microseconds limit)
{
    if (m_queued.isEmpty() || !waitForSocket(m_descriptor, SocketReady::ToWrite, limit))
        return false;
    rearm();
    flush();
    return m_open;
}
