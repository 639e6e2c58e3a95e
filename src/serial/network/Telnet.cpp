#include "Telnet.h"

namespace telnet {

QByteArray escaped(const QByteArray &data)
{
    if (!data.contains(static_cast<char>(kIac)))
        return data;
    QByteArray wire;
    wire.reserve(data.size() + data.count(static_cast<char>(kIac)));
    for (const char byte : data) {
        wire.append(byte);
        if (static_cast<quint8>(byte) == kIac)
            wire.append(byte);
    }
    return wire;
}

QList<Message> Decoder::feed(const QByteArray &bytes, QByteArray &data)
{
    QList<Message> messages;
    qsizetype placed = 0;
    for (const char raw : bytes) {
        const auto byte = static_cast<quint8>(raw);
        switch (m_state) {
        case State::Data:
            if (byte == kIac)
                m_state = State::Iac;
            else
                data.append(raw);
            break;
        case State::Iac:
            takeAfterIac(byte, data, messages);
            break;
        case State::Verb:
            messages.append({Message::Kind::Negotiation, m_verb, byte, {}});
            m_state = State::Data;
            break;
        case State::SubOption:
            m_sub = {Message::Kind::Subnegotiation, kSb, byte, {}};
            m_state = State::Sub;
            break;
        case State::Sub:
            if (byte == kIac)
                m_state = State::SubIac;
            else
                appendParameter(raw);
            break;
        case State::SubIac:
            if (byte == kIac) {
                appendParameter(raw);
                m_state = State::Sub;
                break;
            }
            // SE ends it; any other command ends it too and is taken as itself,
            // so a sender's missing SE swallows nothing after it.
            messages.append(m_sub);
            m_sub = {};
            takeAfterIac(byte, data, messages);
            break;
        }
        for (; placed < messages.size(); ++placed)
            messages[placed].dataBefore = data.size();
    }
    return messages;
}

void Decoder::takeAfterIac(quint8 byte, QByteArray &data, QList<Message> &messages)
{
    m_state = State::Data;
    if (byte == kIac) {
        data.append(static_cast<char>(byte));
    } else if (byte >= kWill && byte <= kDont) {
        m_verb = byte;
        m_state = State::Verb;
    } else if (byte == kSb) {
        m_state = State::SubOption;
    } else if (byte != kSe) { // an SE outside a sub-negotiation means nothing
        messages.append({Message::Kind::Command, byte, 0, {}});
    }
}

void Decoder::appendParameter(char byte)
{
    if (m_sub.parameter.size() < kMaxParameterBytes)
        m_sub.parameter.append(byte);
}

QByteArray Negotiation::sequence(quint8 verb, quint8 option)
{
    QByteArray bytes(3, '\0');
    bytes[0] = static_cast<char>(kIac);
    bytes[1] = static_cast<char>(verb);
    bytes[2] = static_cast<char>(option);
    return bytes;
}

bool Negotiation::wantedByUs(quint8 option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool Negotiation::wantedOfThem(quint8 option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

QByteArray Negotiation::opening()
{
    QByteArray bytes;
    for (const quint8 option : {kBinary, kSuppressGoAhead, kComPortOption}) {
        m_ours.requested.set(option);
        bytes += sequence(kWill, option);
    }
    for (const quint8 option : {kBinary, kSuppressGoAhead}) {
        m_theirs.requested.set(option);
        bytes += sequence(kDo, option);
    }
    return bytes;
}

QByteArray Negotiation::onRequest(Side &side, bool wanted, quint8 option, quint8 accept,
                                  quint8 refuse)
{
    const bool ourRequest = side.requested.test(option);
    side.requested.reset(option);
    if (!wanted) {
        if (side.refused.test(option))
            return {};
        side.refused.set(option);
        return sequence(refuse, option);
    }
    if (side.enabled.test(option))
        return {};
    side.enabled.set(option);
    return ourRequest ? QByteArray() : sequence(accept, option);
}

QByteArray Negotiation::onDisable(Side &side, quint8 option, quint8 confirm)
{
    const bool ourRequest = side.requested.test(option);
    side.requested.reset(option);
    if (!side.enabled.test(option))
        return {};
    side.enabled.reset(option);
    return ourRequest ? QByteArray() : sequence(confirm, option);
}

QByteArray Negotiation::answer(quint8 verb, quint8 option)
{
    if ((verb == kWont || verb == kDont) && option == kBinary)
        m_binaryRefused = true;
    QByteArray reply;
    switch (verb) {
    case kWill:
        reply = onRequest(m_theirs, wantedOfThem(option), option, kDo, kDont);
        break;
    case kWont:
        reply = onDisable(m_theirs, option, kDont);
        break;
    case kDo:
        reply = onRequest(m_ours, wantedByUs(option), option, kWill, kWont);
        break;
    case kDont:
        if (option == kComPortOption)
            m_comPortRefused = true;
        reply = onDisable(m_ours, option, kWont);
        break;
    default:
        break;
    }
    m_answers += reply.isEmpty() ? 0 : 1;
    return reply;
}

} // namespace telnet
