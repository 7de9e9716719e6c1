#include "host_tool.h"

#include "native_message.h"
#include "platform/intake/intake_folder.h"
#include "platform/linux/native_hosts.h"
#include "profile_identity.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace corvane::ExtensionHost {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

enum class Caller { chromium, firefox, none };

Caller callerOf(const std::vector<std::string>& arguments)
{
    // Chromium passes the extension's origin; Firefox the manifest's path and the add-on's id.
    const std::string origin = "chrome-extension://" + std::string(NativeHosts::chromiumExtensionId) + "/";
    if (!arguments.empty() && arguments[0] == origin)
        return Caller::chromium;
    if (arguments.size() >= 2 && arguments[1] == NativeHosts::firefoxExtensionId)
        return Caller::firefox;
    return Caller::none;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads what is there into `buffer`; false at the end or on an error.
bool readSome(int fd, std::string& buffer)
{
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
}

std::optional<json> object(const std::string& text)
{
    json value = json::parse(text, nullptr, false);
    if (value.is_discarded() || !value.is_object() || !value.contains("type") || !value["type"].is_string())
        return std::nullopt;
    return value;
}

int connectToCorvane()
{
    const std::string path = IntakeFolder::tabsSocketPath(IntakeFolder::choose());
    if (path.empty())
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A freshly made mark may take a moment to reach the profile's files.
std::optional<Identity> identify(Caller caller, const json& hello)
{
    if (caller == Caller::firefox) {
        const auto folder = firefoxProfileFolderOf(::getppid());
        return folder ? firefoxProfileAt(*folder) : std::nullopt;
    }
    const std::string token = hello.value("token", std::string());
    for (int attempt = 0; attempt < 12; ++attempt) {
        if (auto identity = chromiumProfileMarked(token))
            return identity;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return std::nullopt;
}

class Relay {
public:
    Relay(Caller caller, std::ostream& err) : m_caller(caller), m_err(err) {}

    int run()
    {
        for (;;) {
            pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_corvane, POLLIN, 0}};
            const bool waiting = m_identity && m_corvane < 0;
            const int ready = ::poll(fds, m_corvane < 0 ? 1 : 2, waiting ? retryMs : -1);
            if (ready < 0 && errno != EINTR)
                return fail("cannot wait for input: " + std::string(std::strerror(errno)));
            if (waiting && m_corvane < 0)
                reachCorvane();
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                if (!readSome(STDIN_FILENO, m_fromBrowser))
                    return 0; // the browser closed the port
                if (const int status = fromExtension(); status >= 0)
                    return status;
            }
            if (m_corvane >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                if (!readSome(m_corvane, m_fromCorvane))
                    return 0; // Corvane has gone; the extension comes back with a new host
                if (const int status = fromCorvane(); status >= 0)
                    return status;
            }
        }
    }

private:
    static constexpr int retryMs = 500;

    int fail(const std::string& why)
    {
        m_err << "corvane-extension-host: " << why << '\n';
        return 1;
    }

    void reachCorvane()
    {
        m_corvane = connectToCorvane();
        if (m_corvane < 0)
            return;
        const json hello{{"type", "hello"}, {"browser", m_identity->browserId}, {"profile", m_identity->profile}};
        if (!writeAll(m_corvane, hello.dump() + "\n")) {
            ::close(m_corvane);
            m_corvane = -1;
        }
    }

    // -1 to go on, else the exit status.
    int fromExtension()
    {
        for (;;) {
            const NativeMessage::Read read = NativeMessage::next(m_fromBrowser);
            if (read.status == NativeMessage::Status::oversize)
                return fail("a message from the extension is over " + std::to_string(NativeMessage::maxBytes) +
                            " bytes.");
            if (read.status == NativeMessage::Status::incomplete)
                return -1;
            m_fromBrowser.erase(0, read.size);
            const auto message = object(read.body);
            if (!message)
                return fail("a message from the extension is not a JSON object with a type.");
            if ((*message)["type"] == "hello") {
                if (m_identity)
                    continue;
                m_identity = identify(m_caller, *message);
                if (!m_identity)
                    return fail("cannot tell which browser profile the extension runs in.");
                reachCorvane();
                continue;
            }
            // An answer for a Corvane that has gone meanwhile has nobody to reach.
            if (m_corvane >= 0 && !writeAll(m_corvane, message->dump(-1, ' ', false, json::error_handler_t::replace) + "\n"))
                return 0;
        }
    }

    int fromCorvane()
    {
        for (;;) {
            const std::size_t end = m_fromCorvane.find('\n');
            if (end == std::string::npos) {
                if (m_fromCorvane.size() > NativeMessage::maxBytes)
                    return fail("a message from Corvane is over the bound.");
                return -1;
            }
            const std::string line = m_fromCorvane.substr(0, end);
            m_fromCorvane.erase(0, end + 1);
            const auto message = object(line);
            if (!message || line.size() > NativeMessage::maxBytes)
                return fail("a message from Corvane is not a JSON object with a type.");
            if (!writeAll(STDOUT_FILENO, NativeMessage::frame(message->dump(-1, ' ', false, json::error_handler_t::replace))))
                return 0;
        }
    }

    Caller m_caller;
    std::ostream& m_err;
    std::optional<Identity> m_identity;
    int m_corvane = -1;
    std::string m_fromBrowser;
    std::string m_fromCorvane;
};

fs::path ownProgram()
{
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec);
}

int manifests(bool install, std::ostream& err)
{
    const NativeHosts::Outcome outcome = install ? NativeHosts::install(ownProgram()) : NativeHosts::remove();
    if (!outcome.error.empty()) {
        err << outcome.error << '\n';
        return 1;
    }
    return 0;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& err)
{
    if (arguments.size() == 1 && arguments[0] == "--install-manifests")
        return manifests(true, err);
    if (arguments.size() == 1 && arguments[0] == "--remove-manifests")
        return manifests(false, err);
    const Caller caller = callerOf(arguments);
    if (caller == Caller::none) {
        err << "corvane-extension-host: only Corvane's own browser extension may start this host.\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN); // a closed peer is an error to read, not a death
    return Relay(caller, err).run();
}

} // namespace corvane::ExtensionHost
