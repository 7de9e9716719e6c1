#include "router.h"

#include "route_error.h"
#include "rule_set.h"
#include "text.h"

namespace corvane {
namespace {

// Validates the rule in the order of Router::validate while matching, so
// each pattern is parsed once.
bool matchEnabled(const Rule& rule, const Url& url, const std::string& host)
{
    return CompiledRule::compile(rule).matches(url, host);
}

} // namespace

Url Router::incoming(std::string_view text)
{
    const auto url = Url::parse(text);
    if (!url || !url->scheme || !Text::equalsIgnoringCase(*url->scheme, "corvane"))
        return webURL(text);
    if (url->host != "open" || !url->path.empty() || url->user || url->password || url->port ||
        url->fragment || !url->query)
        throw RouteError(Messages::invalidCorvaneLink);
    const auto items = url->queryItems();
    if (items.size() != 1 || items.front().name != "url" || !items.front().value)
        throw RouteError(Messages::invalidCorvaneLink);
    return webURL(*items.front().value);
}

std::string Router::typedURL(std::string_view text)
{
    std::string result(Text::trim(text));
    if (!result.empty() && result.find("://") == std::string::npos)
        result.insert(0, "https://");
    return result;
}

std::string Router::normalizePattern(std::string_view text, MatchKind kind)
{
    std::string_view pattern = Text::trim(text);
    if (kind == MatchKind::urlPrefix) {
        std::string result(pattern);
        if (!result.empty() && result.find("://") == std::string::npos)
            result.insert(0, "https://");
        return result;
    }
    if (const std::size_t scheme = pattern.find("://"); scheme != std::string_view::npos)
        pattern.remove_prefix(scheme + 3);
    pattern = pattern.substr(0, pattern.find_first_of("/?#"));
    if (const std::size_t at = pattern.rfind('@'); at != std::string_view::npos)
        pattern.remove_prefix(at + 1);
    if (kind == MatchKind::domain && Text::startsWithIgnoringCase(pattern, "www."))
        pattern.remove_prefix(4);
    return Text::lower(pattern);
}

std::string Router::ruleHost(const Url& url)
{
    std::string host = Text::lower(url.host.value_or(""));
    if (host.starts_with("www."))
        host.erase(0, 4);
    return host;
}

bool Router::matches(const Rule& rule, const Url& url)
{
    if (!rule.enabled)
        return false;
    return matchEnabled(rule, url, CompiledRule::linkHost(url));
}

Decision Router::decide(const Url& url, const Configuration& config)
{
    webURL(url.absoluteString());
    config.validate();
    const std::string host = CompiledRule::linkHost(url);
    for (std::size_t i = 0; i < config.rules.size(); ++i) {
        const Rule& rule = config.rules[i];
        if (rule.enabled && matchEnabled(rule, url, host))
            return Decision{rule.profile, "Rule " + std::to_string(i + 1) + ": " + rule.pattern};
    }
    if (config.defaultProfile)
        return Decision{config.defaultProfile, defaultProfileReason};
    return Decision{std::nullopt, noMatchReason};
}

} // namespace corvane
