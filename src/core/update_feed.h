#pragma once

#include <optional>
#include <string>
#include <string_view>

// The update feed: a small JSON object announcing the newest release, and the
// version comparison the update check and the installer share.
namespace corvane::UpdateFeed {

struct Entry {
    std::string version;            // "v"/"V" trimmed at both ends
    std::string page;               // the release's web page, an absolute URL
    std::optional<std::string> zip; // the archive; absent when missing or unusable
    bool operator==(const Entry&) const = default;
};

// Absent when the body is not JSON, not an object, or lacks a string "version"
// that is a plain version once trimmed, or a string "url" holding an absolute
// URL. Other keys are ignored.
std::optional<Entry> parse(std::string_view body);

// The version is shown in alerts and banners and compared with ours: only
// digits and dots, starting and ending with a digit, at most 32 characters.
inline constexpr std::size_t maxVersionLength = 32;
bool isPlainVersion(std::string_view version);

// The version a release signature's trusted comment names: "Corvane 2.0"
// (the name in any letter case) gives "2.0"; anything else gives nothing, so
// a file signed for another purpose never passes as a release.
std::optional<std::string> signedVersion(std::string_view trustedComment);

// Every leading and trailing "v" and "V" removed.
std::string_view trimVersion(std::string_view version);

// Orders version strings with runs of digits compared by their value, so
// "1.10" comes after "1.9"; other characters compare by their bytes.
// Negative, zero or positive as a orders before, with or after b.
int compareVersions(std::string_view a, std::string_view b);

inline bool isNewer(std::string_view candidate, std::string_view current)
{
    return compareVersions(candidate, current) > 0;
}

} // namespace corvane::UpdateFeed
