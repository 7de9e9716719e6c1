#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One item of a query string, percent-decoded ("+" stays "+").
// `value` is absent for a bare name without "=".
struct QueryItem {
    std::string name;
    std::optional<std::string> value;
    bool operator==(const QueryItem&) const = default;
};

// A URI reference parsed by RFC 3986. The text is kept exactly as given and is
// never re-composed; components are reported as written (path and query stay
// percent-encoded), and an absent component is told apart from an empty one.
struct Url {
    std::string text;
    std::optional<std::string> scheme;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::string> host; // IPv6 literals without the brackets
    std::optional<int> port;         // a written but empty port ("host:") counts as absent
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    // Absent when the text is not an RFC 3986 URI reference, or its port is
    // not a number up to 65535.
    static std::optional<Url> parse(std::string_view text);

    const std::string& absoluteString() const { return text; }
    // The query split at "&" into percent-decoded items; empty without a query.
    std::vector<QueryItem> queryItems() const;
    // The path percent-decoded; absent when decoding fails.
    std::optional<std::string> decodedPath() const;

    bool operator==(const Url& other) const { return text == other.text; }
};

} // namespace corvane
