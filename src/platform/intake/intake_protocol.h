#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a later `corvane` process and the running one say to each other over
// the intake socket:
//   running -> later:   greeting()
//   later   -> running: one message (below)
//   running -> later:   acknowledgement(), then the running side closes
// The later process sends nothing before the greeting, so a running process
// that has stopped answering never receives links it might act on later.
//
// A message is a big-endian 32-bit length and that many bytes of body; the
// body is a count of links, each link, then the two activation tokens, every
// one a big-endian 32-bit length and its bytes. No links means "reopen".
//
// Plain C++, so the launcher the desktop starts needs no Qt to speak it.
namespace corvane::IntakeProtocol {

// One message, whatever it holds: larger ones are refused before they are read.
// A link may take all of it: whether it is one that can be opened is for the
// router to say, with its own message, not for the intake to drop unheard.
inline constexpr std::size_t maxMessageBytes = 4 * 1024 * 1024;
inline constexpr std::size_t maxTokenBytes = 4096;

struct Message {
    std::vector<std::string> links;
    std::string startupId;       // DESKTOP_STARTUP_ID of the launching process (X11)
    std::string activationToken; // XDG_ACTIVATION_TOKEN of the launching process (Wayland)
    bool operator==(const Message&) const = default;
};

std::string_view greeting();
std::string_view acknowledgement();

// None when the message breaks one of the limits above.
std::optional<std::string> encode(const Message& message);

enum class Status { incomplete, complete, malformed };

struct Decoded {
    Status status = Status::incomplete;
    Message message;      // when complete
    std::size_t size = 0; // bytes of `buffer` the message took, when complete
};

// Reads one message from the start of `buffer`, which may hold only part of
// it so far. A length beyond the limits is malformed as soon as it is seen.
Decoded decode(std::string_view buffer);

} // namespace corvane::IntakeProtocol
