#include "local_state.h"

#include "tool_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <string_view>

namespace corvane::BridgeTool {

using nlohmann::json;

namespace {

// "Profile 2" before "Profile 10", as the browser numbers its folders.
struct NaturalLess {
    bool operator()(const std::string& a, const std::string& b) const
    {
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < a.size() && j < b.size()) {
            if (isDigit(a[i]) && isDigit(b[j])) {
                std::size_t endA = i;
                std::size_t endB = j;
                while (endA < a.size() && isDigit(a[endA]))
                    ++endA;
                while (endB < b.size() && isDigit(b[endB]))
                    ++endB;
                std::size_t startA = i;
                std::size_t startB = j;
                while (startA + 1 < endA && a[startA] == '0')
                    ++startA;
                while (startB + 1 < endB && b[startB] == '0')
                    ++startB;
                const std::string_view numberA(a.data() + startA, endA - startA);
                const std::string_view numberB(b.data() + startB, endB - startB);
                if (numberA.size() != numberB.size())
                    return numberA.size() < numberB.size();
                if (numberA != numberB)
                    return numberA < numberB;
                i = endA;
                j = endB;
                continue;
            }
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
        if ((a.size() - i) != (b.size() - j))
            return a.size() - i < b.size() - j;
        return a < b; // "01" and "1": still a strict order
    }
};

// The folder name reaches the browser as --profile-directory: one that
// leaves the browser's data folder, or is cut short at a NUL, would open or
// create some other profile.
bool isSafeDirectory(const std::string& directory)
{
    return !directory.empty() && directory != "." && directory != ".." &&
           directory.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

} // namespace

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

    // By directory, so the rest comes out in the browser's numbering.
    std::map<std::string, std::string, NaturalLess> names;
    for (const auto& [directory, info] : cacheIt->items()) {
        if (!info.is_object() || !info.contains("name") || !info.at("name").is_string())
            throw ToolError(malformed);
        if (isSafeDirectory(directory))
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
