#pragma once

#include "SocketDevice.h"
#include "Telnet.h"

// A board's port served over RFC 2217 (rfc2217://): telnet with COM-PORT-OPTION
// on the socket. Opening sets the line as a local open does; RTS and the
// discard of stale input go to the server as requests, whose acknowledgements
// are not waited for.
class Rfc2217Device : public SocketDevice
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kAgreementTimeout{3000};

    using SocketDevice::SocketDevice;

    void close() override;
    void setRequestToSend(bool asserted) override;
    void discardInput() override;

protected:
    std::optional<Refusal> startSession(const LineSettings &settings) override;
    void takeReceived(const QByteArray &bytes, QByteArray &input) override;
    QByteArray encoded(const QByteArray &data) const override { return telnet::escaped(data); }

private:
    telnet::Decoder m_decoder;
    telnet::Negotiation m_negotiation;
};
