#include "rule_set.h"

#include "route_error.h"
#include "text.h"

namespace corvane {
namespace {

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

} // namespace

std::string CompiledRule::linkHost(const Url& url)
{
    std::string host = Text::lower(url.host.value_or(""));
    if (host.ends_with('.'))
        host.pop_back();
    return host;
}

CompiledRule CompiledRule::compile(const Rule& rule)
{
    if (Text::trim(rule.profile).empty())
        throw RouteError(Messages::chooseProfile);
    CompiledRule compiled;
    compiled.kind = rule.kind;
    if (rule.kind == MatchKind::urlPrefix) {
        const Url prefix = Router::webURL(rule.pattern);
        if (prefix.query || prefix.fragment)
            throw RouteError(Messages::prefixQuery);
        compiled.host = linkHost(prefix);
        compiled.scheme = Text::lower(prefix.scheme.value_or(""));
        compiled.port = effectivePort(prefix);
        compiled.path = prefix.path;
    } else {
        compiled.host = Router::domain(rule.pattern);
    }
    return compiled;
}

bool CompiledRule::matches(const Url& url, const std::string& host) const
{
    switch (kind) {
    case MatchKind::domain:
        return host == this->host || (host.size() > this->host.size() && host.ends_with(this->host) &&
                                      host[host.size() - this->host.size() - 1] == '.');
    case MatchKind::exactHost:
        return host == this->host;
    case MatchKind::urlPrefix:
        return this->host == host && effectivePort(url) == port &&
               Text::equalsIgnoringCase(url.scheme.value_or(""), scheme) && pathHasPrefix(url.path, path);
    }
    return false;
}

RuleSet::RuleSet(const Configuration& config) : m_defaultProfile(config.defaultProfile)
{
    config.validate();
    for (std::size_t i = 0; i < config.rules.size(); ++i) {
        const Rule& rule = config.rules[i];
        if (rule.enabled)
            m_enabled.push_back({CompiledRule::compile(rule), rule.profile,
                                 "Rule " + std::to_string(i + 1) + ": " + rule.pattern});
    }
}

Decision RuleSet::decide(const Url& url) const
{
    Router::webURL(url.absoluteString());
    const std::string host = CompiledRule::linkHost(url);
    for (const Entry& entry : m_enabled) {
        if (entry.rule.matches(url, host))
            return Decision{entry.profile, entry.reason};
    }
    if (m_defaultProfile)
        return Decision{m_defaultProfile, Router::defaultProfileReason};
    return Decision{std::nullopt, Router::noMatchReason};
}

} // namespace corvane
