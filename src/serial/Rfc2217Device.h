#pragma once

#include "SocketDevice.h"
#include "Telnet.h"

// A board's port served over RFC 2217 (rfc2217://): telnet with COM-PORT-OPTION
// on the socket. Opening sets the line as a local open does; RTS and the
// discard of stale input go to the server as requests. A discard is exact once
// the server confirms it: what it sent before is stale and dropped. A server
// found not to confirm is no longer waited for; its discard drops what has come
// by then, as a plain port's does.
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
    telnet::Decoder m_decoder;
    telnet::Negotiation m_negotiation;
    bool m_confirmsDiscards = true;
    bool m_discardUnconfirmed = false;
};
