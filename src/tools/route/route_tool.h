#pragma once

#include "core/rule_set.h"

#include <functional>
#include <optional>
#include <string>

namespace corvane {

struct RouteOptions {
    bool typed = false;  // treat inputs as typed into the test field
    bool unwrap = false; // take the link out of known redirect pages first
    bool follow = false; // also resolve trackers and shorteners over the network
};

// Follows a link over the network; returns the unwrapped link text.
using Follower = std::function<std::string(const std::string&)>;

// Routes one input line and returns its JSON line; `refused` tells whether the
// link was refused.
std::string routeLine(const std::string& input, const RuleSet& rules, const RouteOptions& options,
                      const Follower& follower, bool& refused);

} // namespace corvane
