#pragma once

// The part of the socket calls that both platforms spell alike: a host's
// addresses from the system's answer, and an address and port in the system's
// own form. For SocketIo's platform files, after their system headers (the
// types and byte-order calls are the system's).
#include <QHostAddress>
#include <QList>

#include <cstring>

// The addresses of a lookup's answer, each once, in the system's order.
inline QList<QHostAddress> addressesOf(const addrinfo *found)
{
    QList<QHostAddress> addresses;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
        const QHostAddress address(entry->ai_addr);
        if (!addresses.contains(address))
            addresses << address;
    }
    return addresses;
}

// `address` and `port` written into `storage`; the length of what was written.
inline int fillSocketAddress(sockaddr_storage &storage, const QHostAddress &address, quint16 port)
{
    storage = {};
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto &ipv6 = reinterpret_cast<sockaddr_in6 &>(storage);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&ipv6.sin6_addr, &bytes, sizeof bytes);
        return sizeof ipv6;
    }
    auto &ipv4 = reinterpret_cast<sockaddr_in &>(storage);
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr.s_addr = htonl(address.toIPv4Address());
    return sizeof ipv4;
}
