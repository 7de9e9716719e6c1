#pragma once

#include "core/rules.h"

#include <QString>

#include <optional>
#include <vector>

namespace corvane::RulesLogic {

// Whether a rule is listed under the profile filter and the search text: the
// profile must equal the filter exactly; the text, as typed, must occur in
// the pattern or the profile, ignoring case.
bool isVisible(const Rule& rule, const QString& profileFilter, const QString& query);
// Indexes into `rules` of the rules listed, in order.
std::vector<int> visibleRules(const std::vector<Rule>& rules, const QString& profileFilter,
                              const QString& query);
// The rules with the rule `id` swapped with its neighbour `offset` places
// away in the whole list; nothing when it is absent or would leave the list.
std::optional<std::vector<Rule>> move(const std::vector<Rule>& rules, const Uuid& id, int offset);
// The host a rule's site icon shows.
QString iconHost(const Rule& rule);
// A new rule for the editor: enabled, a domain, empty pattern, the profile given.
Rule newRule(const QString& profile);

} // namespace corvane::RulesLogic
