#include "bridge_tool.h"

#include "browser_launch.h"
#include "profile_choices.h"
#include "platform/linux/browsers.h"
#include "platform/process/child_group.h"
#include "tool_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
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

// Whether a live process holds the profile's lock ("host:+pid").
bool profileInUse(const fs::path& folder)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(folder / "lock", ec);
    if (ec)
        return false;
    const std::string text = target.string();
    const std::size_t plus = text.rfind('+');
    const long pid = plus == std::string::npos ? 0 : std::atol(text.c_str() + plus + 1);
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

void listProfiles(const Browsers::Browser& browser, std::ostream& out)
{
    json names = json::array();
    for (const Choice& choice : choicesOf(browser))
        names.push_back(choice.name);
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

std::string failure(const std::string& name, const Launch& launch)
{
    if (!launch.lastErrorLine.empty())
        return launch.lastErrorLine;
    if (launch.signalled)
        return name + " was ended by signal " + std::to_string(launch.status) + ".";
    return name + " exited with status " + std::to_string(launch.status) + ".";
}

void route(const Browsers::Browser& browser, const Browsers::Launcher& launcher, const Request& request,
           std::ostream& out)
{
    const std::string& name = field(request, "profile");
    const std::string& url = field(request, "url");
    // Anything else could reach the browser as a command-line switch.
    if (!isWebLink(url))
        throw ToolError("Only http and https links can be opened.");

    const std::string browserName = Browsers::displayName(browser);
    const std::vector<Choice> choices = choicesOf(browser);
    const auto choice =
        std::find_if(choices.begin(), choices.end(), [&](const Choice& c) { return c.name == name; });
    if (choice == choices.end())
        throw ToolError(browserName + " has no profile named \"" + name + "\".");
    // Given a folder that is gone, Firefox would make a new, empty profile there.
    std::error_code ec;
    if (choice->folder && !fs::is_directory(*choice->folder, ec))
        throw ToolError(browserName + "'s profile \"" + name + "\" has no folder " +
                        choice->folder->string() + ".");

    std::vector<std::string> arguments = launcher.arguments;
    arguments.insert(arguments.end(), choice->arguments.begin(), choice->arguments.end());
    arguments.push_back(url);
    // A launch for a profile that is already running can only hand the link
    // over and exit; one that lingers is stuck (a running browser that does
    // not answer shows a dialog instead), and nothing was opened.
    const bool inUse = choice->lockFolder && profileInUse(*choice->lockFolder);
    std::string error;
    const auto launch =
        launchAndWait(launcher.program, arguments, inUse ? handOverMs() : browserGraceMs, error);
    if (!launch)
        throw ToolError(browserName + " could not be started: " + error + ".");
    if (inUse && launch->outcome == Launch::Outcome::becameBrowser) {
        ChildGroup::signal(launch->pid, SIGTERM);
        throw ToolError(browserName + " is running this profile but did not take the link.");
    }
    // The link is open only once the browser took it; a browser that gave up
    // leaves it waiting, with the browser's own reason.
    if (launch->outcome == Launch::Outcome::failed)
        throw ToolError(failure(browserName, *launch));
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
        const auto launcher = Browsers::findLauncher(browser);
        if (!launcher)
            throw ToolError(Browsers::displayName(browser) + " is not installed.");

        if (action == "profiles")
            listProfiles(browser, out);
        else
            route(browser, *launcher, request, out);
        out.flush();
        return out ? 0 : 1;
    } catch (const ToolError& error) {
        err << error.what() << '\n';
        return 1;
    }
}

} // namespace corvane::BridgeTool
