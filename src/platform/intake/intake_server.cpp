#include "intake_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

struct Client {
    int fd;
    std::string buffer;
    Clock::time_point deadline;
};

// Short answers on a fresh connection always fit the socket's buffer; a peer
// that has gone is simply dropped.
void sendShort(int fd, std::string_view bytes)
{
    [[maybe_unused]] const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

std::unique_ptr<IntakeServer> IntakeServer::start(const std::string& path, Receiver receiver, Limits limits)
{
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return nullptr;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return nullptr;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    const auto fail = [&] {
        ::close(fd);
        ::close(wake[0]);
        ::close(wake[1]);
        return nullptr;
    };
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 128) != 0)
        return fail();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return fail();

    std::unique_ptr<IntakeServer> server(
        new IntakeServer(path, fd, wake[0], wake[1], std::move(receiver), limits));
    server->m_device = info.st_dev;
    server->m_inode = info.st_ino;
    server->m_thread = std::thread([raw = server.get()] { raw->run(); });
    return server;
}

IntakeServer::IntakeServer(std::string path, int listening, int wakeRead, int wakeWrite, Receiver receiver,
                           Limits limits)
    : m_path(std::move(path)), m_listening(listening), m_wakeRead(wakeRead), m_wakeWrite(wakeWrite),
      m_receiver(std::move(receiver)), m_limits(limits)
{
}

IntakeServer::~IntakeServer()
{
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &stop, 1);
    if (m_thread.joinable())
        m_thread.join();
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(m_path.c_str());
    ::close(m_listening);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

void IntakeServer::run()
{
    std::vector<Client> clients;
    std::vector<pollfd> polled;
    const auto drop = [&](std::size_t index) {
        ::close(clients[index].fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(index));
    };

    // Out of descriptors, accepting fails while the connection stays queued:
    // new ones wait a little instead of spinning this thread.
    Clock::time_point acceptPausedUntil;
    for (;;) {
        const auto now = Clock::now();
        const bool accepting = now >= acceptPausedUntil;
        polled.assign({{m_wakeRead, POLLIN, 0}, {accepting ? m_listening : -1, POLLIN, 0}});
        int timeoutMs = accepting ? -1 : 100;
        for (const Client& client : clients) {
            polled.push_back({client.fd, POLLIN, 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(client.deadline - now).count() + 1;
            timeoutMs = timeoutMs < 0 ? int(std::max<long long>(left, 0))
                                      : std::min(timeoutMs, int(std::max<long long>(left, 0)));
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR)
            break;
        if (polled[0].revents != 0)
            break;

        // Clients first, oldest connection first: their slots in `polled`
        // follow the order of `clients`, which is the order they were
        // accepted in, so messages ready in the same turn go on in that order.
        std::vector<bool> done(clients.size(), false);
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& client = clients[i];
            const short events = polled[i + 2].revents;
            if (events == 0) {
                done[i] = Clock::now() >= client.deadline;
                continue;
            }
            char buffer[65536];
            const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0) {
                done[i] = true; // gone before its message was complete: nothing happened
                continue;
            }
            client.buffer.append(buffer, static_cast<std::size_t>(n));
            IntakeProtocol::Decoded decoded = IntakeProtocol::decode(client.buffer);
            if (decoded.status == IntakeProtocol::Status::incomplete)
                continue;
            if (decoded.status == IntakeProtocol::Status::complete) {
                m_receiver(std::move(decoded.message));
                sendShort(client.fd, IntakeProtocol::acknowledgement());
            }
            done[i] = true;
        }
        for (std::size_t i = clients.size(); i-- > 0;) {
            if (done[i])
                drop(i);
        }

        if (polled[1].revents != 0) {
            for (;;) {
                const int fd = ::accept4(m_listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0) {
                    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                        acceptPausedUntil = Clock::now() + std::chrono::milliseconds(100);
                    break;
                }
                if (clients.size() >= m_limits.maxConnections) {
                    ::close(fd);
                    continue;
                }
                sendShort(fd, IntakeProtocol::greeting());
                clients.push_back({fd, {}, Clock::now() + std::chrono::milliseconds(m_limits.idleMs)});
            }
        }
    }
    for (const Client& client : clients)
        ::close(client.fd);
}

} // namespace corvane
