#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The browsers' native-messaging framing: a 32-bit length in this machine's
// byte order, then that many bytes of JSON.
namespace corvane::NativeMessage {

// Ours are a few hundred bytes; anything this large is not from our extension.
inline constexpr std::size_t maxBytes = 64 * 1024;

std::string frame(std::string_view body);

enum class Status { incomplete, complete, oversize };

struct Read {
    Status status = Status::incomplete;
    std::string body;     // when complete
    std::size_t size = 0; // bytes of the buffer the frame took, when complete
};

// The first frame of `buffer`, which may hold only part of it so far. A
// length over maxBytes is refused as soon as it is seen.
Read next(std::string_view buffer);

} // namespace corvane::NativeMessage
