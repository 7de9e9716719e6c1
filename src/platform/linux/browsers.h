#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Chromium-family browsers Corvane can route to on Linux. One table for the
// application and for the corvane-bridge helper. No Qt here: the helper is a
// plain executable.
namespace corvane::Browsers {

struct Browser {
    std::string id;                       // "chromium", "google-chrome", ...
    std::string displayName;              // "Chromium", "Google Chrome", ...
    std::vector<std::string> executables; // looked up on PATH, in order
    std::string configFolder;             // user data folder under $XDG_CONFIG_HOME
    std::string extensionsPage;           // where unpacked extensions are loaded
};

const std::vector<Browser>& all();
const Browser* byId(std::string_view id);

// The first executable of the browser found on $PATH, or none.
std::optional<std::filesystem::path> findExecutable(const Browser& browser);
bool isInstalled(const Browser& browser);
// Every browser of the table found on $PATH, in table order.
std::vector<const Browser*> installed();

// $XDG_CONFIG_HOME (or ~/.config) joined with the browser's folder.
std::filesystem::path userDataFolder(const Browser& browser);

// The browser named by `preferredId` when the table knows it (installed or not,
// so the user is told it is missing rather than silently routed elsewhere);
// otherwise the first installed one in table order; with none installed, the
// first of the table.
const Browser& target(std::string_view preferredId = {});

} // namespace corvane::Browsers
