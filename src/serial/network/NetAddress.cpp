#include "NetAddress.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxHostNameLength = 253;
constexpr double kMaxAgreementSeconds = 3600;

using Reading = std::variant<NetAddress, QString>;

bool isHostName(const QString &host)
{
    static const QRegularExpression label(
        QStringLiteral("^([A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?)"
                       "(\\.[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?)*$"));
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

// A query's name or value as a URL decodes it: "+" is a blank, %XX a byte.
QString decoded(const QString &part)
{
    return QUrl::fromPercentEncoding(QString(part).replace(u'+', u' ').toUtf8());
}

// One option of the query, as pyserial takes it; why not, where it is refused.
// The first value of an option given twice counts.
std::optional<QString> takeOption(NetAddress &address, const QString &name, const QString &value)
{
    const bool rfc2217 = address.scheme == NetAddress::Scheme::Rfc2217;
    static const QStringList levels{QStringLiteral("debug"), QStringLiteral("info"),
                                    QStringLiteral("warning"), QStringLiteral("error")};
    if (name == u"logging" && !levels.contains(value))
        return QStringLiteral("the option logging=\"%1\" wants debug, info, warning or error")
            .arg(value);
    if (name == u"logging" || (rfc2217 && (name == u"ign_set_control" || name == u"poll_modem")))
        return std::nullopt;
    if (rfc2217 && name == u"timeout") {
        bool number = false;
        const double seconds = value.toDouble(&number);
        if (!number || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxAgreementSeconds)
            return QStringLiteral("the option timeout=\"%1\" wants a number of seconds above 0, "
                                  "at most 3600")
                .arg(value);
        if (!address.agreementTime)
            address.agreementTime = std::chrono::milliseconds(std::llround(seconds * 1000));
        return std::nullopt;
    }
    return (rfc2217 ? QStringLiteral("the option \"%1\" is not one of rfc2217://'s: logging, "
                                     "ign_set_control, poll_modem, timeout")
                    : QStringLiteral("the option \"%1\" is not one of socket://'s: logging"))
        .arg(name);
}

std::optional<QString> takeQuery(NetAddress &address, const QString &query)
{
    for (const QString &piece : query.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = piece.indexOf(u'=');
        const QString value = equals < 0 ? QString() : decoded(piece.mid(equals + 1));
        if (std::optional<QString> why = takeOption(address, decoded(piece.left(equals)), value))
            return why;
    }
    return std::nullopt;
}

// HOST:PORT, HOST bracketed for IPv6; what comes before an "@" is ignored.
std::optional<QString> takeHostAndPort(NetAddress &address, QString authority, const QString &form)
{
    authority = authority.mid(authority.lastIndexOf(u'@') + 1);
    const bool bracketed = authority.startsWith(u'[');
    const qsizetype hostEnd = bracketed ? authority.indexOf(u']') + 1 : authority.indexOf(u':');
    if (bracketed && hostEnd == 0)
        return QStringLiteral("the host \"%1\" lacks its closing \"]\"").arg(authority);
    const QString host = hostEnd < 0 ? authority : authority.left(hostEnd);
    const QString afterHost = hostEnd < 0 ? QString() : authority.mid(hostEnd);
    if (host.isEmpty() || host == u"[]")
        return QStringLiteral("there is no host: write %1").arg(form);
    if (bracketed ? !isIPv6(host.mid(1, host.size() - 2)) : !isHost(host))
        return QStringLiteral("the host \"%1\" is %2")
            .arg(host, bracketed ? QStringLiteral("no IPv6 address")
                                 : QStringLiteral("neither a host name nor an IPv4 address"));
    if (afterHost.size() <= 1)
        return QStringLiteral("there is no port: write %1").arg(form);
    static const QRegularExpression digits(QStringLiteral("^:[0-9]{1,5}$"));
    const int port = afterHost.mid(1).toInt();
    if (!digits.match(afterHost).hasMatch() || port < 1 || port > 65535)
        return QStringLiteral("the port \"%1\" is not a number from 1 to 65535")
            .arg(afterHost.mid(1));
    address.host = (bracketed ? host.mid(1, host.size() - 2) : host).toLower();
    address.port = static_cast<quint16>(port);
    return std::nullopt;
}

} // namespace

bool looksLikeNetAddress(const QString &text)
{
    return text.contains(QStringLiteral("://"));
}

std::variant<NetAddress, QString> readNetAddress(const QString &typed)
{
    // Blanks and control characters before it go, as a URL's do.
    const QString text = typed.mid(
        std::find_if(typed.begin(), typed.end(), [](QChar c) { return c > u' '; }) - typed.begin());
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    const QString scheme = text.left(schemeEnd).toLower();
    NetAddress address;
    if (scheme == u"socket")
        address.scheme = NetAddress::Scheme::RawTcp;
    else if (scheme != u"rfc2217")
        return QStringLiteral("the scheme \"%1\" is neither rfc2217 nor socket")
            .arg(text.left(schemeEnd));
    const QString form = scheme + QStringLiteral("://HOST:PORT");
    // What follows the host: a path and a fragment, which mean nothing here.
    QString rest = text.mid(schemeEnd + 3);
    rest.truncate(rest.indexOf(u'#') < 0 ? rest.size() : rest.indexOf(u'#'));
    const qsizetype queryStart = rest.indexOf(u'?');
    const QString query = queryStart < 0 ? QString() : rest.mid(queryStart + 1);
    rest.truncate(queryStart < 0 ? rest.size() : queryStart);
    const qsizetype pathStart = rest.indexOf(u'/');
    if (std::optional<QString> why =
            takeHostAndPort(address, pathStart < 0 ? rest : rest.left(pathStart), form))
        return *why;
    if (std::optional<QString> why = takeQuery(address, query))
        return *why;
    return address;
}

std::optional<NetAddress> parseNetAddress(const QString &text)
{
    const std::variant<NetAddress, QString> reading = readNetAddress(text);
    if (const auto *address = std::get_if<NetAddress>(&reading))
        return *address;
    return std::nullopt;
}
