#pragma once

#include "core/url.h"

#include <QObject>

#include <functional>

class QNetworkAccessManager;

namespace corvane::Unwrap {

inline constexpr int defaultTimeoutMs = 4000;
inline constexpr const char* userAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.0 Safari/605.1.15";

using Resolved = std::function<void(const Url&)>;

// The process's one network session: no cache, no cookies kept, redirects
// left to the caller. Created on first use, owned by the application object.
QNetworkAccessManager& session();

// Parameter unwrapping, then, for known trackers and shorteners, the network
// step. Never fails: `done` gets the link as received when nothing better is
// found. `done` runs once on the caller's thread, never before `resolve`
// returns, and not at all once `context` is gone (which also cancels the
// requests). `timeoutMs` bounds each request's wait for data.
void resolve(const Url& url, QObject* context, Resolved done, int timeoutMs = defaultTimeoutMs);

// The network step alone: HEAD, then GET, following redirects; the final URL
// when it is a web link on another host, else `url` unchanged.
void follow(const Url& url, QObject* context, Resolved done, int timeoutMs = defaultTimeoutMs);

} // namespace corvane::Unwrap
