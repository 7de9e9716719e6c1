#pragma once

#include "url.h"

#include <optional>
#include <string>
#include <vector>

namespace corvane::Unwrap {

// A redirect page that carries the real link in a query parameter.
struct ParamHost {
    std::string host;
    std::optional<std::string> path; // exact, percent-decoded; absent = any
    std::string parameter;
};

const std::vector<ParamHost>& paramHosts();

// The link embedded in a known redirect page's parameter, or none. One layer only.
std::optional<Url> fromParameter(const Url& url);
// Whether the link is a known tracker or shortener worth resolving over the network.
bool shouldFollow(const Url& url);
// Whether the URL's text passes the web-link check.
bool isWeb(const Url& url);

} // namespace corvane::Unwrap
