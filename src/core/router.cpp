#include "router.h"

#include "route_error.h"
#include "text.h"

namespace corvane {
namespace {

// The link's host as rules see it: lower case, one trailing dot dropped.
std::string linkHost(const Url& url)
{
    std::string host = Text::lower(url.host.value_or(""));
    if (host.ends_with('.'))
        host.pop_back();
    return host;
}

int effectivePort(const Url& url)
{
    if (url.port)
        return *url.port;
    return Text::equalsIgnoringCase(url.scheme.value_or(""), "https") ? 443 : 80;
}

bool pathHasPrefix(const std::string& path, const std::string& prefix)
{
    if (prefix.empty() || prefix == "/" || path == prefix)
        return true;
    const std::string boundary = prefix.ends_with('/') ? prefix : prefix + '/';
    return path.starts_with(boundary);
}

bool prefixMatches(const Url& pattern, const Url& url, const std::string& host)
{
    return linkHost(pattern) == host &&
           Text::lower(pattern.scheme.value_or("")) == Text::lower(url.scheme.value_or("")) &&
           effectivePort(pattern) == effectivePort(url) && pathHasPrefix(url.path, pattern.path);
}

// Validates the rule in the order of Router::validate while matching, so
// each pattern is parsed once.
bool matchEnabled(const Rule& rule, const Url& url, const std::string& host)
{
    if (Text::trim(rule.profile).empty())
        throw RouteError(Messages::chooseProfile);
    switch (rule.kind) {
    case MatchKind::domain: {
        const std::string domainHost = Router::domain(rule.pattern);
        return host == domainHost || (host.size() > domainHost.size() && host.ends_with(domainHost) &&
                                      host[host.size() - domainHost.size() - 1] == '.');
    }
    case MatchKind::exactHost:
        return host == Router::domain(rule.pattern);
    case MatchKind::urlPrefix: {
        const Url pattern = Router::webURL(rule.pattern);
        if (pattern.query || pattern.fragment)
            throw RouteError(Messages::prefixQuery);
        return prefixMatches(pattern, url, host);
    }
    }
    return false;
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
    return matchEnabled(rule, url, linkHost(url));
}

Decision Router::decide(const Url& url, const Configuration& config)
{
    webURL(url.absoluteString());
    config.validate();
    const std::string host = linkHost(url);
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
