#include "intake_folder.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace corvane::IntakeFolder {

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool isAbsolute(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

} // namespace

Environment fromProcess()
{
    return {variable("XDG_RUNTIME_DIR"), variable("XDG_CACHE_HOME"), variable("HOME")};
}

bool isPrivate(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool makePrivate(const std::string& path)
{
    if (!isAbsolute(path))
        return false;
    // Parents as `mkdir -p` makes them; only the last folder has to be ours alone.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

std::string choose(const Environment& environment)
{
    if (isAbsolute(environment.runtimeDir) && isPrivate(environment.runtimeDir))
        return environment.runtimeDir;
    std::string cache = environment.cacheHome;
    if (!isAbsolute(cache))
        cache = isAbsolute(environment.home) ? environment.home + "/.cache" : "";
    if (cache.empty())
        return {};
    const std::string own = cache + "/corvane/run";
    return makePrivate(own) ? own : std::string();
}

namespace {

std::string socketIn(const std::string& folder, const char* name)
{
    if (folder.empty())
        return {};
    std::string path = folder + "/" + name;
    return path.size() < sizeof(sockaddr_un{}.sun_path) ? path : std::string();
}

} // namespace

std::string socketPath(const std::string& folder)
{
    return socketIn(folder, "corvane.sock");
}

std::string tabsSocketPath(const std::string& folder)
{
    return socketIn(folder, "corvane-tabs.sock");
}

} // namespace corvane::IntakeFolder

namespace corvane {

bool StartupLock::acquire(const std::string& folder, int waitMs)
{
    if (held())
        return true;
    const std::string path = folder + "/corvane.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return true;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void StartupLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the only descriptor releases the lock
        m_fd = -1;
    }
}

} // namespace corvane
