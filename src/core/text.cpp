#include "text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace corvane::Text {
namespace {

constexpr char32_t invalid = 0xFFFFFFFF;

// Decodes one UTF-8 sequence starting at `pos`; returns `invalid` and length 1
// for a malformed, overlong or surrogate sequence.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return {invalid, 1};
    }
    if (pos + length > text.size())
        return {invalid, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80)
            return {invalid, 1};
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {invalid, 1};
    return {code, length};
}

bool isWhitespace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// General category Cf (Unicode 15).
constexpr std::array<std::pair<char32_t, char32_t>, 21> formatRanges{{
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
}};

bool isControlOrFormat(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return true;
    // Links are mostly ASCII, below every format range.
    if (c < formatRanges.front().first)
        return false;
    return std::any_of(formatRanges.begin(), formatRanges.end(),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string_view trim(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const auto [code, length] = decodeAt(text, begin);
        if (!isWhitespace(code))
            break;
        begin += length;
    }
    // Walk forward to find where the trailing run of white space starts, so
    // that a multi-byte character is never split.
    std::size_t end = begin;
    std::size_t pos = begin;
    while (pos < text.size()) {
        const auto [code, length] = decodeAt(text, pos);
        pos += length;
        if (!isWhitespace(code))
            end = pos;
    }
    return text.substr(begin, end - begin);
}

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerAscii);
    return result;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::string> percentDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!isValidUtf8(result))
        return std::nullopt;
    return result;
}

std::string percentDecodeLenient(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const auto [code, length] = decodeAt(text, pos);
        if (code == invalid)
            return false;
        pos += length;
    }
    return true;
}

bool hasControlOrFormat(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const auto [code, length] = decodeAt(text, pos);
        if (code == invalid || isControlOrFormat(code))
            return true;
        pos += length;
    }
    return false;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace corvane::Text
