#include "rules_logic.h"

#include "core/url.h"

namespace corvane::RulesLogic {

bool isVisible(const Rule& rule, const QString& profileFilter, const QString& query)
{
    const QString profile = QString::fromStdString(rule.profile);
    if (!profileFilter.isEmpty() && profile != profileFilter)
        return false;
    if (query.isEmpty())
        return true;
    return QString::fromStdString(rule.pattern).contains(query, Qt::CaseInsensitive) ||
           profile.contains(query, Qt::CaseInsensitive);
}

std::vector<int> visibleRules(const std::vector<Rule>& rules, const QString& profileFilter,
                              const QString& query)
{
    std::vector<int> indexes;
    for (int i = 0; i < int(rules.size()); ++i)
        if (isVisible(rules[std::size_t(i)], profileFilter, query))
            indexes.push_back(i);
    return indexes;
}

std::optional<std::vector<Rule>> move(const std::vector<Rule>& rules, const Uuid& id, int offset)
{
    const auto it = std::find_if(rules.begin(), rules.end(), [&](const Rule& r) { return r.id == id; });
    if (it == rules.end())
        return std::nullopt;
    const auto i = it - rules.begin();
    const auto j = i + offset;
    if (j < 0 || j >= std::ssize(rules))
        return std::nullopt;
    std::vector<Rule> moved = rules;
    std::swap(moved[std::size_t(i)], moved[std::size_t(j)]);
    return moved;
}

QString iconHost(const Rule& rule)
{
    if (rule.kind != MatchKind::urlPrefix)
        return QString::fromStdString(rule.pattern);
    const auto url = Url::parse(rule.pattern);
    return url && url->host ? QString::fromStdString(*url->host) : QString();
}

Rule newRule(const QString& profile)
{
    return Rule::make(MatchKind::domain, "", profile.toStdString(), true);
}

} // namespace corvane::RulesLogic
