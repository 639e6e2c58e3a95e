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

// The options first, then the line settings, all within the agreement's time.
std::optional<LinkDevice::Refusal> Rfc2217Device::startSession(const LineSettings &settings)
{
    m_decoder = {};
    m_negotiation = {};
    m_lineAgreement.reset();
    send(m_negotiation.opening());
    const std::chrono::milliseconds agreementTime =
        address().agreementTime.value_or(kAgreementTimeout);
    const Clock::time_point deadline = Clock::now() + agreementTime;
    for (;;) {
        if (!connected())
            return endedWhileOpening();
        if (std::optional<Refusal> refusal = agreementRefusal())
            return refusal;
        if (!m_lineAgreement && m_negotiation.comPortAgreed() && m_negotiation.binaryAgreed()) {
            m_lineAgreement.emplace(settings);
            send(comport::lineSettingsRequests(settings));
        }
        if (m_lineAgreement && m_lineAgreement->allAnswered())
            return std::nullopt;
        if (Clock::now() >= deadline)
            return m_lineAgreement ? std::nullopt
                                   : std::optional(notRfc2217(
                                       QStringLiteral("no agreement to COM-PORT-OPTION and "
                                                      "BINARY within %1 s")
                                           .arg(agreementTime.count() / 1000.0)));
        waitWhileOpening(nextSlice(deadline));
    }
}

std::optional<LinkDevice::Refusal> Rfc2217Device::agreementRefusal() const
{
    if (m_negotiation.comPortRefused())
        return notRfc2217(QStringLiteral("the server refused COM-PORT-OPTION"));
    if (m_negotiation.binaryRefused())
        return notRfc2217(QStringLiteral("the server refused BINARY, without which bytes "
                                         "do not pass as they are"));
    if (m_negotiation.looping())
        return notRfc2217(QStringLiteral("the server keeps changing its telnet options"));
    if (const std::optional<QString> mismatch =
            m_lineAgreement ? m_lineAgreement->mismatch() : std::nullopt)
        return Refusal{SerialError::Kind::LineSettingsRefused, *mismatch,
                       QStringLiteral("Check the server's settings for %1:%2.")
                           .arg(address().host)
                           .arg(address().port)};
    return std::nullopt;
}

LinkDevice::Refusal Rfc2217Device::notRfc2217(const QString &detail) const
{
    return Refusal{SerialError::Kind::NotRfc2217, detail,
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
        } else if (m_lineAgreement)
            m_lineAgreement->take(message);
    }
    input.remove(start, m_discardUnconfirmed ? input.size() - start : stale);
    if (isOpen() && m_negotiation.looping())
        giveUp(SerialError::Kind::NegotiationLoop,
               QStringLiteral("more than %1 answers").arg(telnet::Negotiation::kMaxAnswers));
    else if (!answers.isEmpty())
        send(answers);
}
