#pragma once

#include "router.h"

#include <optional>
#include <string>
#include <vector>

namespace corvane {

// A rule whose pattern has been checked and parsed, ready to be compared with
// many links.
struct CompiledRule {
    MatchKind kind = MatchKind::domain;
    std::string host; // canonical host of a host rule, or the prefix's host as links see it
    // A URL-prefix rule's parts, compared as the link's are.
    std::string scheme; // lower case
    int port = 0;       // effective port
    std::string path;   // percent-encoded

    // Validates the rule like Router::validate (RouteError on failure).
    static CompiledRule compile(const Rule& rule);
    // `host` is the link's host as rules see it (linkHost).
    bool matches(const Url& url, const std::string& host) const;
    // Lower case, one trailing dot dropped.
    static std::string linkHost(const Url& url);
};

// A configuration validated once, for callers that route many links against
// rules that do not change (corvane-route). Router::decide re-checks the whole
// configuration on every call; this gives the same decisions without that
// cost.
class RuleSet {
public:
    // Throws RouteError exactly as Configuration::validate does.
    explicit RuleSet(const Configuration& config);
    // Throws RouteError when the link fails the web-link check.
    Decision decide(const Url& url) const;

private:
    struct Entry {
        CompiledRule rule;
        std::string profile;
        std::string reason;
    };
    std::vector<Entry> m_enabled;
    std::optional<std::string> m_defaultProfile;
};

} // namespace corvane
