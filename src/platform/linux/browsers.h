#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The browser installations Corvane can route to on Linux: Chromium-family
// browsers and Firefox, each from a system package, Flatpak or Snap. One table
// for the application and for the corvane-bridge helper. No Qt here: the
// helper is a plain executable.
//
// Where the packagings live can be pointed elsewhere (tests):
// CORVANE_SNAP_BIN (default /snap/bin) and CORVANE_FLATPAK_SYSTEM
// (default /var/lib/flatpak); the user's Flatpak installation is
// $XDG_DATA_HOME/flatpak (default ~/.local/share/flatpak).
namespace corvane::Browsers {

enum class Family { chromium, firefox };
enum class Packaging { system, flatpak, snap };

struct Browser {
    std::string id;   // "chromium", "chromium-flatpak", "firefox-snap", ...
    std::string name; // "Chromium", "Firefox", ...: the browser, whatever its packaging
    Family family;
    Packaging packaging;
    // System: looked up on PATH, in order; Snap: the command under the snap
    // folder; Flatpak: the application id.
    std::vector<std::string> executables;
    // Where its profiles live, first that exists wins: "~" is the home folder,
    // "$CONFIG" $XDG_CONFIG_HOME (or ~/.config).
    std::vector<std::string> profileRoots;
    std::string extensionsPage; // where unpacked extensions are loaded
};

// How to start an installation: `program` with `arguments` before its own.
struct Launcher {
    std::filesystem::path program;
    std::vector<std::string> arguments; // {"run", "org.mozilla.firefox"} for a Flatpak
};

const std::vector<Browser>& all();
const Browser* byId(std::string_view id);

// How to start it here, or none when it is not installed.
std::optional<Launcher> findLauncher(const Browser& browser);
bool isInstalled(const Browser& browser);
// Every installation of the table found here, in table order.
std::vector<const Browser*> installed();

// "Firefox"; "Firefox (Snap)" or "Chromium (Flatpak)" when another
// installation of the same browser is found too.
std::string displayName(const Browser& browser);

// The candidate profile roots, in order, with the home and config folders
// filled in.
std::vector<std::filesystem::path> profileRoots(const Browser& browser);
// A Chromium-family browser's user data folder: its first profile root.
std::filesystem::path userDataFolder(const Browser& browser);

// The installation named by `preferredId` when the table knows it (installed
// or not, so the user is told it is missing rather than silently routed
// elsewhere); otherwise the first installed one in table order; with none
// installed, the first of the table.
const Browser& target(std::string_view preferredId = {});

} // namespace corvane::Browsers
