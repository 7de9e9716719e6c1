#include "detached_launch.h"

#include "platform/linux/launch_environment.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

extern char** environ;

namespace corvane::BridgeTool {

namespace {

// Owns the spawn attributes and file actions for one launch.
struct SpawnSetup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t files;
    SpawnSetup()
    {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&files);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

std::string launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    SpawnSetup setup;
    // Whatever the caller ignored or blocked (SIGPIPE, SIGTERM...) must not stick to the browser.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_addopen(&setup.files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.files, 2, "/dev/null", O_WRONLY, 0);

    const std::string path = program.string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // Whoever started us may run from a bundle whose loader and toolkit paths
    // would break the browser; the tokens we were given are for this launch.
    std::vector<std::string> inherited;
    for (char** entry = environ; *entry; ++entry)
        inherited.emplace_back(*entry);
    std::vector<std::string> kept = LaunchEnvironment::clean(inherited, true);
    std::vector<char*> envp;
    for (std::string& entry : kept)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    // glibc reports a failed exec here, before returning, so the caller learns of it.
    const int error =
        posix_spawn(&pid, path.c_str(), &setup.files, &setup.attributes, argv.data(), envp.data());
    return error == 0 ? std::string() : std::strerror(error);
}

} // namespace corvane::BridgeTool
