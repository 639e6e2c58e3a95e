#include "ComPortOption.h"

#include "Telnet.h"

#include <QtEndian>

#include <algorithm>

namespace comport {

namespace {

QByteArray oneByte(quint8 value)
{
    return QByteArray(1, static_cast<char>(value));
}

quint8 parityCode(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::OddParity:
        return 2;
    case QSerialPort::EvenParity:
        return 3;
    case QSerialPort::MarkParity:
        return 4;
    case QSerialPort::SpaceParity:
        return 5;
    default:
        return 1;
    }
}

quint8 stopSizeCode(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::TwoStop:
        return 2;
    case QSerialPort::OneAndHalfStop:
        return 3;
    default:
        return 1;
    }
}

// SET-BAUDRATE ... SET-STOPSIZE's values, in that order.
std::array<QByteArray, 4> lineValues(const LineSettings &settings)
{
    QByteArray baud(4, '\0');
    qToBigEndian(static_cast<quint32>(settings.baudRate), baud.data());
    return {baud, oneByte(static_cast<quint8>(settings.dataBits)),
            oneByte(parityCode(settings.parity)), oneByte(stopSizeCode(settings.stopBits))};
}

QString valueText(int setting, const QByteArray &value)
{
    static const QStringList parities{{},
                                      QStringLiteral("none"),
                                      QStringLiteral("odd"),
                                      QStringLiteral("even"),
                                      QStringLiteral("mark"),
                                      QStringLiteral("space")};
    static const QStringList stopSizes{
        {}, QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1.5")};
    const int code = value.size() == 1 ? static_cast<quint8>(value[0]) : -1;
    if (setting == 0 && value.size() == 4)
        return QString::number(qFromBigEndian<quint32>(value.constData()));
    if (setting == 2 && code > 0 && code < parities.size())
        return parities[code];
    if (setting == 3 && code > 0 && code < stopSizes.size())
        return stopSizes[code];
    return setting == 1 && code >= 0 ? QString::number(code)
                                     : QStringLiteral("0x") + QString::fromLatin1(value.toHex());
}

} // namespace

QByteArray request(quint8 command, const QByteArray &value)
{
    QByteArray bytes;
    bytes += static_cast<char>(telnet::kIac);
    bytes += static_cast<char>(telnet::kSb);
    bytes += static_cast<char>(telnet::kComPortOption);
    bytes += static_cast<char>(command);
    bytes += telnet::escaped(value);
    bytes += static_cast<char>(telnet::kIac);
    bytes += static_cast<char>(telnet::kSe);
    return bytes;
}

QByteArray lineSettingsRequests(const LineSettings &settings)
{
    QByteArray requests;
    const std::array<QByteArray, 4> values = lineValues(settings);
    for (std::size_t setting = 0; setting < values.size(); ++setting)
        requests += request(static_cast<quint8>(kSetBaudRate + setting), values[setting]);
    return requests + request(kSetControl, oneByte(kNoFlowControl));
}

QByteArray requestToSendRequest(bool asserted)
{
    return request(kSetControl, oneByte(asserted ? kRtsOn : kRtsOff));
}

QByteArray controlLinesAtCloseRequests()
{
    return request(kSetControl, oneByte(kDtrOn)) + requestToSendRequest(true);
}

QByteArray purgeReceiveRequest()
{
    return request(kPurgeData, oneByte(kPurgeReceiveBuffer));
}

bool confirmsPurgeReceive(const telnet::Message &message)
{
    return message.kind == telnet::Message::Kind::Subnegotiation
           && message.option == telnet::kComPortOption
           && message.parameter
                  == oneByte(kServerAnswer + kPurgeData) + oneByte(kPurgeReceiveBuffer);
}

LineAgreement::LineAgreement(const LineSettings &settings)
    : m_asked(lineValues(settings))
{
}

void LineAgreement::take(const telnet::Message &message)
{
    if (message.kind != telnet::Message::Kind::Subnegotiation
        || message.option != telnet::kComPortOption || message.parameter.isEmpty())
        return;
    const int setting = static_cast<quint8>(message.parameter[0]) - kServerAnswer - kSetBaudRate;
    if (setting >= 0 && setting < static_cast<int>(m_asked.size()) && !m_answered[setting])
        m_answered[setting] = message.parameter.mid(1);
}

bool LineAgreement::allAnswered() const
{
    return std::all_of(m_answered.begin(), m_answered.end(),
                       [](const std::optional<QByteArray> &answer) { return answer.has_value(); });
}

std::optional<QString> LineAgreement::mismatch() const
{
    static const char *const names[] = {"the baud rate", "the data bits", "the parity",
                                        "the stop bits"};
    for (int setting = 0; setting < static_cast<int>(m_asked.size()); ++setting) {
        if (m_answered[setting] && *m_answered[setting] != m_asked[setting])
            return QStringLiteral("%1: %2 asked, %3 answered")
                .arg(QLatin1String(names[setting]), valueText(setting, m_asked[setting]),
                     valueText(setting, *m_answered[setting]));
    }
    return std::nullopt;
}

} // namespace comport
