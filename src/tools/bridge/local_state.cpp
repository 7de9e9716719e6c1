#include "local_state.h"

#include "tool_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace corvane::BridgeTool {

using nlohmann::json;

std::vector<Profile> readProfiles(const std::string& document, const std::string& malformed,
                                  const std::string& noProfiles)
{
    const json state = json::parse(document, nullptr, false);
    if (state.is_discarded() || !state.is_object())
        throw ToolError(malformed);
    const auto profileIt = state.find("profile");
    if (profileIt == state.end())
        throw ToolError(noProfiles);
    if (!profileIt->is_object())
        throw ToolError(malformed);
    const auto cacheIt = profileIt->find("info_cache");
    if (cacheIt == profileIt->end())
        throw ToolError(noProfiles);
    if (!cacheIt->is_object())
        throw ToolError(malformed);

    std::map<std::string, std::string> names; // by directory, so the rest comes out sorted
    for (const auto& [directory, info] : cacheIt->items()) {
        if (!info.is_object() || !info.contains("name") || !info.at("name").is_string())
            throw ToolError(malformed);
        names.emplace(directory, info.at("name").get<std::string>());
    }

    std::vector<Profile> profiles;
    if (const auto orderIt = profileIt->find("profiles_order"); orderIt != profileIt->end()) {
        if (!orderIt->is_array())
            throw ToolError(malformed);
        for (const auto& entry : *orderIt) {
            if (!entry.is_string())
                throw ToolError(malformed);
            const auto found = names.find(entry.get<std::string>());
            if (found == names.end())
                continue; // an order entry for a profile that was deleted
            profiles.push_back({found->first, found->second});
            names.erase(found);
        }
    }
    for (const auto& [directory, name] : names)
        profiles.push_back({directory, name});
    return profiles;
}

} // namespace corvane::BridgeTool
