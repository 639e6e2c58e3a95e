#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <variant>

// A port served over the network, as pyserial spells it: rfc2217://HOST:PORT for
// telnet with COM-port control, socket://HOST:PORT for plain TCP. HOST is a name,
// an IPv4 address or a bracketed IPv6 address. What pyserial's from_url() of
// these two schemes takes is taken: the scheme in any case, a user name before
// the host, a path and a fragment (all ignored), and its options after a "?"
// joined by "&": logging (both schemes), ign_set_control, poll_modem and timeout
// (rfc2217:// only). Only timeout changes anything here.
struct NetAddress {
    enum class Scheme { Rfc2217, RawTcp };

    Scheme scheme = Scheme::Rfc2217;
    QString host; // without brackets, in lower case
    quint16 port = 0;
    // ?timeout=SECONDS: how long an RFC 2217 server may take to agree at open.
    std::optional<std::chrono::milliseconds> agreementTime;
};

// True for text that names a network port rather than a number or a device
// path, even when it is malformed.
bool looksLikeNetAddress(const QString &text);

// The address, or a sentence that names the part that is wrong. A malformed
// address is never guessed at; where pyserial would go on with an address that
// cannot work (no host, port 0, a host of digits that is no IPv4 address, a
// timeout of 0 or less), it is refused here.
std::variant<NetAddress, QString> readNetAddress(const QString &text);

std::optional<NetAddress> parseNetAddress(const QString &text);
