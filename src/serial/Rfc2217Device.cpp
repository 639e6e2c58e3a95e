#include "Rfc2217Device.h"

#include "ComPortOption.h"

#include <QSignalBlocker>

// The server is asked to leave DTR and RTS on, as a local port does. A server
// that this request finds gone is no loss to tell from inside the close: the
// close's caller tells one, where there is one.
void Rfc2217Device::close()
{
    const QSignalBlocker quiet(this);
    if (isOpen() && connected())
        send(comport::controlLinesAtCloseRequests());
    SocketDevice::close();
}

void Rfc2217Device::setRequestToSend(bool asserted)
{
    if (isOpen())
        send(comport::requestToSendRequest(asserted));
}

void Rfc2217Device::discardInput()
{
    if (!isOpen())
        return;
    send(comport::purgeReceiveRequest());
    m_discardUnconfirmed = m_confirmsDiscards;
    if (m_discardUnconfirmed)
        clearInput(); // the rest is dropped as it comes, up to the confirmation
    else
        SocketDevice::discardInput();
}

void Rfc2217Device::stopAwaitingDiscardConfirmations()
{
    m_confirmsDiscards = false;
    m_discardUnconfirmed = false;
}

std::optional<LinkDevice::Refusal> Rfc2217Device::startSession(const LineSettings &settings)
{
    m_decoder = {};
    m_negotiation = {};
    send(m_negotiation.opening());
    const Clock::time_point deadline = Clock::now() + kAgreementTimeout;
    while (!m_negotiation.comPortAgreed() && !m_negotiation.comPortRefused() && connected()
           && Clock::now() < deadline) {
        if (!waitAndTake(nextSlice(deadline)))
            yieldWhileOpening();
    }
    if (m_negotiation.comPortAgreed()) {
        send(comport::lineSettingsRequests(settings));
        return std::nullopt;
    }
    if (!connected())
        return closedAtOnce();
    return Refusal{SerialError::Kind::NotRfc2217,
                   m_negotiation.comPortRefused()
                       ? QStringLiteral("the server refused COM-PORT-OPTION")
                       : QStringLiteral("no agreement to COM-PORT-OPTION within %1 s")
                             .arg(kAgreementTimeout.count() / 1000.0),
                   QStringLiteral("Check that %1:%2 is an RFC 2217 port (ser2net's "
                                  "telnet(rfc2217) accepter), or use socket:// for a plain one.")
                       .arg(address().host)
                       .arg(address().port)};
}

void Rfc2217Device::takeReceived(const QByteArray &bytes, QByteArray &input)
{
    const qsizetype start = input.size();
    qsizetype stale = 0;
    QByteArray answers;
    for (const telnet::Message &message : m_decoder.feed(bytes, input)) {
        if (message.kind == telnet::Message::Kind::Negotiation)
            answers += m_negotiation.answer(message.verb, message.option);
        else if (m_discardUnconfirmed && comport::confirmsPurgeReceive(message)) {
            m_discardUnconfirmed = false;
            stale = message.dataBefore - start;
        }
    }
    input.remove(start, m_discardUnconfirmed ? input.size() - start : stale);
    if (!answers.isEmpty())
        send(answers);
}
