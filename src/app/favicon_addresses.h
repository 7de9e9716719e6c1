#pragma once

#include <QHostAddress>

// Which addresses a web page may make the icon fetcher contact. Any page can
// declare icons anywhere: without this, one link would let it probe the
// user's own machine and local network, and learn from the timing what answers.
namespace corvane::FaviconFetcher {

// False for loopback, private (10/8, 172.16/12, 192.168/16), shared (100.64/10),
// link-local, unique-local, unspecified, "this network", multicast and
// broadcast addresses, also when written as IPv4 inside IPv6; true otherwise.
bool isPublicAddress(const QHostAddress& address);

} // namespace corvane::FaviconFetcher
