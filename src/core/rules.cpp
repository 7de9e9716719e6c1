#include "rules.h"

namespace corvane {

std::string_view matchKindId(MatchKind kind)
{
    switch (kind) {
    case MatchKind::domain:
        return "domain";
    case MatchKind::exactHost:
        return "exactHost";
    case MatchKind::urlPrefix:
        return "urlPrefix";
    }
    return {};
}

std::string_view matchKindLabel(MatchKind kind)
{
    switch (kind) {
    case MatchKind::domain:
        return "Domain + subdomains";
    case MatchKind::exactHost:
        return "Exact host";
    case MatchKind::urlPrefix:
        return "URL path prefix";
    }
    return {};
}

std::optional<MatchKind> matchKindFromId(std::string_view id)
{
    for (MatchKind kind : allMatchKinds)
        if (matchKindId(kind) == id)
            return kind;
    return std::nullopt;
}

Rule Rule::make(MatchKind kind, std::string pattern, std::string profile, bool enabled)
{
    return Rule{Uuid::random(), enabled, kind, std::move(pattern), std::move(profile)};
}

} // namespace corvane
