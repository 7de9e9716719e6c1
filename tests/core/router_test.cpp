#include "core/router.h"
#include "messages.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::refusal;
namespace M = Messages;

Url url(const std::string& text)
{
    auto parsed = Url::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(Url{});
}

TEST(Incoming, PassesWebLinksThroughTheWebLinkCheck)
{
    EXPECT_EQ(Router::incoming("https://example.com/a?b#c").absoluteString(), "https://example.com/a?b#c");
    EXPECT_EQ(refusal([] { Router::incoming("https://example.com/a b"); }), M::webLink);
    EXPECT_EQ(refusal([] { Router::incoming("mailto:a@example.com"); }), M::webLink);
    EXPECT_EQ(refusal([] { Router::incoming("https://example.com/../x"); }), M::dotSegments);
}

TEST(Incoming, UnpacksTheCorvaneLinkForm)
{
    struct Case {
        const char* text;
        const char* result; // the link to route, or the refusal message
    };
    const Case cases[] = {
        {"corvane://open?url=https%3A%2F%2Fexample.com%2Fa%3Fb%3D1%26c%3D2%23d",
         "https://example.com/a?b=1&c=2#d"},
        {"CORVANE://open?url=https://example.com/", "https://example.com/"},
        {"corvane://open?url=https://example.com/a+b", "https://example.com/a+b"},
        {"corvane://OPEN?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open/?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open/x?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://u@open?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://@open?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://:p@open?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open:1?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open?url=https://example.com/#frag", M::invalidCorvaneLink},
        {"corvane://open?url=https://example.com/#", M::invalidCorvaneLink},
        {"corvane://open", M::invalidCorvaneLink},
        {"corvane://open?", M::invalidCorvaneLink},
        {"corvane://open?url=https://example.com/&x=1", M::invalidCorvaneLink},
        {"corvane://open?url=https://example.com/&", M::invalidCorvaneLink},
        {"corvane://open?url=https://a.com/&url=https://b.com/", M::invalidCorvaneLink},
        {"corvane://open?URL=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open?url", M::invalidCorvaneLink},
        {"corvane:open?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane:?url=https://example.com/", M::invalidCorvaneLink},
        {"corvane://open?url=", M::webLink},
        {"corvane://open?url=https%3A%2F%2Fu%40example.com%2F", M::webLink},
        {"corvane://open?url=https%3A%2F%2Fexample.com%2Fa%20b", M::webLink},
        {"corvane://open?url=https%3A%2F%2Fexample.com%2F%00", M::webLink},
        {"corvane://open?url=https%3A%2F%2Fexample.com%2F%FF", M::webLink},
        {"corvane://open?url=corvane%3A%2F%2Fopen%3Furl%3Dhttps%253A%252F%252Fexample.com", M::webLink},
        {"corvane://open?url=https%3A%2F%2Fexample.com%2F%2E%2E%2F", M::dotSegments},
        {"corvane://open?url=https://example.com/ x",
         M::webLink}, // does not parse: the whole text is checked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string outcome;
        try {
            outcome = Router::incoming(c.text).absoluteString();
        } catch (const RouteError& error) {
            outcome = error.message();
        }
        EXPECT_EQ(outcome, c.result);
    }
}

TEST(TypedUrl, TrimsAndAddsTheSchemeWhenMissing)
{
    EXPECT_EQ(Router::typedURL("  example.com/a \n"), "https://example.com/a");
    EXPECT_EQ(Router::typedURL("http://example.com"), "http://example.com");
    EXPECT_EQ(Router::typedURL("ftp://example.com"), "ftp://example.com");
    EXPECT_EQ(Router::typedURL("   \t"), "");
    EXPECT_EQ(refusal([] { Router::incoming(Router::typedURL("   ")); }), M::webLink);
}

TEST(NormalizePattern, KeepsWhatTheEditorStores)
{
    struct Case {
        const char* text;
        MatchKind kind;
        const char* result;
    };
    const Case cases[] = {
        {"  https://User:Pw@WWW.Example.COM/path?q=1#f \n", MatchKind::domain, "example.com"},
        {"  https://User:Pw@WWW.Example.COM/path?q=1#f \n", MatchKind::exactHost, "www.example.com"},
        {"Example.com:8080", MatchKind::domain, "example.com:8080"},
        {"example.com.", MatchKind::domain, "example.com."},
        {"a@b@Example.com", MatchKind::domain, "example.com"},
        {"example.com/a@b", MatchKind::domain, "example.com"},
        {"www.", MatchKind::domain, ""},
        {"wwwexample.com", MatchKind::domain, "wwwexample.com"},
        {"x://www.www.example.com", MatchKind::domain, "www.example.com"},
        {"", MatchKind::domain, ""},
        {" Example.com/Docs?x ", MatchKind::urlPrefix, "https://Example.com/Docs?x"},
        {"HTTP://Example.com/Docs", MatchKind::urlPrefix, "HTTP://Example.com/Docs"},
        {" \n ", MatchKind::urlPrefix, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Router::normalizePattern(c.text, c.kind), c.result);
    }
}

TEST(RuleHost, LowerCasesAndDropsOneLeadingWww)
{
    EXPECT_EQ(Router::ruleHost(url("https://WWW.Example.com./x")), "example.com.");
    EXPECT_EQ(Router::ruleHost(url("https://www.www.example.com")), "www.example.com");
    EXPECT_EQ(Router::ruleHost(url("https://wwwexample.com")), "wwwexample.com");
    EXPECT_EQ(Router::ruleHost(url("mailto:a@b")), "");
}

