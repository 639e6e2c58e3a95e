#pragma once

#include "ComPortOption.h"
#include "SocketDevice.h"
#include "Telnet.h"

// A board's port served over RFC 2217 (rfc2217://): telnet with COM-PORT-OPTION
// on the socket. The port is open once the server has agreed to COM-PORT-OPTION
// and to BINARY both ways and has set the line as asked (or let the
// agreement's time pass without a word on it); RTS and the discard of stale
// input go to the server as requests. A discard is exact once the server
// confirms it: what it sent before is stale and dropped. A server found not to
// confirm is no longer waited for; its discard drops what has come by then, as
// a plain port's does. A server that keeps changing its options is given up.
class Rfc2217Device : public SocketDevice
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAgreementTimeout{3000};

    using SocketDevice::SocketDevice;

    void close() override;
    void setRequestToSend(bool asserted) override;
    void discardInput() override;
    bool discardUnconfirmed() const override { return m_discardUnconfirmed; }
    void stopAwaitingDiscardConfirmations() override;

protected:
    std::optional<Refusal> startSession(const LineSettings &settings) override;
    void takeReceived(const QByteArray &bytes, QByteArray &input) override;
    QByteArray encoded(const QByteArray &data) const override { return telnet::escaped(data); }

private:
    // Why the server's answers so far refuse the port; nothing while they do not.
    std::optional<Refusal> agreementRefusal() const;
    Refusal notRfc2217(const QString &detail) const;

    telnet::Decoder m_decoder;
    telnet::Negotiation m_negotiation;
    std::optional<comport::LineAgreement> m_lineAgreement; // once the line settings are asked
    bool m_confirmsDiscards = true;
    bool m_discardUnconfirmed = false;
};
