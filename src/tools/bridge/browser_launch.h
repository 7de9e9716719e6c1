#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::BridgeTool {

// How long a browser we start may take to hand the link to its running
// instance and exit. One still running after this has become the browser
// itself.
inline constexpr int browserGraceMs = 2000;
// How long a launch may take to hand the link to a browser already running
// its profile: such a launch cannot become the browser, so it must exit.
// CORVANE_BRIDGE_HANDOVER_MS shortens it for tests.
int handOverMs();

struct Launch {
    enum class Outcome {
        handedOver,    // exited with status 0
        becameBrowser, // still running after the grace
        failed,        // exited with another status, or was ended by a signal
    };
    Outcome outcome = Outcome::handedOver;
    int status = 0;            // the exit status, or the signal's number
    bool signalled = false;    // ended by a signal
    std::string lastErrorLine; // its last line of standard error, when it was valid text
    long pid = 0;              // leads its own session and process group
};

// Starts `program` with `arguments` in a session of its own (so the group
// kill the application sends a stuck helper never reaches it), with our
// environment cleaned of loader and packaging variables, standard input and
// output on /dev/null and standard error read by us. Waits until it exits or
// `graceMs` have passed. A browser that goes on running never writes into a
// pipe nobody reads: whatever still holds its standard error then is read to
// its end by a small process of its own session, which discards it.
// None, with the system's reason in `error`, when it cannot be started.
std::optional<Launch> launchAndWait(const std::filesystem::path& program,
                                    const std::vector<std::string>& arguments, int graceMs,
                                    std::string& error);

} // namespace corvane::BridgeTool
