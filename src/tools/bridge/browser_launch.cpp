#include "browser_launch.h"

#include "platform/linux/launch_environment.h"
#include "platform/process/child_group.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace corvane::BridgeTool {

namespace {

using Clock = std::chrono::steady_clock;

// What we keep of a chatty browser's standard error: enough for its last line.
constexpr std::size_t keptErrorBytes = 65536;
constexpr std::size_t maxLineBytes = 500;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

bool validUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2)
                return false;
        }
        i += length;
    }
    return true;
}

// The last line with something on it, as one short line of text; empty when
// there is none or it is not text.
std::string lastLine(const std::string& errors)
{
    std::size_t end = errors.find_last_not_of(" \t\r\n");
    if (end == std::string::npos)
        return {};
    const std::size_t newline = errors.rfind('\n', end);
    const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
    std::string line = errors.substr(begin, end + 1 - begin);
    line.erase(0, line.find_first_not_of(" \t\r"));
    if (line.size() > maxLineBytes) {
        std::size_t cut = maxLineBytes;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) >> 6) == 0x2)
            --cut; // not inside a character
        line = line.substr(0, cut) + "\u2026";
    }
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return validUtf8(line) ? line : std::string();
}

// Reads what is there without waiting. False once every writer is gone.
bool readAvailable(int fd, std::string& into)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            if (into.size() > keptErrorBytes)
                into.erase(0, into.size() - keptErrorBytes);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// From here on a process of its own session reads the pipe to its end and
// discards it, so the browser (or what it left running) never blocks on a
// full pipe nor dies of SIGPIPE once we are gone. It ends with the last writer.
void handOver(Descriptor& pipe)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        for (int target = 0; target <= 2; ++target)
            ::dup2(null, target);
        int fd = pipe.get();
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        ::close_range(3, static_cast<unsigned>(fd) - 1, 0);
        ::close_range(static_cast<unsigned>(fd) + 1, ~0U, 0);
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                ::_exit(0);
        }
    }
    // Should the fork fail, closing is all that is left; a browser that
    // writes later would get EPIPE, which every real one shrugs off.
    pipe.reset();
}

Launch exited(int status, const std::string& errors)
{
    Launch launch;
    if (WIFEXITED(status)) {
        launch.status = WEXITSTATUS(status);
        launch.outcome = launch.status == 0 ? Launch::Outcome::handedOver : Launch::Outcome::failed;
    } else {
        launch.signalled = true;
        launch.status = WTERMSIG(status);
        launch.outcome = Launch::Outcome::failed;
    }
    if (launch.outcome == Launch::Outcome::failed)
        launch.lastErrorLine = lastLine(errors);
    return launch;
}

// Whether the child has exited, without waiting; its status then.
bool reaped(pid_t pid, int& status)
{
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno == EINTR)
            continue;
        return false;
    }
}

} // namespace

int handOverMs()
{
    const char* value = std::getenv("CORVANE_BRIDGE_HANDOVER_MS");
    const int given = value ? std::atoi(value) : 0;
    return given > 0 ? given : 15000;
}

std::optional<Launch> launchAndWait(const std::filesystem::path& program,
                                    const std::vector<std::string>& arguments, int graceMs,
                                    std::string& error)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);

    // Whoever started us may run from a bundle whose loader and toolkit paths
    // would break the browser; the tokens we were given are for this launch.
    std::vector<std::string> inherited;
    for (char** entry = environ; *entry; ++entry)
        inherited.emplace_back(*entry);
    ChildGroup::Streams streams;
    streams.error = writeEnd.get();
    const auto pid = ChildGroup::spawnInOwnSession(program.string(), arguments,
                                                   LaunchEnvironment::clean(inherited, true), streams, error);
    writeEnd.reset();
    if (!pid)
        return std::nullopt;
    ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);

    // Its exit wakes us at once through a process descriptor; on a kernel
    // without one we look every few milliseconds.
    Descriptor exitEvent(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(*pid), 0)));
    const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
    std::string errors;
    bool errorsOpen = true;
    int status = 0;
    for (;;) {
        if (reaped(static_cast<pid_t>(*pid), status)) {
            if (errorsOpen && readAvailable(readEnd.get(), errors))
                handOver(readEnd); // something it started still holds the pipe
            Launch launch = exited(status, errors);
            launch.pid = *pid;
            return launch;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd watched[2] = {{exitEvent.get(), POLLIN, 0}, {errorsOpen ? readEnd.get() : -1, POLLIN, 0}};
        const int wait =
            exitEvent.get() >= 0 ? static_cast<int>(left) : std::min<int>(static_cast<int>(left), 5);
        if (::poll(watched, 2, wait) < 0 && errno != EINTR)
            break;
        if (watched[1].revents != 0 && errorsOpen && !readAvailable(readEnd.get(), errors)) {
            errorsOpen = false; // every writer is gone; only the exit is left to wait for
            readEnd.reset();
        }
    }
    if (errorsOpen)
        handOver(readEnd);
    Launch launch;
    launch.outcome = Launch::Outcome::becameBrowser;
    launch.pid = *pid;
    return launch;
}

} // namespace corvane::BridgeTool
