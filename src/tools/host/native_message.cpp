#include "native_message.h"

#include <cstdint>
#include <cstring>

namespace corvane::NativeMessage {

std::string frame(std::string_view body)
{
    const auto length = static_cast<std::uint32_t>(body.size());
    std::string out(sizeof length, '\0');
    std::memcpy(out.data(), &length, sizeof length);
    out.append(body);
    return out;
}

Read next(std::string_view buffer)
{
    std::uint32_t length = 0;
    if (buffer.size() < sizeof length)
        return {};
    std::memcpy(&length, buffer.data(), sizeof length);
    if (length > maxBytes)
        return {Status::oversize, {}, 0};
    if (buffer.size() - sizeof length < length)
        return {};
    return {Status::complete, std::string(buffer.substr(sizeof length, length)), sizeof length + length};
}

} // namespace corvane::NativeMessage
