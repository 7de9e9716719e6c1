// corvane-route: the routing core from a terminal, for people who write rules
// and for scripts.

#include "route_tool.h"

#include "app/unwrap_resolver.h"
#include "core/config_file.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

using namespace corvane;

namespace {

constexpr const char* usage = R"(Usage: corvane-route [OPTIONS] [URL ...]

Routes each link against the rules of a settings file and prints one line of
JSON per link: {"input", "url", "profile", "reason"}, or {"input", "error"}
when the link is refused. Without URL arguments, links are read from standard
input, one per line.

Options:
  --settings FILE  the settings file (default: $XDG_CONFIG_HOME/corvane/settings.json)
  --typed          treat each input as text typed into the link test field
  --unwrap         take the real link out of known redirect pages first
  --follow         also resolve known trackers and shorteners over the network
  --check          only load and validate the settings file
  --help           show this help
  --version        show the version

Exit status: 0 every link routed, 1 at least one refused, 2 settings unusable.
)";

std::filesystem::path defaultSettings()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "corvane" / "settings.json";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / ".config" / "corvane" / "settings.json";
}

// Resolving needs Qt's event loop; each link waits for its own answer so the
// output keeps input order.
std::string followLink(const std::string& text)
{
    const auto url = Url::parse(text);
    if (!url)
        return text;
    std::string result = text;
    QEventLoop loop;
    Unwrap::resolve(*url, &loop, [&](const Url& resolved) {
        result = resolved.absoluteString();
        loop.quit();
    });
    loop.exec();
    return result;
}

int fail(const std::string& message)
{
    std::cerr << "corvane-route: " << message << '\n';
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::filesystem::path settings = defaultSettings();
    RouteOptions options;
    bool check = false;
    std::vector<std::string> links;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            links.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--settings") {
            if (++i >= argc)
                return fail("--settings needs a file");
            settings = argv[i];
        } else if (arg.rfind("--settings=", 0) == 0) {
            settings = arg.substr(11);
        } else if (arg == "--typed") {
            options.typed = true;
        } else if (arg == "--unwrap") {
            options.unwrap = true;
        } else if (arg == "--follow") {
            options.unwrap = options.follow = true;
        } else if (arg == "--check") {
            check = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        } else if (arg == "--version") {
            std::cout << "corvane-route " << CORVANE_VERSION << '\n';
            return 0;
        } else {
            return fail("unknown option " + arg + " (see --help)");
        }
    }

    Configuration config;
    try {
        config = ConfigFile::load(settings);
    } catch (const std::exception& error) {
        return fail(settings.string() + ": " + error.what());
    }
    if (check) {
        std::cout << "OK: " << config.rules.size() << " rules\n";
        return 0;
    }

    // Checked once: the rules do not change while the links stream through.
    const RuleSet rules(config);
    std::optional<QCoreApplication> app;
    Follower follower;
    if (options.follow) {
        app.emplace(argc, argv);
        follower = followLink;
    }

    bool anyRefused = false;
    const auto route = [&](const std::string& input) {
        bool refused = false;
        std::cout << routeLine(input, rules, options, follower, refused) << '\n';
        anyRefused = anyRefused || refused;
    };
    if (!links.empty()) {
        for (const auto& link : links)
            route(link);
    } else {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            route(line);
        }
    }
    std::cout.flush();
    return anyRefused ? 1 : 0;
}
