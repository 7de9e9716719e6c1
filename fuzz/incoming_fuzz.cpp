// Link intake and the routing that follows it, on arbitrary bytes.
#include "core/router.h"
#include "core/unwrap.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const Url url = Router::incoming(text);
        // Whatever intake accepts must be a web link that routes.
        if (!Unwrap::isWeb(url))
            std::abort();
        Configuration config;
        config.rules = {Rule::make(MatchKind::domain, "example.com", "A"),
                        Rule::make(MatchKind::urlPrefix, "https://example.com/docs", "B")};
        Router::decide(url, config);
        Router::ruleHost(url);
        Unwrap::shouldFollow(url);
        if (const auto inner = Unwrap::fromParameter(url); inner && !Unwrap::isWeb(*inner))
            std::abort();
    } catch (const RouteError&) {
    }
    if (const auto url = Url::parse(text)) {
        url->queryItems();
        url->decodedPath();
        if (url->absoluteString() != text)
            std::abort();
    }
    return 0;
}
