#include "VirtualBoard.h"

#include "CommandFrame.h"

#include <QSocketNotifier>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// After an error on the master, look again this much later rather than at once.
constexpr std::chrono::milliseconds kReadRetry{100};
// Reads per wake-up, so a flood cannot keep the event loop from the window.
constexpr int kReadsPerWake = 16;

QByteArray hexDigits(int value, int width)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(width, '0');
}

void setCloseOnExec(int fd)
{
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

} // namespace

VirtualBoard::VirtualBoard(QObject *parent)
    : QObject(parent)
{
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &VirtualBoard::pump);
    m_readRetryTimer.setSingleShot(true);
    m_readRetryTimer.setInterval(kReadRetry);
    connect(&m_readRetryTimer, &QTimer::timeout, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });
    open();
}

VirtualBoard::~VirtualBoard()
{
    const QSignalBlocker quiet(this);
    vanish();
}

bool VirtualBoard::open()
{
    if (isOpen())
        return true;
    char name[PATH_MAX] = {};
    int master = -1;
    int device = -1;
    if (::openpty(&master, &device, name, nullptr, nullptr) != 0)
        return false;
    // Raw from the start: no echo back to the board, no CR turned into LF.
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    ::tcsetattr(device, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    setCloseOnExec(master);
    setCloseOnExec(device);

    m_masterFd = master;
    m_deviceFd = device;
    m_devicePath = QString::fromLocal8Bit(name);
    m_splitter = {};
    m_readNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &VirtualBoard::onReadable);
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &VirtualBoard::pump);
    Q_EMIT openChanged(true);
    return true;
}

void VirtualBoard::vanish()
{
    if (!isOpen())
        return;
    // Vanishing can be the answer to a frame, inside the read notifier's own call.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_readNotifier = m_writeNotifier = nullptr;
    m_sendTimer.stop();
    m_readRetryTimer.stop();
    m_outgoing.clear();
    ::close(m_masterFd);
    ::close(m_deviceFd);
    m_masterFd = m_deviceFd = -1;
    Q_EMIT openChanged(false);
}

void VirtualBoard::setPortA(quint8 value)
{
    if (value == m_portA)
        return;
    m_portA = value;
    Q_EMIT portAChanged(value);
}

void VirtualBoard::setAnalogValue(int channel, int value)
{
    value = qBound(0, value, kMaxAnalogValue);
    if (value == m_analog.at(channel))
        return;
    m_analog.at(channel) = value;
    Q_EMIT analogValueChanged(channel, value);
}

void VirtualBoard::setFault(Fault fault)
{
    if (fault == m_fault)
        return;
    m_fault = fault;
    Q_EMIT faultChanged(fault);
}

void VirtualBoard::setPaced(bool paced)
{
    if (paced == m_paced)
        return;
    m_paced = paced;
    Q_EMIT pacedChanged(paced);
}

QByteArray VirtualBoard::portsReplyBody() const
{
    return 'I' + hexDigits(m_portA, 2) + hexDigits(m_portB, 2) + frame::kCr;
}

QByteArray VirtualBoard::channelReplyBody(int channel) const
{
    return 'A' + hexDigits(m_analog.at(channel), 3) + frame::kCr;
}

void VirtualBoard::onReadable()
{
    char buffer[256];
    for (int i = 0; i < kReadsPerWake && isOpen(); ++i) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n > 0) {
            for (const QByteArray &body : m_splitter.feed(QByteArrayView(buffer, n))) {
                if (const std::optional<frame::Command> command = frame::parseCommand(body))
                    handle(*command);
                else
                    Q_EMIT frameIgnored(body);
                if (!isOpen())
                    return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // EIO or end of file: the notifier would fire again at once, so pause it.
        m_readNotifier->setEnabled(false);
        m_readRetryTimer.start();
        return;
    }
}

void VirtualBoard::setPortB(quint8 value)
{
    if (value == m_portB)
        return;
    m_portB = value;
    Q_EMIT portBChanged(value);
}

void VirtualBoard::handle(const frame::Command &command)
{
    namespace cmd = frame::cmd;
    Q_EMIT commandReceived(command);
    if (const auto *c = std::get_if<cmd::SetBit>(&command)) {
        const quint8 mask = static_cast<quint8>(1u << c->bit);
        setPortB(c->on ? (m_portB | mask) : (m_portB & ~mask));
    } else if (const auto *c = std::get_if<cmd::WritePortB>(&command)) {
        setPortB(c->value);
    } else if (const auto *c = std::get_if<cmd::WriteDirection>(&command)) {
        if (c->value != m_direction) {
            m_direction = c->value;
            Q_EMIT directionChanged(c->value);
        }
    } else if (const auto *c = std::get_if<cmd::SoundBuzzer>(&command)) {
        m_buzzerLength = c->length;
        m_buzzerFrequency = c->frequency;
        ++m_buzzerCount;
        Q_EMIT buzzerSounded(c->length, c->frequency);
    } else if (const auto *c = std::get_if<cmd::SetPwm>(&command)) {
        if (c->duty != m_pwm.at(c->channel)) {
            m_pwm.at(c->channel) = c->duty;
            Q_EMIT pwmChanged(c->channel, c->duty);
        }
    } else if (std::holds_alternative<cmd::ReadPorts>(command)) {
        answer(portsReplyBody());
    } else if (const auto *c = std::get_if<cmd::ReadChannel>(&command)) {
        answer(channelReplyBody(c->channel));
    }
}

void VirtualBoard::answer(const QByteArray &body)
{
    QByteArray bytes = frame::kStx + body;
    Clock::time_point start = Clock::now();
    Clock::duration gap = 0ns;
    switch (m_fault) {
    case Fault::None:
        break;
    case Fault::NoReply:
        return;
    case Fault::VanishOnQuery:
        vanish();
        return;
    case Fault::DelayedReply:
        start += m_replyDelay;
        break;
    case Fault::SplitReply:
        gap = m_splitGap;
        break;
    case Fault::GarbageFirst:
        bytes.prepend(kGarbage, kGarbageBytes);
        break;
    case Fault::ShortBody:
        bytes.chop(1);
        break;
    }
    queue(bytes, start, gap);
}

void VirtualBoard::queue(const QByteArray &bytes, Clock::time_point start, Clock::duration gap)
{
    if (static_cast<qsizetype>(m_outgoing.size()) + bytes.size() > kMaxQueuedBytes)
        return;
    Q_EMIT replyQueued(bytes);
    Clock::time_point due = start;
    for (const char byte : bytes) {
        if (m_paced)
            due = std::max(due, m_lastDue + kByteTime);
        m_outgoing.push_back({due, byte});
        m_lastDue = due;
        due += gap;
    }
    pump();
}

void VirtualBoard::pump()
{
    if (!isOpen())
        return;
    QByteArray ready;
    const Clock::time_point now = Clock::now();
    for (auto it = m_outgoing.begin(); it != m_outgoing.end() && it->due <= now; ++it)
        ready.append(it->byte);
    if (!ready.isEmpty()) {
        const ssize_t n = ::write(m_masterFd, ready.constData(), ready.size());
        if (n > 0)
            m_outgoing.erase(m_outgoing.begin(), m_outgoing.begin() + n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            m_outgoing.clear(); // the line is gone; nothing will take these
        if (n < ready.size() && !m_outgoing.empty()) {
            // The line is full: wait until it takes more.
            m_writeNotifier->setEnabled(true);
            return;
        }
    }
    m_writeNotifier->setEnabled(false);
    if (m_outgoing.empty())
        return;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(m_outgoing.front().due - Clock::now());
    m_sendTimer.start(std::max(wait, 0ms));
}
