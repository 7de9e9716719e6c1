#pragma once

#include "browsers.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The native-messaging host through which Corvane's browser extension reaches
// the running Corvane: its name, the only extension allowed to start it, and
// the manifests that tell each browser installation where it is. Plain C++:
// the host program and the application share it.
namespace corvane::NativeHosts {

inline constexpr std::string_view hostName = "io.github.corvane.tabs";
// Chromium derives the id from the public key in the extension's manifest.
inline constexpr std::string_view chromiumExtensionId = "hiceokegphiaapaahglbcbkcdngejhli";
inline constexpr std::string_view firefoxExtensionId = "route@corvane.invalid";
// The host program, beside the other programs of the application folder.
inline constexpr std::string_view hostProgramName = "corvane-extension-host";

// The manifest for one family: our host at `program`, allowed to our
// extension alone.
std::string manifestText(Browsers::Family family, const std::filesystem::path& program);

// Where `browser` looks for a user's host manifests.
std::vector<std::filesystem::path> manifestFolders(const Browsers::Browser& browser);

struct Outcome {
    std::vector<std::filesystem::path> files; // written, or removed
    std::string error;                        // the first failure, for the user; empty when none
};

// Writes the manifest into every folder of every installation found here.
Outcome install(const std::filesystem::path& program);
// Takes our manifest out of every folder of the table, found here or not.
Outcome remove();

} // namespace corvane::NativeHosts
