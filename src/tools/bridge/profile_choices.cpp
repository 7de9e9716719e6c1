#include "profile_choices.h"

#include "firefox_profiles.h"
#include "local_state.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace corvane::BridgeTool {

namespace {

namespace fs = std::filesystem;

// The whole file, or the system's reason why not.
std::optional<std::string> readFile(const fs::path& file, std::string& reason)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string fileText(const std::string& name, const fs::path& file)
{
    std::string reason;
    const auto text = readFile(file, reason);
    if (!text)
        throw ToolError("Cannot read " + name + "'s profile list " + file.string() + ": " + reason + ".");
    return *text;
}

std::vector<Choice> chromiumChoices(const Browsers::Browser& browser, const std::string& name)
{
    const fs::path file = Browsers::userDataFolder(browser) / "Local State";
    const std::string openOnce = "Open " + name + " once so it creates its profiles, then refresh.";
    std::error_code ec;
    if (!fs::exists(file, ec))
        throw ToolError(openOnce);
    std::vector<Choice> choices;
    // A name given as a directory would silently create a new, empty profile.
    for (const Profile& profile : readProfiles(
             fileText(name, file), name + "'s profile list " + file.string() + " is malformed.", openOnce))
        choices.push_back({profile.name,
                           {"--profile-directory=" + profile.directory},
                           std::nullopt,
                           std::nullopt,
                           Browsers::userDataFolder(browser) / profile.directory});
    return choices;
}

std::vector<Choice> firefoxChoices(const Browsers::Browser& browser, const std::string& name)
{
    std::optional<fs::path> root;
    for (const fs::path& candidate : Browsers::profileRoots(browser)) {
        std::error_code ec;
        if (fs::exists(candidate / "profiles.ini", ec)) {
            root = candidate;
            break;
        }
    }
    if (!root)
        throw ToolError("Open " + name + " once so it creates its profiles, then refresh.");
    const fs::path file = *root / "profiles.ini";
    const ProfilesIni ini = readProfilesIni(fileText(name, file), *root,
                                            name + "'s profile list " + file.string() + " is malformed.");
    std::vector<FirefoxProfile> profiles = ini.profiles;
    for (const std::string& store : ini.storeIds) {
        const fs::path database = *root / "Profile Groups" / (store + ".sqlite");
        std::error_code ec;
        if (store.find('/') != std::string::npos || !fs::exists(database, ec))
            continue;
        for (FirefoxProfile& grouped : readProfileGroup(
                 database, *root, "Cannot read " + name + "'s profile group " + database.string() + ": ")) {
            const bool known = std::any_of(profiles.begin(), profiles.end(), [&](const FirefoxProfile& p) {
                return p.folder == grouped.folder;
            });
            if (!known)
                profiles.push_back(std::move(grouped));
        }
    }

    // Two profiles of one name stay two: each is told apart by its folder,
    // and opened by it, since a name would reach only one of them.
    std::map<std::string, int> uses;
    for (const FirefoxProfile& profile : profiles)
        ++uses[profile.name];
    std::vector<Choice> choices;
    for (const FirefoxProfile& profile : profiles) {
        const bool shared = uses[profile.name] > 1;
        Choice choice{shared ? profile.name + " (" + profile.folder.filename().string() + ")" : profile.name,
                      {},
                      std::nullopt,
                      profile.folder,
                      profile.folder};
        // Firefox opens its profile manager for a name it does not know, so
        // only the names of profiles.ini go by name.
        if (profile.inProfilesIni && !shared) {
            choice.arguments = {"-P", profile.name};
        } else {
            choice.arguments = {"--profile", profile.folder.string()};
            choice.folder = profile.folder;
        }
        choices.push_back(std::move(choice));
    }
    return choices;
}

} // namespace

std::vector<Choice> choicesOf(const Browsers::Browser& browser)
{
    const std::string name = Browsers::displayName(browser);
    return browser.family == Browsers::Family::firefox ? firefoxChoices(browser, name)
                                                       : chromiumChoices(browser, name);
}

} // namespace corvane::BridgeTool
