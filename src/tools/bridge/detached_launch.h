#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvane::BridgeTool {

// Starts `program` with `arguments` in a session of its own, with its standard
// streams on /dev/null, default signal handling and our environment without
// loader and packaging variables, and does not wait for it:
// the browser outlives the helper and never holds the caller's pipes. Returns
// the system's reason when it cannot be started, else an empty string.
std::string launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments);

} // namespace corvane::BridgeTool
