#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

// Which profile of which installation an extension runs in, named as the
// helper names it, so the application can match it with its profile list.
namespace corvane::ExtensionHost {

struct Identity {
    std::string browserId; // "chromium", "firefox-snap", ...
    std::string profile;   // as corvane-bridge lists it
    bool operator==(const Identity&) const = default;
};

// A Chromium-family profile knows nothing of its own folder, so our extension
// keeps a mark of its own in the profile's extension storage, and the profile
// whose storage holds the mark is the one. None when no profile, or more than
// one (a copied profile folder), holds it.
std::optional<Identity> chromiumProfileMarked(const std::string& token);
bool isToken(const std::string& token);

// A running Firefox holds its profile's `.parentlock` open; the host's parent
// is that Firefox.
std::optional<std::filesystem::path> firefoxProfileFolderOf(pid_t firefox);
std::optional<Identity> firefoxProfileAt(const std::filesystem::path& folder);

} // namespace corvane::ExtensionHost
