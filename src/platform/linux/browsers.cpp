#include "browsers.h"

#include <cstdlib>
#include <unistd.h>

namespace corvane::Browsers {

namespace fs = std::filesystem;

const std::vector<Browser>& all()
{
    static const std::vector<Browser> table{
        {"chromium", "Chromium", {"chromium", "chromium-browser"}, "chromium", "chrome://extensions"},
        {"google-chrome",
         "Google Chrome",
         {"google-chrome", "google-chrome-stable"},
         "google-chrome",
         "chrome://extensions"},
        {"brave", "Brave", {"brave-browser", "brave"}, "BraveSoftware/Brave-Browser", "brave://extensions"},
        {"vivaldi", "Vivaldi", {"vivaldi", "vivaldi-stable"}, "vivaldi", "vivaldi://extensions"},
        {"microsoft-edge",
         "Microsoft Edge",
         {"microsoft-edge", "microsoft-edge-stable"},
         "microsoft-edge",
         "edge://extensions"},
    };
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

std::optional<fs::path> findExecutable(const Browser& browser)
{
    const char* pathEnv = std::getenv("PATH");
    const std::string searchPath = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
    for (const auto& name : browser.executables) {
        std::size_t start = 0;
        while (start <= searchPath.size()) {
            std::size_t end = searchPath.find(':', start);
            if (end == std::string::npos)
                end = searchPath.size();
            const std::string dir = searchPath.substr(start, end - start);
            const fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
            std::error_code ec;
            if (fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            start = end + 1;
        }
    }
    return std::nullopt;
}

bool isInstalled(const Browser& browser)
{
    return findExecutable(browser).has_value();
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

fs::path userDataFolder(const Browser& browser)
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home ? home : "") / ".config";
    }
    return base / browser.configFolder;
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
