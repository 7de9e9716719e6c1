#pragma once

#include <string>

// Where the running Corvane listens, decided the same way by the launcher the
// desktop starts and by the application: $XDG_RUNTIME_DIR when it is a folder
// of this user's that nobody else may change, else a folder of our own under
// $XDG_CACHE_HOME (~/.cache). Never a predictable name in /tmp, where another
// user could put a socket of theirs first and receive the links.
namespace corvane::IntakeFolder {

struct Environment {
    std::string runtimeDir; // $XDG_RUNTIME_DIR
    std::string cacheHome;  // $XDG_CACHE_HOME
    std::string home;       // $HOME
};

Environment fromProcess();

// The folder for this environment, created when it is the fallback; empty
// when none can be had (the application then runs on its own).
std::string choose(const Environment& environment);
inline std::string choose()
{
    return choose(fromProcess());
}

// A folder only this user can change.
bool isPrivate(const std::string& path);
// Creates `path` (and its parents) as needed and makes sure only this user
// can change it; false when it belongs to someone else or is no folder.
bool makePrivate(const std::string& path);

// The socket in `folder`; empty when the path would not fit a socket address.
std::string socketPath(const std::string& folder);
// The socket where the browser extension's host reaches the running Corvane;
// empty when the path would not fit.
std::string tabsSocketPath(const std::string& folder);

} // namespace corvane::IntakeFolder

namespace corvane {

// Held by a starting application from its hand-off attempt until it listens,
// so two processes started together never both become the running one. An
// advisory lock on a file in the intake folder: it goes with its process, so
// a crash leaves nothing behind.
class StartupLock {
public:
    StartupLock() = default;
    ~StartupLock() { release(); }
    StartupLock(const StartupLock&) = delete;
    StartupLock& operator=(const StartupLock&) = delete;

    // Waits up to `waitMs` for the lock in `folder`.
    bool acquire(const std::string& folder, int waitMs);
    void release();
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace corvane
