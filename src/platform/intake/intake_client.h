#pragma once

#include <functional>
#include <string>

// The later process's side of the intake: hands one encoded message to the
// running Corvane. Plain C++ and blocking: it runs before anything else.
namespace corvane::IntakeClient {

enum class Outcome {
    handed,   // the running process acknowledged the message
    nobody,   // no process listens, or one that never greeted: this one may take over
    refused,  // the running process greeted and then closed without an acknowledgement
    noAnswer, // the running process greeted and did not acknowledge in time
    stranger, // something else greeted: not ours to talk to or to replace
};

struct Times {
    // A process that has not greeted by then is stuck: it accepted nothing
    // and may be replaced.
    int greetingMs = 2000;
    // Once greeted, the running process is alive and only busy: it gets a
    // generous time for its acknowledgement and is never replaced.
    int answerMs = 30000;
};

// `onGreeted` runs once the running process has greeted, before the message
// is sent.
Outcome handOff(const std::string& socketPath, const std::string& message, const Times& times,
                const std::function<void()>& onGreeted = {});

// A sentence for standard error, for the outcomes that leave the links unsent.
std::string explain(Outcome outcome);

} // namespace corvane::IntakeClient
