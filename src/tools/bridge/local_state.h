#pragma once

#include <string>
#include <vector>

namespace corvane::BridgeTool {

struct Profile {
    std::string directory; // "Default", "Profile 1", ...
    std::string name;      // what the user calls it
    bool operator==(const Profile&) const = default;
};

// The profiles in a browser's `Local State` document, in the order the browser
// offers them: `profile.profiles_order` first, then the rest by directory in
// natural order ("Profile 2" before "Profile 10"). A profile whose directory
// is not a plain folder name ("..", or with a "/") is left out.
// Throws ToolError(malformed) when the document or its profile part has the
// wrong shape, and ToolError(noProfiles) when it has no profile part yet.
std::vector<Profile> readProfiles(const std::string& document, const std::string& malformed,
                                  const std::string& noProfiles);

} // namespace corvane::BridgeTool
