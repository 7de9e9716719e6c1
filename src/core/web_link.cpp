#include "web_link.h"

#include "route_error.h"
#include "text.h"

namespace corvane {
namespace {

constexpr std::size_t maxLinkBytes = 32768;

// Any piece of the path that is "." or ".." after decoding would be resolved
// away by a browser, so a rule could never see the path as written. The
// decoding is byte-wise: falling back to the encoded path whenever some other
// piece is not UTF-8 would let "%2e%2e" through next to a stray "%FF".
bool hasDotSegment(const Url& url)
{
    const std::string path = Text::percentDecodeLenient(url.path);
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string_view piece = std::string_view(path).substr(
            start, slash == std::string::npos ? std::string::npos : slash - start);
        if (piece == "." || piece == "..")
            return true;
        if (slash == std::string::npos)
            return false;
        start = slash + 1;
    }
}

WebLinkCheck refuse(const char* message)
{
    return WebLinkCheck{std::nullopt, message};
}

} // namespace

WebLinkCheck checkWebLink(std::string_view text)
{
    if (text.size() > maxLinkBytes || Text::hasControlOrFormat(text) ||
        text.find_first_of("\\ ") != std::string_view::npos)
        return refuse(Messages::webLink);
    auto url = Url::parse(text);
    if (!url || !url->scheme ||
        !(Text::equalsIgnoringCase(*url->scheme, "http") || Text::equalsIgnoringCase(*url->scheme, "https")))
        return refuse(Messages::webLink);
    if (!url->host || url->host->empty() || url->user || url->password)
        return refuse(Messages::webLink);
    if (url->port && (*url->port < 1 || *url->port > 65535))
        return refuse(Messages::webLink);
    if (hasDotSegment(*url))
        return refuse(Messages::dotSegments);
    return WebLinkCheck{std::move(url), nullptr};
}

} // namespace corvane
