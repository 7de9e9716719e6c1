#include "update_feed.h"

#include "url.h"

#include <nlohmann/json.hpp>

namespace corvane::UpdateFeed {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<std::string> absoluteUrl(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    const std::string& text = found->get_ref<const std::string&>();
    const auto url = Url::parse(text);
    if (!url || !url->scheme || text.empty())
        return std::nullopt;
    return text;
}

// A run of digits without its leading zeros, so that length orders first.
std::string_view significant(std::string_view digits)
{
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

} // namespace

std::optional<Entry> parse(std::string_view body)
{
    const nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return std::nullopt;
    const auto version = document.find("version");
    if (version == document.end() || !version->is_string())
        return std::nullopt;
    const std::string_view trimmed = trimVersion(version->get_ref<const std::string&>());
    auto page = absoluteUrl(document, "url");
    if (!page || !isPlainVersion(trimmed))
        return std::nullopt;
    return Entry{std::string(trimmed), std::move(*page), absoluteUrl(document, "zip")};
}

bool isPlainVersion(std::string_view version)
{
    if (version.empty() || version.size() > maxVersionLength || !isDigit(version.front()) ||
        !isDigit(version.back()))
        return false;
    for (std::size_t i = 0; i < version.size(); ++i) {
        if (version[i] == '.' && version[i - 1] == '.')
            return false;
        if (version[i] != '.' && !isDigit(version[i]))
            return false;
    }
    return true;
}

std::optional<std::string> signedVersion(std::string_view comment)
{
    constexpr std::string_view name = "corvane ";
    if (comment.size() <= name.size())
        return std::nullopt;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = comment[i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != name[i])
            return std::nullopt;
    }
    const std::string_view version = comment.substr(name.size());
    if (!isPlainVersion(version))
        return std::nullopt;
    return std::string(version);
}

std::string_view trimVersion(std::string_view version)
{
    const auto isV = [](char c) { return c == 'v' || c == 'V'; };
    while (!version.empty() && isV(version.front()))
        version.remove_prefix(1);
    while (!version.empty() && isV(version.back()))
        version.remove_suffix(1);
    return version;
}

int compareVersions(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            const std::string_view x = significant(a.substr(i, endA - i));
            const std::string_view y = significant(b.substr(j, endB - j));
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace corvane::UpdateFeed
