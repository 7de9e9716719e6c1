// The intake message decoder, on whatever a local process sends the socket.
#include "platform/intake/intake_protocol.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const IntakeProtocol::Decoded decoded = IntakeProtocol::decode(bytes);
    if (decoded.status != IntakeProtocol::Status::complete)
        return 0;
    if (decoded.size < 4 || decoded.size > bytes.size() || decoded.size > 4 + IntakeProtocol::maxMessageBytes)
        std::abort();
    for (const auto& link : decoded.message.links) {
        if (link.size() > IntakeProtocol::maxMessageBytes)
            std::abort();
    }
    // One way to write each message: what was read is what it encodes to.
    const auto again = IntakeProtocol::encode(decoded.message);
    if (!again || *again != bytes.substr(0, decoded.size))
        std::abort();
    // A message that has not fully arrived yet is only ever incomplete.
    for (const std::size_t part : {decoded.size - 1, decoded.size / 2, std::size_t(3)}) {
        if (IntakeProtocol::decode(bytes.substr(0, part)).status != IntakeProtocol::Status::incomplete)
            std::abort();
    }
    return 0;
}
