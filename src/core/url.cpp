#include "url.h"

#include "text.h"

#include <uriparser/Uri.h>

namespace corvane {
namespace {

std::optional<std::string> rangeText(const UriTextRangeA& range)
{
    if (range.first == nullptr)
        return std::nullopt;
    return std::string(range.first, range.afterLast);
}

// uriparser accepts any run of digits as a port; only 0...65535 is a port.
bool readPort(const std::string& digits, std::optional<int>& port)
{
    if (digits.empty())
        return true;
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    port = static_cast<int>(value);
    return true;
}

// Where the path sits in a text that parsed: after the authority (or the
// scheme), up to the query or fragment. Neither "?" nor "#" can occur earlier.
std::string pathOf(std::string_view text, bool hasScheme, bool hasAuthority)
{
    std::size_t start = 0;
    if (hasScheme)
        start = text.find(':') + 1;
    if (hasAuthority) {
        start += 2; // "//"
        start = std::min(text.find_first_of("/?#", start), text.size());
    }
    const std::size_t end = std::min(text.find_first_of("?#", start), text.size());
    return std::string(text.substr(start, end - start));
}

struct ParsedUri {
    UriUriA uri{};
    bool ok = false;
    ~ParsedUri()
    {
        if (ok)
            uriFreeUriMembersA(&uri);
    }
};

} // namespace

std::optional<Url> Url::parse(std::string_view text)
{
    ParsedUri parsed;
    const char* errorPos = nullptr;
    // An empty view may carry a null pointer, which uriparser refuses; the
    // empty reference is valid all the same.
    const char* first = text.empty() ? "" : text.data();
    if (uriParseSingleUriExA(&parsed.uri, first, first + text.size(), &errorPos) != URI_SUCCESS)
        return std::nullopt;
    parsed.ok = true;
    const UriUriA& uri = parsed.uri;

    Url url;
    url.text = std::string(text);
    url.scheme = rangeText(uri.scheme);
    if (const auto userInfo = rangeText(uri.userInfo)) {
        const std::size_t colon = userInfo->find(':');
        url.user = userInfo->substr(0, colon);
        if (colon != std::string::npos)
            url.password = userInfo->substr(colon + 1);
    }
    url.host = rangeText(uri.hostText);
    if (const auto port = rangeText(uri.portText); port && !readPort(*port, url.port))
        return std::nullopt;
    url.path = pathOf(text, url.scheme.has_value(), url.host.has_value());
    url.query = rangeText(uri.query);
    url.fragment = rangeText(uri.fragment);
    return url;
}

std::vector<QueryItem> Url::queryItems() const
{
    std::vector<QueryItem> items;
    if (!query || query->empty())
        return items;
    const std::string_view rest(*query);
    std::size_t start = 0;
    while (true) {
        const std::size_t amp = std::min(rest.find('&', start), rest.size());
        const std::string_view piece = rest.substr(start, amp - start);
        const std::size_t equals = piece.find('=');
        QueryItem item;
        item.name = Text::percentDecodeLenient(piece.substr(0, equals));
        if (equals != std::string_view::npos)
            item.value = Text::percentDecodeLenient(piece.substr(equals + 1));
        items.push_back(std::move(item));
        if (amp == rest.size())
            break;
        start = amp + 1;
    }
    return items;
}

std::optional<std::string> Url::decodedPath() const
{
    return Text::percentDecode(path);
}

} // namespace corvane
