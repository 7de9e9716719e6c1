#pragma once

#include "route_error.h"
#include "rules.h"
#include "url.h"

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

struct Decision {
    std::optional<std::string> profile;
    std::string reason;
    bool operator==(const Decision&) const = default;
};

// Stateless routing decisions. Every refusal is a RouteError.
namespace Router {

Url webURL(std::string_view text);
std::string domain(std::string_view pattern);
void validate(const Rule& rule);

Url incoming(std::string_view text);
std::string typedURL(std::string_view text);
std::string normalizePattern(std::string_view text, MatchKind kind);
std::string ruleHost(const Url& url);
bool matches(const Rule& rule, const Url& url);
Decision decide(const Url& url, const Configuration& config);

inline constexpr const char* defaultProfileReason = "Default profile";
inline constexpr const char* noMatchReason = "No matching rule. Pick a profile.";

} // namespace Router
} // namespace corvane
