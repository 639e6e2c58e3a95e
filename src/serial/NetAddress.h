#pragma once

#include <QString>

#include <optional>

// A port served over the network, as pyserial spells it: rfc2217://HOST:PORT for
// telnet with COM-port control, socket://HOST:PORT for plain TCP. HOST is a name,
// an IPv4 address or a bracketed IPv6 address.
struct NetAddress {
    enum class Scheme { Rfc2217, RawTcp };

    Scheme scheme = Scheme::Rfc2217;
    QString host; // without brackets
    quint16 port = 0;
};

// True for text that names a network port rather than a number or a device
// path, even when it is malformed.
bool looksLikeNetAddress(const QString &text);

// Nothing for anything but the two forms above, a port of 1 to 65535 and a host
// as described: a malformed address is never guessed at.
std::optional<NetAddress> parseNetAddress(const QString &text);
