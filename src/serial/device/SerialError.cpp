#include "SerialError.h"

#include "ControlPictures.h"

namespace {

// Typed text can be of any length; a message quotes only its start.
QString elided(const QString &text)
{
    constexpr qsizetype kMaxQuoted = 40;
    return text.size() <= kMaxQuoted ? text : text.left(kMaxQuoted) + QChar(0x2026);
}

QString reasonText(SerialError::Kind kind, const FailureWords &words)
{
    using Kind = SerialError::Kind;
    switch (kind) {
    case Kind::NotAPortNumber:
        return QStringLiteral("this is not a port number. ") + words.notAPortNumber;
    case Kind::PortNumberOutOfRange:
    case Kind::UnmappedPortNumber:
        return QStringLiteral("no serial device has this number. ") + words.portNumbers;
    case Kind::BadSettings:
        return QStringLiteral("the line settings are not valid.");
    case Kind::NoSuchDevice:
        return QStringLiteral("no such device. Check that the board is plugged in and "
                              "that the %1 is right.")
            .arg(words.deviceName);
    case Kind::NotASerialDevice:
        return QStringLiteral("this is not a serial device.");
    case Kind::PermissionDenied:
        return QStringLiteral("permission denied.");
    case Kind::DeviceBusy:
        return QStringLiteral("the device is in use by another program. Close that program "
                              "and %1.")
            .arg(words.retry);
    case Kind::ExclusiveWithoutHolder:
        return QStringLiteral("the device is reserved for one program, but no program that "
                              "you can see holds it.");
    case Kind::StaleLock:
        return QStringLiteral("a stale lock file of a program that has ended blocks the device.");
    case Kind::OpenFailed:
        return QStringLiteral("the device cannot be opened.");
    case Kind::NotOpen:
        return QStringLiteral("it is not open. ") + words.notOpen;
    case Kind::DeviceLost:
        return QStringLiteral("the device has gone away (unplugged?). The port is closed; "
                              "plug the board in again and %1.")
            .arg(words.retry);
    case Kind::OutputStalled:
        return QStringLiteral("the line does not take more data. Check the cable and the board.");
    case Kind::WaitAbandoned:
        return QStringLiteral("the wait for a reply was abandoned.");
    case Kind::HostNotFound:
        return QStringLiteral("the host name is not known.");
    case Kind::ConnectionRefused:
        return QStringLiteral("the connection was refused: nothing listens on that port.");
    case Kind::NoAnswer:
        return QStringLiteral("the host does not answer (down, or a firewall drops the "
                              "connection).");
    case Kind::NotRfc2217:
        return QStringLiteral("the server does not speak RFC 2217.");
    case Kind::BadAddress:
        return QStringLiteral("this network port's address is not understood.");
    case Kind::ConnectionLost:
        return QStringLiteral("the host stopped answering (down, or the network to it cut). The "
                              "port is closed; check the host and the network, then %1.")
            .arg(words.retry);
    case Kind::ServerNotReading:
        return QStringLiteral("the server takes nothing more, so the connection has been given "
                              "up. The port is closed; check the server, then %1.")
            .arg(words.retry);
    case Kind::NegotiationLoop:
        return QStringLiteral("the server keeps changing its telnet options, so the connection "
                              "has been given up. The port is closed; check the server, then %1.")
            .arg(words.retry);
    case Kind::LineSettingsRefused:
        return QStringLiteral("the server does not set the line as asked.");
    case Kind::ConnectionClosed:
        return QStringLiteral("the server closed the connection. The port is closed; check that "
                              "ser2net still runs there and that the network reaches it, then %1.")
            .arg(words.retry);
    }
    return {};
}

} // namespace

SerialError::SerialError(Kind kind, QString detail, std::optional<int> portNumber,
                         QString devicePath, QString advice)
    : std::runtime_error(detail.toStdString())
    , m_kind(kind)
    , m_detail(std::move(detail))
    , m_portNumber(portNumber)
    , m_devicePath(std::move(devicePath))
    , m_advice(std::move(advice))
{
}

QString SerialError::operatorMessage(const FailureWords &words) const
{
    const bool detailIsTypedText = m_kind == Kind::NotAPortNumber
                                   || m_kind == Kind::PortNumberOutOfRange
                                   || m_kind == Kind::BadAddress;
    const QString typed = words.isolateTyped ? quotedText(elided(m_detail)) : elided(m_detail);
    QString where;
    if (detailIsTypedText)
        where = QStringLiteral("Port \"%1\"").arg(typed);
    else if (m_portNumber && !words.nameByPath)
        where = QStringLiteral("Port %1 (%2)")
                    .arg(*m_portNumber)
                    .arg(m_devicePath.isEmpty() ? QStringLiteral("no device") : m_devicePath);
    else if (!m_devicePath.isEmpty())
        where = m_devicePath;
    else
        where = QStringLiteral("The serial port");

    QString text = where + QStringLiteral(": ") + reasonText(m_kind, words);
    if (!m_advice.isEmpty() && words.gap.contains(u'\n'))
        text += words.gap + m_advice;
    else if (!m_advice.isEmpty()) // a list of lines, as one
        text += words.gap
                + QString(m_advice)
                      .replace(QStringLiteral(":\n"), QStringLiteral(": "))
                      .replace(u'\n', QStringLiteral("; "));
    if (!m_detail.isEmpty() && !detailIsTypedText)
        text += words.gap + QStringLiteral("System: ") + m_detail;
    return text;
}
