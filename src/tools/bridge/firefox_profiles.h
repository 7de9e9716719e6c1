#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvane::BridgeTool {

struct FirefoxProfile {
    std::string name;             // as Firefox shows it
    std::filesystem::path folder; // absolute
    bool inProfilesIni = true;    // else made by the newer profile manager, known only to its group
    bool operator==(const FirefoxProfile&) const = default;
};

struct ProfilesIni {
    // The install's default first, then in file order.
    std::vector<FirefoxProfile> profiles;
    // The profile groups the file names, each a database
    // "Profile Groups/<id>.sqlite" under the root.
    std::vector<std::string> storeIds;
};

// The [ProfileN] sections of a profiles.ini under `root` (Name, Path,
// IsRelative). Throws ToolError(malformed) when a line is neither a section,
// a key, a comment nor empty, or a profile lacks its name or path.
ProfilesIni readProfilesIni(const std::string& text, const std::filesystem::path& root,
                            const std::string& malformed);

// The profiles of a group database, in the order they were made. Read from a
// copy, so no lock is ever held against a running Firefox. Throws
// ToolError(unreadable + the reason) when it cannot be read.
std::vector<FirefoxProfile> readProfileGroup(const std::filesystem::path& database,
                                             const std::filesystem::path& root,
                                             const std::string& unreadable);

} // namespace corvane::BridgeTool
