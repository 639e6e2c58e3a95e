#include "ComPortOption.h"

#include "Telnet.h"

#include <QtEndian>

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
    QByteArray baud(4, '\0');
    qToBigEndian(static_cast<quint32>(settings.baudRate), baud.data());
    return request(kSetBaudRate, baud)
           + request(kSetDataSize, oneByte(static_cast<quint8>(settings.dataBits)))
           + request(kSetParity, oneByte(parityCode(settings.parity)))
           + request(kSetStopSize, oneByte(stopSizeCode(settings.stopBits)))
           + request(kSetControl, oneByte(kNoFlowControl));
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

} // namespace comport
