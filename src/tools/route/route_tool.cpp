#include "route_tool.h"

#include "core/route_error.h"
#include "core/router.h"
#include "core/unwrap.h"

#include <nlohmann/json.hpp>

namespace corvane {

namespace {

// Input lines are arbitrary bytes; invalid UTF-8 must not stop the stream.
std::string dumpLine(const nlohmann::ordered_json& line)
{
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string unwrapped(const std::string& text, const RouteOptions& options, const Follower& follower)
{
    if (options.follow && follower)
        return follower(text);
    if (!options.unwrap)
        return text;
    if (const auto url = Url::parse(text)) {
        if (const auto inner = Unwrap::fromParameter(*url))
            return inner->text;
    }
    return text;
}

} // namespace

std::string routeLine(const std::string& input, const RuleSet& rules, const RouteOptions& options,
                      const Follower& follower, bool& refused)
{
    nlohmann::ordered_json line;
    line["input"] = input;
    const std::string text = options.typed ? Router::typedURL(input) : input;
    const std::string link = unwrapped(text, options, follower);
    if ((options.unwrap || options.follow) && link != text)
        line["unwrapped"] = link;
    try {
        const Url url = Router::incoming(link);
        const Decision decision = rules.decide(url);
        line["url"] = url.absoluteString();
        line["profile"] = decision.profile ? nlohmann::ordered_json(*decision.profile) : nullptr;
        line["reason"] = decision.reason;
        refused = false;
    } catch (const RouteError& error) {
        line["error"] = error.message();
        refused = true;
    }
    return dumpLine(line);
}

} // namespace corvane
