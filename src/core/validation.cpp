#include "route_error.h"
#include "router.h"
#include "rules.h"
#include "text.h"
#include "web_link.h"

#include <set>

namespace corvane {

Url Router::webURL(std::string_view text)
{
    auto check = checkWebLink(text);
    if (!check.url)
        throw RouteError(check.message);
    return std::move(*check.url);
}

std::string Router::domain(std::string_view pattern)
{
    const std::string_view trimmed = Text::trim(pattern);
    if (trimmed.empty() || trimmed.find_first_of("/:@?#*\\ ") != std::string_view::npos)
        throw RouteError(Messages::hostname);
    std::string candidate = "https://";
    candidate += trimmed;
    const auto check = checkWebLink(candidate);
    if (!check.url || !check.url->host)
        throw RouteError(Messages::hostname);
    std::string host = Text::lower(*check.url->host);
    if (host.ends_with('.'))
        host.pop_back();
    // "." alone would leave no host at all, and an empty host would match
    // any link whose host ends in a dot.
    if (host.empty())
        throw RouteError(Messages::hostname);
    return host;
}

void Router::validate(const Rule& rule)
{
    if (Text::trim(rule.profile).empty())
        throw RouteError(Messages::chooseProfile);
    if (rule.kind == MatchKind::urlPrefix) {
        const Url url = webURL(rule.pattern);
        if (url.query || url.fragment)
            throw RouteError(Messages::prefixQuery);
    } else {
        domain(rule.pattern);
    }
}

void Configuration::validate() const
{
    if (version != 1)
        throw RouteError(Messages::unsupportedVersion);
    if (rules.size() > static_cast<std::size_t>(maxRules))
        throw RouteError(Messages::tooManyRules);
    std::set<Uuid> ids;
    for (const Rule& rule : rules)
        ids.insert(rule.id);
    if (ids.size() < rules.size())
        throw RouteError(Messages::duplicateIds);
    for (const Rule& rule : rules)
        if (rule.enabled)
            Router::validate(rule);
    if (defaultProfile && Text::trim(*defaultProfile).empty())
        throw RouteError(Messages::chooseDefault);
}

} // namespace corvane
