// The rule editor's path: normalise what was typed, then validate and match.
#include "core/router.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const MatchKind kind = allMatchKinds[data[0] % allMatchKinds.size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string pattern = Router::normalizePattern(text, kind);
    const Rule rule = Rule::make(kind, pattern, "Profile");
    try {
        Router::validate(rule);
    } catch (const RouteError&) {
        return 0;
    }
    // A pattern that validates must keep validating inside a configuration,
    // and matching it must not fail.
    Configuration config;
    config.rules = {rule};
    config.validate();
    const auto link = Url::parse("https://www.example.com:443/docs/a?b#c");
    Router::matches(rule, *link);
    Router::decide(*link, config);
    if (isHostKind(kind) && Router::domain(pattern).empty())
        std::abort();
    return 0;
}
