// corvane: what the desktop starts for every link. Hands the links to the
// running Corvane and exits; only when none runs does it become the
// application itself (corvane-app beside it). Loads no Qt: this is the path
// every click takes.

#include "local_file.h"
#include "platform/intake/intake_client.h"
#include "platform/intake/intake_folder.h"
#include "platform/intake/intake_protocol.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace corvane;

constexpr const char* usage = R"(Usage: corvane [URL or FILE ...]
       corvane --update-now
       corvane --render-previews FOLDER

Opens each link in the browser profile that Corvane's rules choose. The first
corvane keeps running in the tray; a later one hands its links, or a request
to show the window, to it and exits. A file becomes a file: link.

Options:
  --update-now              check for a newer version at once and install it
  --render-previews FOLDER  draw pictures of every page into FOLDER and exit
  --help                    show this help
  --version                 show the version

See corvane(1) for the files it reads and writes.
)";

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void complain(const std::string& message)
{
    std::fprintf(stderr, "corvane: %s\n", message.c_str());
}

std::string applicationPath()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "corvane-app";
}

// Becomes the application, in this very process: the desktop's startup
// notification and the environment (its tokens too) stay as they are.
[[noreturn]] void becomeApplication(const std::vector<std::string>& arguments)
{
    const std::string program = applicationPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    complain("cannot start " + program + ": " + std::strerror(errno));
    std::exit(127);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // Answered here, without starting the application or reaching a running one.
    for (const std::string& argument : arguments) {
        if (argument == "--version") {
            std::printf("corvane %s\n", CORVANE_VERSION);
            return 0;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    // The other options are the application's own (--render-previews,
    // --update-now): they never go to a running process.
    for (const std::string& argument : arguments) {
        if (argument.starts_with("--"))
            becomeApplication(arguments);
    }

    IntakeProtocol::Message message;
    message.startupId = variable("DESKTOP_STARTUP_ID");
    message.activationToken = variable("XDG_ACTIVATION_TOKEN");
    // A token no desktop makes: the links matter more than the focus.
    for (std::string* token : {&message.startupId, &message.activationToken}) {
        if (token->size() > IntakeProtocol::maxTokenBytes)
            token->clear();
    }
    const std::string here = LocalFile::workingFolder();
    std::vector<std::string> links;
    for (const std::string& argument : arguments)
        links.push_back(LocalFile::toLink(argument, here));
    // All of them, however long: the running Corvane refuses what it cannot
    // open with its own message, where the person sees it.
    message.links = links;

    const std::optional<std::string> encoded = IntakeProtocol::encode(message);
    const std::string socket = IntakeFolder::socketPath(IntakeFolder::choose());
    if (!encoded || socket.empty())
        becomeApplication(links);
    const IntakeClient::Outcome outcome = IntakeClient::handOff(socket, *encoded, {});
    if (outcome == IntakeClient::Outcome::handed)
        return 0;
    if (outcome == IntakeClient::Outcome::nobody)
        becomeApplication(links);
    complain(IntakeClient::explain(outcome));
    return 1;
}
