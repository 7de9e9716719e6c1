#include "child_group.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

namespace corvane::ChildGroup {

namespace {

// Owns the spawn attributes and file actions for one start.
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

    void stream(int target, int given, int nullMode)
    {
        if (given >= 0)
            posix_spawn_file_actions_adddup2(&files, given, target);
        else
            posix_spawn_file_actions_addopen(&files, target, "/dev/null", nullMode, 0);
    }
};

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& entry : strings)
        result.push_back(entry.data());
    result.push_back(nullptr);
    return result;
}

} // namespace

void lead()
{
    ::setpgid(0, 0);
}

void signal(long leader, int signal)
{
    if (leader > 0)
        ::kill(-static_cast<pid_t>(leader), signal);
}

std::optional<int> Deadline::expire(long leader)
{
    if (!m_terminated) {
        m_terminated = true;
        signal(leader, SIGTERM);
        return m_graceMs;
    }
    signal(leader, SIGKILL);
    return std::nullopt;
}

std::optional<long> spawnInOwnSession(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& environment, const Streams& streams,
                                      std::string& error)
{
    SpawnSetup setup;
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    setup.stream(0, streams.input, O_RDONLY);
    setup.stream(1, streams.output, O_WRONLY);
    setup.stream(2, streams.error, O_WRONLY);

    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envStrings = environment;
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);

    pid_t pid = 0;
    // glibc reports a failed exec here, before returning, so the caller learns of it.
    const int failure =
        posix_spawn(&pid, program.c_str(), &setup.files, &setup.attributes, argv.data(), envp.data());
    if (failure != 0) {
        error = std::strerror(failure);
        return std::nullopt;
    }
    return pid;
}

} // namespace corvane::ChildGroup
