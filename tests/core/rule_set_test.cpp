#include "core/rule_set.h"
#include "messages.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::refusal;

// RuleSet exists only to be fast; it must never decide differently.
TEST(RuleSet, DecidesExactlyLikeTheRouter)
{
    Configuration config;
    config.rules = {
        Rule::make(MatchKind::domain, "example.com", "Off", false),
        Rule::make(MatchKind::urlPrefix, "https://example.com:443/docs", "Docs"),
        Rule::make(MatchKind::urlPrefix, "http://example.org/a%20b/", "Spaces"),
        Rule::make(MatchKind::exactHost, "www.example.net", "Www"),
        Rule::make(MatchKind::domain, "Example.COM.", "Work"),
        Rule::make(MatchKind::urlPrefix, "HTTPS://shop.example.NET./", "Shop"),
    };
    const char* links[] = {
        "https://example.com/docs",      "https://example.com/docs/x",  "http://example.com:80/docs",
        "https://a.b.example.com/",      "https://badexample.com/",     "https://EXAMPLE.com./docsx",
        "http://example.org/a%20b/c",    "http://example.org/a%20b",    "https://www.example.net./",
        "https://example.net/",          "https://shop.example.net/?q", "https://shop.example.net:8443/",
        "https://example.com.evil.org/", "https://other.test/",
    };
    for (const auto& defaultProfile : {std::optional<std::string>{}, std::optional<std::string>{"Home"}}) {
        config.defaultProfile = defaultProfile;
        const RuleSet rules(config);
        for (const char* text : links) {
            SCOPED_TRACE(text);
            const Url link = Router::incoming(text);
            EXPECT_EQ(rules.decide(link), Router::decide(link, config));
        }
    }
}

TEST(RuleSet, RefusesLikeTheRouter)
{
    Configuration config;
    config.rules = {Rule::make(MatchKind::domain, "example.com", "Work"),
                    Rule::make(MatchKind::urlPrefix, "https://example.com/?", "Work")};
    EXPECT_EQ(refusal([&] { RuleSet{config}; }), Messages::prefixQuery);
    config.rules.pop_back();
    const RuleSet rules(config);
    EXPECT_EQ(refusal([&] { rules.decide(Url::parse("https://example.com/a/../b").value()); }),
              Messages::dotSegments);
}

} // namespace
} // namespace corvane
