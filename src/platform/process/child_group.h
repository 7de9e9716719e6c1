#pragma once

#include <optional>
#include <string>
#include <vector>

// How Corvane starts and gives up on the programs it runs, in one place for
// the application (Qt) and for the corvane-bridge helper (plain C++).
//
// Every child leads a process group of its own, so giving up on it reaches
// whatever it started too. Past its time-out the whole group gets SIGTERM,
// and SIGKILL a grace period later. A program meant to outlive us (the
// browser) gets a session of its own instead, so no group kill of ours ever
// reaches it.
namespace corvane::ChildGroup {

inline constexpr int defaultGraceMs = 2000;

// In the child, between fork and exec: lead a new process group.
void lead();
// Sends `signal` to every process of the group `leader` leads.
void signal(long leader, int signal);

// The time-out rule for one child: `expire` is called each time the current
// wait runs out, signals the group, and says how long to wait before the
// next call, or nothing once the group has been killed.
class Deadline {
public:
    Deadline(int timeoutMs, int graceMs) : m_timeoutMs(timeoutMs), m_graceMs(graceMs) {}
    int firstWaitMs() const { return m_timeoutMs; }
    std::optional<int> expire(long leader);
    // Whether SIGTERM went out: an exit after that is still a time-out.
    bool terminated() const { return m_terminated; }

private:
    int m_timeoutMs;
    int m_graceMs;
    bool m_terminated = false;
};

// What a spawned program's standard streams are: /dev/null, or the given
// descriptor.
struct Streams {
    int input = -1;
    int output = -1;
    int error = -1;
};

// Starts `program` (a full path) with `arguments` and the environment
// `environment` ("NAME=value") in a session of its own, with default signal
// handling and an empty signal mask whatever the caller ignored or blocked.
// The child's pid, or the system's reason in `error`.
std::optional<long> spawnInOwnSession(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::vector<std::string>& environment, const Streams& streams,
                                      std::string& error);

} // namespace corvane::ChildGroup
