#pragma once

#include "LineSettings.h"
#include "Telnet.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The client's requests of RFC 2217's COM-PORT-OPTION, each a telnet
// sub-negotiation ready for the wire, and the server's answers that matter. A
// server may leave a request unacknowledged (ser2net does for the modem lines
// of a pseudo-terminal).
namespace comport {

constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kSetDataSize = 2;
constexpr quint8 kSetParity = 3;
constexpr quint8 kSetStopSize = 4;
constexpr quint8 kSetControl = 5;
constexpr quint8 kPurgeData = 12;

constexpr quint8 kNoFlowControl = 1;
constexpr quint8 kDtrOn = 8;
constexpr quint8 kRtsOn = 11;
constexpr quint8 kRtsOff = 12;
constexpr quint8 kPurgeReceiveBuffer = 1;
// A server answers a request with the request's number plus this.
constexpr quint8 kServerAnswer = 100;

QByteArray request(quint8 command, const QByteArray &value);

// Baud rate, data size, parity, stop size and no flow control, in that order.
QByteArray lineSettingsRequests(const LineSettings &settings);
QByteArray requestToSendRequest(bool asserted);
// DTR and RTS on, as a local port leaves them when it closes.
QByteArray controlLinesAtCloseRequests();
// Drops what the server holds from the board and has not sent yet.
QByteArray purgeReceiveRequest();
// Whether a sub-negotiation received is the server's confirmation of that purge.
bool confirmsPurgeReceive(const telnet::Message &message);

// The four line settings asked of the server (baud rate, data size, parity,
// stop size) and its answers: an answer with another value than asked is a
// refusal; one that never comes is not, since servers differ. SET-CONTROL's
// answer is never waited for.
class LineAgreement
{
public:
    explicit LineAgreement(const LineSettings &settings);

    // Takes the server's answer to one of the four; other messages change nothing.
    void take(const telnet::Message &message);
    bool allAnswered() const;
    // The first setting answered otherwise, named with both values.
    std::optional<QString> mismatch() const;

private:
    std::array<QByteArray, 4> m_asked;
    std::array<std::optional<QByteArray>, 4> m_answered;
};

} // namespace comport
