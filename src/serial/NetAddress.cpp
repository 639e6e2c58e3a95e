#include "NetAddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

constexpr int kMaxHostNameLength = 253;

bool isHostName(const QString &host)
{
    static const QRegularExpression label(
        QStringLiteral("^([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)"
                       "(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    return host.size() <= kMaxHostNameLength && label.match(host).hasMatch();
}

// A host of digits and dots is meant as an IPv4 address and must be one.
bool isHost(const QString &host)
{
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    if (numeric.match(host).hasMatch()) {
        QHostAddress address;
        return address.setAddress(host) && address.protocol() == QAbstractSocket::IPv4Protocol
               && host.count(QLatin1Char('.')) == 3;
    }
    return isHostName(host);
}

bool isIPv6(const QString &host)
{
    QHostAddress address;
    return !host.contains(QLatin1Char('%')) && address.setAddress(host)
           && address.protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

bool looksLikeNetAddress(const QString &text)
{
    return text.contains(QStringLiteral("://"));
}

std::optional<NetAddress> parseNetAddress(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(rfc2217|socket)://(\\[([^\\]]*)\\]|([^\\[\\]:/]*)):([0-9]{1,5})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(5).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    NetAddress address;
    address.scheme = match.captured(1) == QLatin1String("rfc2217") ? NetAddress::Scheme::Rfc2217
                                                                   : NetAddress::Scheme::RawTcp;
    address.port = static_cast<quint16>(port);
    const bool bracketed = match.capturedStart(3) >= 0;
    address.host = bracketed ? match.captured(3) : match.captured(4);
    if (bracketed ? !isIPv6(address.host) : !isHost(address.host))
        return std::nullopt;
    return address;
}
