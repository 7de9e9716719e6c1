#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class MatchKind { domain, exactHost, urlPrefix };

inline constexpr std::array<MatchKind, 3> allMatchKinds{MatchKind::domain, MatchKind::exactHost,
                                                        MatchKind::urlPrefix};
std::string_view matchKindId(MatchKind kind);    // "domain", "exactHost", "urlPrefix"
std::string_view matchKindLabel(MatchKind kind); // "Domain + subdomains", ...
std::optional<MatchKind> matchKindFromId(std::string_view id); // exact, case-sensitive
inline bool isHostKind(MatchKind kind) { return kind != MatchKind::urlPrefix; }

// A random version 4 UUID.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    // The canonical 8-4-4-4-12 form, either case.
    static std::optional<Uuid> parse(std::string_view text);
    std::string toString() const; // upper case

    auto operator<=>(const Uuid&) const = default;
};

struct Rule {
    Uuid id;
    bool enabled = true;
    MatchKind kind = MatchKind::domain;
    std::string pattern;
    std::string profile;

    // Always draws a fresh id.
    static Rule make(MatchKind kind, std::string pattern, std::string profile, bool enabled = true);
    bool operator==(const Rule&) const = default;
};

struct Configuration {
    int version = 1;
    std::vector<Rule> rules;
    std::optional<std::string> defaultProfile;

    static constexpr int maxRules = 500;

    // Throws RouteError with the message of the first failing step.
    void validate() const;
    bool operator==(const Configuration&) const = default;
};

} // namespace corvane
