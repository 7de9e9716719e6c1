#pragma once

#include <optional>
#include <string>
#include <string_view>

// Byte-level text helpers shared by the routing core. Strings are UTF-8.
namespace corvane::Text {

// Trims Unicode white space and line breaks (Zs, Zl, Zp, U+0009...U+000D, U+0085)
// at both ends. Bytes that are not valid UTF-8 count as ordinary characters.
std::string_view trim(std::string_view text);

// ASCII-only lower-casing: hosts and schemes that survive parsing are ASCII.
std::string lower(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// Decodes every "%XX"; absent when an escape is malformed or the result is not UTF-8.
std::optional<std::string> percentDecode(std::string_view text);
// Decodes well-formed "%XX" escapes and keeps anything else as written.
std::string percentDecodeLenient(std::string_view text);

// The value of one hexadecimal digit, or -1.
int hexValue(char c);

bool isValidUtf8(std::string_view text);
// Whether the text holds a character of general category Cc or Cf.
// Invalid UTF-8 also answers true: such text cannot be a link.
bool hasControlOrFormat(std::string_view text);

} // namespace corvane::Text
