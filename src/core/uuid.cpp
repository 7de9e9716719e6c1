#include "rules.h"
#include "text.h"

#include <random>

namespace corvane {
namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

bool isHyphenPosition(std::size_t i)
{
    return i == 8 || i == 13 || i == 18 || i == 23;
}

} // namespace

Uuid Uuid::random()
{
    // random_device reads the kernel's generator on Linux; one engine per
    // thread keeps the cost of opening it off every call.
    thread_local std::random_device device;
    Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes.size(); i += 4) {
        const unsigned int word = device();
        for (std::size_t j = 0; j < 4; ++j)
            uuid.bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
    }
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40); // version 4
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    Uuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = Text::hexValue(text[i]);
        const int low = Text::hexValue(text[i + 1]);
        if (high < 0 || low < 0 || isHyphenPosition(i + 1))
            return std::nullopt;
        uuid.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return uuid;
}

std::string Uuid::toString() const
{
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += hexDigits[bytes[i] >> 4];
        text += hexDigits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace corvane
