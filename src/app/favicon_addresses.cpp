#include "favicon_addresses.h"

namespace corvane::FaviconFetcher {

namespace {

bool inRange(quint32 address, quint32 network, int prefix)
{
    const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return (address & mask) == (network & mask);
}

bool isPublicIPv4(quint32 a)
{
    struct Range {
        quint32 network;
        int prefix;
    };
    static constexpr Range local[] = {
        {0x00000000, 8},  // "this network", including the unspecified address
        {0x0a000000, 8},  // private
        {0x64400000, 10}, // shared address space of carrier-grade NAT
        {0x7f000000, 8},  // loopback
        {0xa9fe0000, 16}, // link-local
        {0xac100000, 12}, // private
        {0xc0000000, 24}, // protocol assignments
        {0xc0a80000, 16}, // private
        {0xc6120000, 15}, // benchmarking
        {0xe0000000, 4},  // multicast
        {0xf0000000, 4},  // reserved, and the broadcast address
    };
    for (const Range& range : local)
        if (inRange(a, range.network, range.prefix))
            return false;
    return true;
}

} // namespace

bool isPublicAddress(const QHostAddress& address)
{
    if (address.isNull())
        return false;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4)
        return isPublicIPv4(v4);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    bool zeroPrefix = true; // ::, ::1 and the IPv4-compatible ::a.b.c.d
    for (int i = 0; i < 12; ++i)
        zeroPrefix = zeroPrefix && bytes[i] == 0;
    if (zeroPrefix)
        return false;
    const quint8 first = bytes[0];
    if ((first & 0xfe) == 0xfc) // unique-local fc00::/7
        return false;
    if (first == 0xfe && (bytes[1] & 0xc0) == 0x80) // link-local fe80::/10
        return false;
    if (first == 0xfe && (bytes[1] & 0xc0) == 0xc0) // old site-local fec0::/10
        return false;
    if (first == 0xff) // multicast
        return false;
    // NAT64 (64:ff9b::/96) and 6to4 (2002::/16) carry an IPv4 address that
    // a gateway reaches for us.
    static const quint8 nat64[12] = {0x00, 0x64, 0xff, 0x9b};
    bool isNat64 = true;
    for (int i = 0; i < 12; ++i)
        isNat64 = isNat64 && bytes[i] == nat64[i];
    if (isNat64)
        return isPublicIPv4((quint32(bytes[12]) << 24) | (quint32(bytes[13]) << 16) |
                            (quint32(bytes[14]) << 8) | bytes[15]);
    if (first == 0x20 && bytes[1] == 0x02)
        return isPublicIPv4((quint32(bytes[2]) << 24) | (quint32(bytes[3]) << 16) | (quint32(bytes[4]) << 8) |
                            bytes[5]);
    return true;
}

} // namespace corvane::FaviconFetcher