TEST(Matches, ComparesHostsPortsSchemesAndPaths)
{
    struct Case {
        MatchKind kind;
        const char* pattern;
        const char* link;
        bool matches;
    };
    const Case cases[] = {
        {MatchKind::domain, "example.com", "https://example.com/", true},
        {MatchKind::domain, "example.com", "https://EXAMPLE.com./", true},
        {MatchKind::domain, "example.com", "https://a.b.example.com:8443/x", true},
        {MatchKind::domain, "example.com", "https://badexample.com/", false},
        {MatchKind::domain, "example.com", "https://example.com.evil.net/", false},
        {MatchKind::domain, "Example.COM.", "https://www.example.com/", true},
        {MatchKind::domain, "www.example.com", "https://example.com/", false},
        {MatchKind::exactHost, "www.example.com", "https://example.com/", false},
        {MatchKind::exactHost, "www.example.com", "https://www.example.com.:1/", true},
        {MatchKind::exactHost, "example.com", "https://a.example.com/", false},
        {MatchKind::urlPrefix, "https://example.com:443/docs", "https://example.com/docs/a", true},
        {MatchKind::urlPrefix, "https://example.com:443/docs", "http://example.com:80/docs", false},
        {MatchKind::urlPrefix, "https://example.com/docs", "https://example.com:443/docs", true},
        {MatchKind::urlPrefix, "https://example.com/docs", "https://example.com:8443/docs", false},
        {MatchKind::urlPrefix, "http://example.com/docs", "http://example.com:80/docs", true},
        {MatchKind::urlPrefix, "HTTPS://EXAMPLE.com./docs", "https://example.com/docs?x#y", true},
        {MatchKind::urlPrefix, "https://example.com/docs", "https://example.com/docs/", true},
        {MatchKind::urlPrefix, "https://example.com/docs", "https://example.com/docsx", false},
        {MatchKind::urlPrefix, "https://example.com/docs", "https://example.com/Docs", false},
        {MatchKind::urlPrefix, "https://example.com/docs/", "https://example.com/docs", false},
        {MatchKind::urlPrefix, "https://example.com/docs/", "https://example.com/docs/a", true},
        {MatchKind::urlPrefix, "https://example.com/a%20b", "https://example.com/a%20b/c", true},
        {MatchKind::urlPrefix, "https://example.com", "https://example.com/anything", true},
        {MatchKind::urlPrefix, "https://example.com/", "https://example.com", true},
        {MatchKind::urlPrefix, "https://example.com/", "https://sub.example.com/", false},
        {MatchKind::urlPrefix, "https://example.com/", "http://example.com/", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " vs " + c.link);
        const auto link = Url::parse(c.link).value_or(Url{});
        EXPECT_EQ(Router::matches(Rule::make(c.kind, c.pattern, "P"), link), c.matches);
    }
}

TEST(Matches, DisabledRulesNeverMatchAndInvalidOnesFail)
{
    const Url link = url("https://example.com/");
    EXPECT_FALSE(Router::matches(Rule::make(MatchKind::domain, "*", "", false), link));
    EXPECT_EQ(refusal([&] { Router::matches(Rule::make(MatchKind::domain, "*", "P"), link); }), M::hostname);
    EXPECT_EQ(refusal([&] { Router::matches(Rule::make(MatchKind::domain, "example.com", " "), link); }),
              M::chooseProfile);
    EXPECT_EQ(refusal([&] {
                  Router::matches(Rule::make(MatchKind::urlPrefix, "https://example.com/?", "P"), link);
              }),
              M::prefixQuery);
}

TEST(Decide, FirstEnabledMatchThenDefaultThenAsk)
{
    Configuration config;
    config.rules = {
        Rule::make(MatchKind::domain, "example.com", "Off", false),
        Rule::make(MatchKind::urlPrefix, "https://example.com/docs", "Docs"),
        Rule::make(MatchKind::domain, "example.com", "Work"),
        Rule::make(MatchKind::exactHost, "docs.example.com", "Later"),
    };
    EXPECT_EQ(Router::decide(url("https://example.com/docs/x"), config),
              (Decision{"Docs", "Rule 2: https://example.com/docs"}));
    EXPECT_EQ(Router::decide(url("https://docs.example.com/"), config),
              (Decision{"Work", "Rule 3: example.com"}));
    EXPECT_EQ(Router::decide(url("https://other.org/"), config),
              (Decision{std::nullopt, "No matching rule. Pick a profile."}));
    config.defaultProfile = " Home ";
    EXPECT_EQ(Router::decide(url("https://other.org/"), config), (Decision{" Home ", "Default profile"}));
}

TEST(Decide, RefusesBadLinksAndInvalidConfigurations)
{
    Configuration config;
    config.rules = {Rule::make(MatchKind::domain, "example.com", "Work"),
                    Rule::make(MatchKind::domain, "bad pattern", "Work")};
    EXPECT_EQ(refusal([&] { Router::decide(url("https://example.com/"), config); }), M::hostname);

    config.rules.pop_back();
    config.rules.push_back(config.rules.front()); // same id twice
    EXPECT_EQ(refusal([&] { Router::decide(url("https://example.com/"), config); }), M::duplicateIds);

    config.rules.pop_back();
    EXPECT_EQ(refusal([&] { Router::decide(url("ftp://example.com/"), config); }), M::webLink);
    EXPECT_EQ(refusal([&] { Router::decide(url("https://example.com/./"), config); }), M::dotSegments);
}

} // namespace
} // namespace corvane
