#include "FrameParser.h"

#include "CommandFrame.h"

namespace frame {

QList<QByteArray> FrameSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> bodies;
    for (const char byte : bytes) {
        if (byte == kStx) {
            m_pending.clear();
            m_inFrame = true;
        } else if (!m_inFrame) {
            continue;
        } else if (byte == kCr) {
            bodies.append(m_pending);
            m_pending.clear();
            m_inFrame = false;
        } else if (m_pending.size() == kMaxBodyBytes) {
            m_pending.clear();
            m_inFrame = false;
        } else {
            m_pending.append(byte);
        }
    }
    return bodies;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of `text` read as hexadecimal digits, or -1 if any is not one.
int hexValue(QByteArrayView text)
{
    int value = 0;
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The digit `c` if it lies in 0 ... last, else -1.
int digitUpTo(char c, int last)
{
    return c >= '0' && c <= '0' + last ? c - '0' : -1;
}

} // namespace

std::optional<Command> parseCommand(QByteArrayView body)
{
    if (body.isEmpty())
        return std::nullopt;
    const qsizetype size = body.size();
    switch (body[0]) {
    case 'B': {
        if (size != 3)
            return std::nullopt;
        const int bit = digitUpTo(body[1], 7);
        const int state = digitUpTo(body[2], 1);
        if (bit < 0 || state < 0)
            return std::nullopt;
        return cmd::SetBit{bit, state == 1};
    }
    case 'O':
    case 'T': {
        const int value = size == 3 ? hexValue(body.sliced(1)) : -1;
        if (value < 0)
            return std::nullopt;
        if (body[0] == 'O')
            return cmd::WritePortB{static_cast<quint8>(value)};
        return cmd::WriteDirection{static_cast<quint8>(value)};
    }
    case 'Z': {
        if (size != 5)
            return std::nullopt;
        const int length = hexValue(body.sliced(1, 2));
        const int frequency = hexValue(body.sliced(3, 2));
        if (length < 0 || frequency < 0)
            return std::nullopt;
        return cmd::SoundBuzzer{static_cast<quint8>(length), static_cast<quint8>(frequency)};
    }
    case 'P': {
        if (size != 5)
            return std::nullopt;
        const int channel = digitUpTo(body[1], 1);
        const int duty = hexValue(body.sliced(2));
        if (channel < 0 || duty < 0 || duty > 0x3FF)
            return std::nullopt;
        return cmd::SetPwm{channel, duty};
    }
    case 'I':
        if (size != 1)
            return std::nullopt;
        return cmd::ReadPorts{};
    case 'A': {
        const int channel = size == 2 ? digitUpTo(body[1], 3) : -1;
        if (channel < 0)
            return std::nullopt;
        return cmd::ReadChannel{channel};
    }
    default:
        return std::nullopt;
    }
}

namespace {

QString hexByte(int value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

struct Describer {
    QString operator()(const cmd::SetBit &c) const
    {
        return QStringLiteral("bit %1 %2").arg(c.bit).arg(c.on ? u"on" : u"off");
    }
    QString operator()(const cmd::WritePortB &c) const
    {
        return QStringLiteral("port B ") + hexByte(c.value);
    }
    QString operator()(const cmd::WriteDirection &c) const
    {
        return QStringLiteral("direction ") + hexByte(c.value);
    }
    QString operator()(const cmd::SoundBuzzer &c) const
    {
        return QStringLiteral("buzzer length %1 frequency %2")
            .arg(hexByte(c.length), hexByte(c.frequency));
    }
    QString operator()(const cmd::SetPwm &c) const
    {
        return QStringLiteral("PWM%1 duty %2").arg(c.channel).arg(c.duty);
    }
    QString operator()(const cmd::ReadPorts &) const { return QStringLiteral("read ports"); }
    QString operator()(const cmd::ReadChannel &c) const
    {
        return QStringLiteral("read channel %1").arg(c.channel);
    }
};

} // namespace

QString describeCommand(const Command &command)
{
    return std::visit(Describer{}, command);
}

} // namespace frame
