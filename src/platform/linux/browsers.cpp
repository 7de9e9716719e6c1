#include "browsers.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace corvane::Browsers {

namespace fs = std::filesystem;

namespace {

const Family chromiumFamily = Family::chromium;

Browser chromiumBrowser(std::string id, std::string name, std::vector<std::string> executables,
                        const std::string& folder, std::string page)
{
    return {std::move(id),          std::move(name),       chromiumFamily, Packaging::system,
            std::move(executables), {"$CONFIG/" + folder}, std::move(page)};
}

Browser chromiumFlatpak(const Browser& system, const std::string& appId)
{
    const std::string folder = system.profileRoots.front().substr(std::string("$CONFIG/").size());
    return {system.id + "-flatpak", system.name, chromiumFamily,
            Packaging::flatpak,     {appId},     {"~/.var/app/" + appId + "/config/" + folder},
            system.extensionsPage};
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

fs::path home()
{
    return environment("HOME");
}

fs::path configHome()
{
    const fs::path xdg = environment("XDG_CONFIG_HOME");
    return !xdg.empty() && xdg.is_absolute() ? xdg : home() / ".config";
}

fs::path dataHome()
{
    const fs::path xdg = environment("XDG_DATA_HOME");
    return !xdg.empty() && xdg.is_absolute() ? xdg : home() / ".local/share";
}

bool isExecutable(const fs::path& file)
{
    std::error_code ec;
    return fs::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

std::optional<fs::path> onPath(const std::string& name)
{
    const char* pathEnv = std::getenv("PATH");
    const std::string searchPath = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos)
            end = searchPath.size();
        const std::string dir = searchPath.substr(start, end - start);
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
        if (isExecutable(candidate))
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// An installed Flatpak application exports its desktop entry.
bool flatpakInstalled(const std::string& appId)
{
    const std::string system = environment("CORVANE_FLATPAK_SYSTEM");
    for (const fs::path& root :
         {fs::path(system.empty() ? "/var/lib/flatpak" : system), dataHome() / "flatpak"}) {
        std::error_code ec;
        if (fs::is_regular_file(root / "exports/share/applications" / (appId + ".desktop"), ec))
            return true;
    }
    return false;
}

} // namespace

const std::vector<Browser>& all()
{
    static const std::vector<Browser> table = [] {
        std::vector<Browser> browsers{
            chromiumBrowser("chromium", "Chromium", {"chromium", "chromium-browser"}, "chromium",
                            "chrome://extensions"),
            chromiumBrowser("google-chrome", "Google Chrome", {"google-chrome", "google-chrome-stable"},
                            "google-chrome", "chrome://extensions"),
            chromiumBrowser("brave", "Brave", {"brave-browser", "brave"}, "BraveSoftware/Brave-Browser",
                            "brave://extensions"),
            chromiumBrowser("vivaldi", "Vivaldi", {"vivaldi", "vivaldi-stable"}, "vivaldi",
                            "vivaldi://extensions"),
            chromiumBrowser("microsoft-edge", "Microsoft Edge", {"microsoft-edge", "microsoft-edge-stable"},
                            "microsoft-edge", "edge://extensions"),
            {"firefox",
             "Firefox",
             Family::firefox,
             Packaging::system,
             {"firefox", "firefox-esr"},
             {"~/.mozilla/firefox", "$CONFIG/mozilla/firefox"},
             "about:debugging"},
        };
        const std::pair<const char*, const char*> flatpaks[] = {
            {"chromium", "org.chromium.Chromium"},    {"google-chrome", "com.google.Chrome"},
            {"brave", "com.brave.Browser"},           {"vivaldi", "com.vivaldi.Vivaldi"},
            {"microsoft-edge", "com.microsoft.Edge"},
        };
        for (const auto& [id, appId] : flatpaks) {
            const Browser system = *std::find_if(browsers.begin(), browsers.end(),
                                                 [id = id](const Browser& b) { return b.id == id; });
            browsers.push_back(chromiumFlatpak(system, appId));
        }
        browsers.push_back({"firefox-flatpak",
                            "Firefox",
                            Family::firefox,
                            Packaging::flatpak,
                            {"org.mozilla.firefox"},
                            {"~/.var/app/org.mozilla.firefox/.mozilla/firefox",
                             "~/.var/app/org.mozilla.firefox/config/mozilla/firefox"},
                            "about:debugging"});
        browsers.push_back({"chromium-snap",
                            "Chromium",
                            chromiumFamily,
                            Packaging::snap,
                            {"chromium"},
                            {"~/snap/chromium/common/chromium"},
                            "chrome://extensions"});
        browsers.push_back({"firefox-snap",
                            "Firefox",
                            Family::firefox,
                            Packaging::snap,
                            {"firefox"},
                            {"~/snap/firefox/common/.mozilla/firefox"},
                            "about:debugging"});
        return browsers;
    }();
    return table;
}

const Browser* byId(std::string_view id)
{
    for (const auto& browser : all()) {
        if (browser.id == id)
            return &browser;
    }
    return nullptr;
}

std::optional<Launcher> findLauncher(const Browser& browser)
{
    switch (browser.packaging) {
    case Packaging::system:
        for (const auto& name : browser.executables) {
            if (auto found = onPath(name))
                return Launcher{*found, {}};
        }
        return std::nullopt;
    case Packaging::snap: {
        const std::string bin = environment("CORVANE_SNAP_BIN");
        const fs::path program = fs::path(bin.empty() ? "/snap/bin" : bin) / browser.executables.front();
        return isExecutable(program) ? std::optional(Launcher{program, {}}) : std::nullopt;
    }
    case Packaging::flatpak: {
        const std::string& appId = browser.executables.front();
        const auto flatpak = onPath("flatpak");
        if (!flatpak || !flatpakInstalled(appId))
            return std::nullopt;
        return Launcher{*flatpak, {"run", appId}};
    }
    }
    return std::nullopt;
}

bool isInstalled(const Browser& browser)
{
    return findLauncher(browser).has_value();
}

std::vector<const Browser*> installed()
{
    std::vector<const Browser*> found;
    for (const auto& browser : all()) {
        if (isInstalled(browser))
            found.push_back(&browser);
    }
    return found;
}

std::string displayName(const Browser& browser)
{
    if (browser.packaging == Packaging::system)
        return browser.name;
    bool another = false;
    for (const Browser* other : installed())
        another = another || (other->id != browser.id && other->name == browser.name);
    if (!another)
        return browser.name;
    return browser.name + (browser.packaging == Packaging::flatpak ? " (Flatpak)" : " (Snap)");
}

std::vector<fs::path> profileRoots(const Browser& browser)
{
    std::vector<fs::path> roots;
    for (const std::string& root : browser.profileRoots) {
        if (root.starts_with("~/"))
            roots.push_back(home() / root.substr(2));
        else if (root.starts_with("$CONFIG/"))
            roots.push_back(configHome() / root.substr(std::string("$CONFIG/").size()));
        else
            roots.push_back(root);
    }
    return roots;
}

fs::path userDataFolder(const Browser& browser)
{
    return profileRoots(browser).front();
}

const Browser& target(std::string_view preferredId)
{
    if (const Browser* preferred = byId(preferredId))
        return *preferred;
    for (const auto& browser : all()) {
        if (isInstalled(browser))
            return browser;
    }
    return all().front();
}

} // namespace corvane::Browsers
