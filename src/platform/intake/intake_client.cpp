#include "intake_client.h"

#include "intake_protocol.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace corvane::IntakeClient {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class Socket {
public:
    Socket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

enum class Connected { yes, nobody };

// A listening socket whose queue is full belongs to a process that accepts
// nothing; it is retried until the greeting time is over.
Connected connectTo(int fd, const std::string& path, Clock::time_point deadline)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return Connected::yes;
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t size = sizeof error;
            if (!waitFor(fd, POLLOUT, deadline) ||
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
                return Connected::nobody;
            return Connected::yes;
        }
        if (errno != EAGAIN || remainingMs(deadline) == 0)
            return Connected::nobody;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

enum class Read { ok, closed, timedOut };

// Reads exactly `size` bytes.
Read readExactly(int fd, std::string& out, std::size_t size, Clock::time_point deadline)
{
    out.clear();
    char buffer[64];
    while (out.size() < size) {
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, size - out.size()), 0);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return Read::closed;
        } else if (errno == EAGAIN || errno == EINTR) {
            if (!waitFor(fd, POLLIN, deadline))
                return Read::timedOut;
        } else {
            return Read::closed;
        }
    }
    return Read::ok;
}

enum class Wrote { ok, closed, timedOut };

Wrote writeAll(int fd, std::string_view bytes, Clock::time_point deadline)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, deadline))
                return Wrote::timedOut;
        } else {
            return Wrote::closed;
        }
    }
    return Wrote::ok;
}

} // namespace

Outcome handOff(const std::string& socketPath, const std::string& message, const Times& times,
                const std::function<void()>& onGreeted)
{
    if (socketPath.empty())
        return Outcome::nobody;
    const auto greetingDeadline = Clock::now() + std::chrono::milliseconds(times.greetingMs);
    const std::string_view greeting = IntakeProtocol::greeting();
    std::optional<Socket> socket;
    std::string received;
    for (;;) {
        socket.emplace();
        if (socket->fd() < 0 || connectTo(socket->fd(), socketPath, greetingDeadline) == Connected::nobody)
            return Outcome::nobody;
        const Read read = readExactly(socket->fd(), received, greeting.size(), greetingDeadline);
        if (read == Read::ok)
            break;
        if (!received.empty())
            return Outcome::stranger;
        if (read == Read::timedOut)
            return Outcome::nobody; // it accepts and never greets: stuck
        // Closed at once: a live process with no room for another connection
        // right now. It is busy, not gone, so it is asked again.
        if (remainingMs(greetingDeadline) == 0)
            return Outcome::refused;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (received != greeting)
        return Outcome::stranger;
    if (onGreeted)
        onGreeted();

    const auto answerDeadline = Clock::now() + std::chrono::milliseconds(times.answerMs);
    switch (writeAll(socket->fd(), message, answerDeadline)) {
    case Wrote::ok:
        break;
    case Wrote::closed:
        return Outcome::refused;
    case Wrote::timedOut:
        return Outcome::noAnswer;
    }
    const std::string_view ack = IntakeProtocol::acknowledgement();
    switch (readExactly(socket->fd(), received, ack.size(), answerDeadline)) {
    case Read::ok:
        return received == ack ? Outcome::handed : Outcome::refused;
    case Read::closed:
        return Outcome::refused;
    case Read::timedOut:
        return Outcome::noAnswer;
    }
    return Outcome::noAnswer;
}

std::string explain(Outcome outcome)
{
    switch (outcome) {
    case Outcome::handed:
    case Outcome::nobody:
        return {};
    case Outcome::refused:
        return "The running Corvane refused the links.";
    case Outcome::noAnswer:
        return "The running Corvane did not confirm the links in time; it may still open them.";
    case Outcome::stranger:
        return "Another program answers on Corvane's socket; the links were not sent.";
    }
    return {};
}

} // namespace corvane::IntakeClient
