// corvane-bridge's reader of the browser's `Local State`: any document either
// gives a list of profiles or one of the two refusals, and every profile it
// gives is a plain folder name of the document's, listed once, with its name.
#include "tools/bridge/local_state.h"
#include "tools/bridge/tool_error.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

using namespace corvane::BridgeTool;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string document(reinterpret_cast<const char*>(data), size);
    std::vector<Profile> profiles;
    try {
        profiles = readProfiles(document, "malformed", "none");
    } catch (const ToolError& error) {
        const std::string message = error.what();
        if (message != "malformed" && message != "none")
            std::abort();
        return 0;
    }
    const nlohmann::json cache = nlohmann::json::parse(document).at("profile").at("info_cache");
    std::set<std::string> seen;
    for (const Profile& profile : profiles) {
        const std::string& directory = profile.directory;
        if (directory.empty() || directory == "." || directory == ".." ||
            directory.find('/') != std::string::npos || directory.find('\0') != std::string::npos)
            std::abort();
        if (!seen.insert(directory).second)
            std::abort();
        if (cache.at(directory).at("name").get<std::string>() != profile.name)
            std::abort();
    }
    return 0;
}
