#pragma once

#include "core/url.h"

#include <QObject>

#include <functional>

class QNetworkAccessManager;

namespace corvane::Unwrap {

inline constexpr int defaultTimeoutMs = 4000;
// All hops of one link together; past it the link is routed as received.
inline constexpr int defaultDeadlineMs = 8000;
inline constexpr const char* userAgent =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/17.0 Safari/605.1.15";

using Resolved = std::function<void(const Url&)>;

struct FollowOptions {
    int timeoutMs = defaultTimeoutMs; // one request's wait for data
    int deadlineMs = defaultDeadlineMs;
    // Which hosts are trackers or shorteners; empty: shouldFollow.
    std::function<bool(const Url&)> follows;
};

// The process's one network session: no cache, no cookies kept, redirects
// left to the caller. Created on first use, owned by the application object.
QNetworkAccessManager& session();

// Parameter unwrapping, then, for known trackers and shorteners, the network
// step. Never fails: `done` gets the link as received when nothing better is
// found. `done` runs once on the caller's thread, never before `resolve`
// returns, and not at all once `context` is gone (which also cancels the
// requests).
void resolve(const Url& url, QObject* context, Resolved done, const FollowOptions& options = {});

// The network step alone. Redirects are followed only while they lead to a
// tracker or shortener (or stay on the host that answered): the first hop
// outside them is the result and is never requested, since the destination
// of a tracked link is often a one-time link that a request would use up.
// HEAD first, GET for a hop that does not redirect a HEAD. `url` unchanged
// when no such hop comes before the deadline.
void follow(const Url& url, QObject* context, Resolved done, const FollowOptions& options = {});

} // namespace corvane::Unwrap
