#pragma once

#include "app/favicon_links.h"

#include <QHash>
#include <QHostAddress>
#include <QImage>
#include <QObject>
#include <QSslCertificate>

#include <functional>

class QNetworkAccessManager;

// Finds and downloads the icon of a web site from its host name alone. Every
// call is independent and never fails: it yields image bytes or nothing.
namespace corvane::FaviconFetcher {

inline constexpr int defaultTimeoutMs = 6000;
inline constexpr const char* userAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.0 Safari/605.1.15";

// The home page is read only this far for its <link> tags.
inline constexpr qint64 pageLimit = 600000;
// Images of this size or larger are discarded (1999999 bytes is the largest kept).
inline constexpr qint64 imageLimit = 2000000;
// Anything this size or smaller is no real icon.
inline constexpr qint64 imageMinimum = 64;
inline constexpr int minimumWidth = 16;
// A page may declare hundreds of icons; only its best few are tried.
inline constexpr int maxDeclaredIcons = 4;

struct Endpoint {
    QHostAddress address;
    quint16 port = 0;
};

struct Options {
    // Each request may wait this long for data.
    int timeoutMs = defaultTimeoutMs;
    // Where a host's requests are sent instead of the address its name
    // resolves to; the request keeps the host's name in its Host header and as
    // the TLS server name, so the server sees what it would see otherwise.
    // Keys are lower-case host names. These addresses are taken as given;
    // every other host is resolved first and refused when any of its
    // addresses is not public (see isPublicAddress).
    QHash<QString, Endpoint> addresses;
    // Certificate authorities trusted beside the system's.
    QList<QSslCertificate> extraCaCertificates;
};

// The icon, decoded and scaled to what the interface shows, or a null image
// for nothing.
using Image = std::function<void(const QImage&)>;
using Urls = std::function<void(const QList<QUrl>&)>;

// The fetcher's one network session: no cache, no cookies kept. Created on
// first use, owned by the application object.
QNetworkAccessManager& session();

// Candidate hosts in the order they are tried: the host, "www." + host unless
// it begins so, and for three or more labels its last two.
QStringList candidateHosts(const QString& host);

// For each candidate host: "/apple-touch-icon.png", the icons its home page
// declares (best first), "/favicon.ico"; the first acceptable image wins.
// Every callback below runs once on the caller's thread, never before the call
// returns, and not at all once `context` is gone (which also ends the requests).
void fetch(const QString& host, QObject* context, Image done, const Options& options = {});

// The icon URLs the home page of `host` declares, best first, at most
// maxDeclaredIcons; relative ones resolved against the page's final URL after
// redirects. An https page's plain http icons are left out.
void declaredIcons(const QString& host, QObject* context, Urls done, const Options& options = {});

// The icon at `url` if it is acceptable: status 200, more than 64 bytes and
// under 2 MB, not served as HTML, decodable within IconImage's bounds, at
// least 16 pixels wide. A "data:" URL is decoded without the network and
// without those limits. Decoding happens off the main thread.
void imageAt(const QUrl& url, QObject* context, Image done, const Options& options = {});

} // namespace corvane::FaviconFetcher
