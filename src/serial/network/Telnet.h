#pragma once

#include <QByteArray>
#include <QList>

#include <bitset>

// The telnet byte rules under an RFC 2217 port, without a socket: the escape of
// data, a decoder that takes the received stream apart, and the client's side
// of option negotiation.
namespace telnet {

constexpr quint8 kIac = 255;
constexpr quint8 kDont = 254;
constexpr quint8 kDo = 253;
constexpr quint8 kWont = 252;
constexpr quint8 kWill = 251;
constexpr quint8 kSb = 250;
constexpr quint8 kSe = 240;

constexpr quint8 kBinary = 0;
constexpr quint8 kSuppressGoAhead = 3;
constexpr quint8 kComPortOption = 44;

// Data with every 0xFF doubled, as it goes on the wire.
QByteArray escaped(const QByteArray &data);

// What the decoder found besides data.
struct Message {
    enum class Kind { Command, Negotiation, Subnegotiation };
    Kind kind = Kind::Command;
    quint8 verb = 0;          // the command, or WILL/WONT/DO/DONT
    quint8 option = 0;        // negotiations and sub-negotiations
    QByteArray parameter;     // a sub-negotiation's bytes after its option, undoubled
    qsizetype dataBefore = 0; // the size of the data fed to then, where it stands in the stream
};

// Takes a received byte stream apart into data and messages, in any pieces: a
// sequence split between two feeds is completed by the second. A sub-negotiation
// keeps at most kMaxParameterBytes of its parameter, so a flood costs bounded memory.
class Decoder
{
public:
    static constexpr qsizetype kMaxParameterBytes = 64;

    // Appends the data in `bytes` to `data` and returns the messages completed,
    // each with the size `data` had when it completed.
    QList<Message> feed(const QByteArray &bytes, QByteArray &data);

private:
    enum class State { Data, Iac, Verb, Sub, SubOption, SubIac };

    void takeAfterIac(quint8 byte, QByteArray &data, QList<Message> &messages);
    void appendParameter(char byte);

    State m_state = State::Data;
    quint8 m_verb = 0;
    Message m_sub;
};

// The client's side of option negotiation: BINARY both ways, SUPPRESS-GO-AHEAD
// both ways and COM-PORT-OPTION on our side are wanted, everything else refused.
// An answer is sent only when the state changes (or, for a refusal, once), so
// repeated requests never start a loop; a server that changes its mind more
// than kMaxAnswers times is in one of its own.
class Negotiation
{
public:
    static constexpr int kMaxAnswers = 64;

    // What the client asks for when it connects.
    QByteArray opening();
    // The reply to a WILL/WONT/DO/DONT received; empty when none is due.
    QByteArray answer(quint8 verb, quint8 option);

    // The server agreed to COM-PORT-OPTION (it said DO), or refused it (DONT).
    bool comPortAgreed() const { return m_ours.enabled[kComPortOption]; }
    bool comPortRefused() const { return m_comPortRefused; }
    // BINARY both ways, without which a CR may not pass as it is.
    bool binaryAgreed() const { return m_ours.enabled[kBinary] && m_theirs.enabled[kBinary]; }
    bool binaryRefused() const { return m_binaryRefused; }
    bool looping() const { return m_answers > kMaxAnswers; }

private:
    struct Side {
        std::bitset<256> enabled;
        std::bitset<256> requested;
        std::bitset<256> refused;
    };
    static QByteArray sequence(quint8 verb, quint8 option);
    static bool wantedByUs(quint8 option);
    static bool wantedOfThem(quint8 option);
    // One side's rules; `accept` and `refuse` are the verbs that answer a request to enable.
    static QByteArray onRequest(Side &side, bool wanted, quint8 option, quint8 accept,
                                quint8 refuse);
    static QByteArray onDisable(Side &side, quint8 option, quint8 confirm);

    Side m_ours;   // options we perform (the server says DO/DONT)
    Side m_theirs; // options the server performs (it says WILL/WONT)
    bool m_comPortRefused = false;
    bool m_binaryRefused = false;
    int m_answers = 0;
};

} // namespace telnet
