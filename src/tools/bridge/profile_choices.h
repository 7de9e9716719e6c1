#pragma once

#include "platform/linux/browsers.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::BridgeTool {

// One profile of an installation as the helper names it, and how the browser
// is told to open it.
struct Choice {
    std::string name;
    std::vector<std::string> arguments; // before the link
    std::optional<std::filesystem::path> folder;     // must still be there when opened by its folder
    std::optional<std::filesystem::path> lockFolder; // where a running browser of this profile leaves its lock
    std::filesystem::path home;                      // the profile's own folder
};

// The profiles of `browser`, in the order they are offered. Throws ToolError
// with the user's message when the browser's profile list cannot be had.
std::vector<Choice> choicesOf(const Browsers::Browser& browser);

} // namespace corvane::BridgeTool
