#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// The one refusal of the routing core. what() is the exact text the user sees.
class RouteError : public std::runtime_error {
public:
    explicit RouteError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
    bool operator==(const RouteError& other) const { return message() == other.message(); }
};

// A settings document that cannot be read (malformed JSON, missing key, wrong type...).
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file-system failure, worded with the path and the system's reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace Messages {
inline constexpr const char* unsupportedVersion = "Unsupported settings version. Settings were not changed.";
inline constexpr const char* tooManyRules = "Use at most 500 rules.";
inline constexpr const char* duplicateIds = "Duplicate rule identifiers.";
inline constexpr const char* chooseProfile = "Choose a destination profile for each enabled rule.";
inline constexpr const char* prefixQuery = "URL path rules cannot contain a query or fragment.";
inline constexpr const char* chooseDefault = "Choose a default profile or Ask every time.";
inline constexpr const char* webLink = "Only absolute HTTP(S) links without credentials are accepted.";
inline constexpr const char* dotSegments = "Normalize dot segments in the URL path before routing.";
inline constexpr const char* invalidCorvaneLink = "Invalid Corvane link.";
inline constexpr const char* hostname =
    "Enter a hostname, such as example.com, without a scheme, path, port, or wildcard.";
} // namespace Messages

} // namespace corvane
