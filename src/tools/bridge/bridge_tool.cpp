#include "bridge_tool.h"

#include "browser_launch.h"
#include "local_state.h"
#include "platform/linux/browsers.h"
#include "tool_error.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unistd.h>

namespace corvane::BridgeTool {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using Request = std::map<std::string, std::string>;

struct Invocation {
    std::optional<std::string> browserId;
    std::string request;
};

Invocation parseArguments(const std::vector<std::string>& arguments)
{
    Invocation invocation;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--browser" && i + 1 < arguments.size())
            invocation.browserId = arguments[++i];
        else if (argument.starts_with("--browser="))
            invocation.browserId = argument.substr(std::strlen("--browser="));
        else
            rest.push_back(argument);
    }
    if (rest.size() != 1)
        throw ToolError("Usage: corvane-bridge [--browser ID] REQUEST_JSON");
    invocation.request = rest.front();
    return invocation;
}

Request parseRequest(const std::string& text)
{
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        throw ToolError("The request is not a JSON object of strings.");
    Request request;
    for (const auto& [key, value] : document.items()) {
        if (!value.is_string())
            throw ToolError("The request is not a JSON object of strings.");
        request.emplace(key, value.get<std::string>());
    }
    return request;
}

const std::string& field(const Request& request, const std::string& key)
{
    const auto it = request.find(key);
    if (it == request.end())
        throw ToolError("The request has no \"" + key + "\".");
    return it->second;
}

const Browsers::Browser& chooseBrowser(const std::optional<std::string>& id)
{
    if (!id)
        return Browsers::target();
    if (const Browsers::Browser* browser = Browsers::byId(*id))
        return *browser;
    std::string known;
    for (const auto& browser : Browsers::all())
        known += (known.empty() ? "" : ", ") + browser.id;
    throw ToolError("Unknown browser \"" + *id + "\"; use one of " + known + ".");
}

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

std::vector<Profile> profilesOf(const Browsers::Browser& browser)
{
    const fs::path file = Browsers::userDataFolder(browser) / "Local State";
    const std::string openOnce =
        "Open " + browser.displayName + " once so it creates its profiles, then refresh.";
    std::error_code ec;
    if (!fs::exists(file, ec))
        throw ToolError(openOnce);
    std::string reason;
    const auto text = readFile(file, reason);
    if (!text)
        throw ToolError("Cannot read " + browser.displayName + "'s profile list " + file.string() + ": " +
                        reason + ".");
    return readProfiles(*text, browser.displayName + "'s profile list " + file.string() + " is malformed.",
                        openOnce);
}

void listProfiles(const Browsers::Browser& browser, std::ostream& out)
{
    json names = json::array();
    for (const Profile& profile : profilesOf(browser))
        names.push_back(profile.name);
    out << names.dump() << '\n';
}

bool isWebLink(const std::string& url)
{
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string head = lower(url.substr(0, 8));
    return head.starts_with("http://") || head.starts_with("https://");
}

std::string failure(const Browsers::Browser& browser, const Launch& launch)
{
    if (!launch.lastErrorLine.empty())
        return launch.lastErrorLine;
    if (launch.signalled)
        return browser.displayName + " was ended by signal " + std::to_string(launch.status) + ".";
    return browser.displayName + " exited with status " + std::to_string(launch.status) + ".";
}

void route(const Browsers::Browser& browser, const fs::path& executable, const Request& request,
           std::ostream& out)
{
    const std::string& name = field(request, "profile");
    const std::string& url = field(request, "url");
    // Anything else could reach the browser as a command-line switch.
    if (!isWebLink(url))
        throw ToolError("Only http and https links can be opened.");

    // A name given as a directory would silently create a new, empty profile.
    std::optional<std::string> directory;
    for (const Profile& profile : profilesOf(browser)) {
        if (profile.name == name) {
            directory = profile.directory;
            break;
        }
    }
    if (!directory)
        throw ToolError(browser.displayName + " has no profile named \"" + name + "\".");

    std::string error;
    const auto launch =
        launchAndWait(executable, {"--profile-directory=" + *directory, url}, browserGraceMs, error);
    if (!launch)
        throw ToolError(browser.displayName + " could not be started: " + error + ".");
    // The link is open only once the browser took it; a browser that gave up
    // leaves it waiting, with the browser's own reason.
    if (launch->outcome == Launch::Outcome::failed)
        throw ToolError(failure(browser, *launch));
    // Switching to an already open tab cannot be done from outside the browser here.
    out << json{{"reused", false}}.dump() << '\n';
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    try {
        const Invocation invocation = parseArguments(arguments);
        const Request request = parseRequest(invocation.request);
        const std::string& action = field(request, "action");
        if (action != "profiles" && action != "route")
            throw ToolError("Unknown action \"" + action + "\".");

        const Browsers::Browser& browser = chooseBrowser(invocation.browserId);
        const auto executable = Browsers::findExecutable(browser);
        if (!executable)
            throw ToolError(browser.displayName + " is not installed.");

        if (action == "profiles")
            listProfiles(browser, out);
        else
            route(browser, *executable, request, out);
        out.flush();
        return out ? 0 : 1;
    } catch (const ToolError& error) {
        err << error.what() << '\n';
        return 1;
    }
}

} // namespace corvane::BridgeTool
