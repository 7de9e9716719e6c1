#include "core/router.h"
#include "messages.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::refusal;
namespace M = Messages;

Rule rule(MatchKind kind, std::string pattern, std::string profile = "Work", bool enabled = true)
{
    return Rule::make(kind, std::move(pattern), std::move(profile), enabled);
}

TEST(WebUrl, AcceptsWebLinksUnchanged)
{
    for (const std::string text : {"https://example.com", "HTTP://Example.COM:8080/A/b?x#y", "http://a/...",
                                   "https://a/.x/x./%2E%2E%2E", "http://1.2.3.4:1/", "https://[::1]:65535/",
                                   "https://a.?q=a/../b#../"}) {
        SCOPED_TRACE(text);
        const Url url = Router::webURL(text);
        EXPECT_EQ(url.absoluteString(), text);
    }
}

TEST(WebUrl, RefusesEachKindOfNonWebLink)
{
    const std::string longPath(32768 - std::string("https://a/").size(), 'x');
    EXPECT_EQ(refusal([&] { Router::webURL("https://a/" + longPath); }), "");
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"https://a/" + longPath + "x", M::webLink},
        {std::string("https://a/\0", 11), M::webLink},
        {"https://a/\t", M::webLink},
        {"https://a/\r\n", M::webLink},
        {"https://a/\x7F", M::webLink},
        {"https://a/\xC2\x85", M::webLink},         // NEL, Cc
        {"https://a/\xE2\x80\x8F", M::webLink},     // right-to-left mark, Cf
        {"https://a/\xEF\xBB\xBF", M::webLink},     // zero-width no-break space, Cf
        {"https://a/\xF3\xA0\x80\x81", M::webLink}, // language tag, Cf
        {"https://a/\xFF", M::webLink},             // not UTF-8
        {"https://a/\\b", M::webLink},
        {"https://a/ b", M::webLink},
        {" https://a/", M::webLink},
        {"https://a/%zz", M::webLink},
        {"https://\xC3\xA9.com/", M::webLink},
        {"", M::webLink},
        {"example.com", M::webLink},
        {"//example.com/", M::webLink},
        {"ftp://example.com/", M::webLink},
        {"httpx://example.com/", M::webLink},
        {"file:///etc/passwd", M::webLink},
        {"https:/path", M::webLink},
        {"https:///path", M::webLink},
        {"https://user@a/", M::webLink},
        {"https://@a/", M::webLink},
        {"https://:@a/", M::webLink},
        {"https://u:p@a/", M::webLink},
        {"https://a:0/", M::webLink},
        {"https://a:65536/", M::webLink},
        {"https://a/./b", M::dotSegments},
        {"https://a/b/..", M::dotSegments},
        {"https://a/%2e%2E/b", M::dotSegments},
        {"https://a/b/%2E", M::dotSegments},
        {"https://a/b/%2e%2e?x", M::dotSegments},
        {"https://a/%2F../", M::dotSegments}, // decoded "/" splits too
        {"https://a/%FF/%2e%2e", M::dotSegments},
        {"https://a/%2e%2e/%C3", M::dotSegments},
        // An earlier step decides before the dot-segment step.
        {"https://u@a/../", M::webLink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(refusal([&] { Router::webURL(c.text); }), c.message);
    }
}

TEST(Domain, CanonicalisesAHostAndRefusesEverythingElse)
{
    EXPECT_EQ(Router::domain("  Mail.Example.COM. \n"), "mail.example.com");
    EXPECT_EQ(Router::domain("\xC2\xA0www.example.com\xE3\x80\x80"),
              "www.example.com"); // Unicode spaces trimmed
    EXPECT_EQ(Router::domain("192.168.0.1"), "192.168.0.1");
    EXPECT_EQ(Router::domain("localhost"), "localhost");

    const std::string refused[] = {
        "",
        "  \n",
        "example.com:8080",
        "*.example.com",
        "user@example.com",
        "https://example.com",
        "example.com/path",
        "example.com?q",
        "example.com#f",
        "exa mple.com",
        "example\\com",
        "[::1]",
        "ex\xC3\xA4mple.com",
        "ex%zzample.com",
        ".",
        "exa\tmple.com",
    };
    for (const auto& pattern : refused) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(refusal([&] { Router::domain(pattern); }), M::hostname);
    }
    EXPECT_EQ(std::string(M::hostname),
              "Enter a hostname, such as example.com, without a scheme, path, port, or wildcard.");
}

TEST(RuleValidation, ChecksTheProfileFirstThenThePattern)
{
    struct Case {
        Rule rule;
        const char* message; // "" = valid
    };
    const Case cases[] = {
        {rule(MatchKind::domain, "example.com"), ""},
        {rule(MatchKind::exactHost, "WWW.Example.com."), ""},
        {rule(MatchKind::urlPrefix, "https://example.com/docs"), ""},
        {rule(MatchKind::domain, "example.com", " \n\t"), M::chooseProfile},
        {rule(MatchKind::domain, "*", "", false), M::chooseProfile}, // disabled rules are checked alone too
        {rule(MatchKind::urlPrefix, "not a url", ""), M::chooseProfile},
        {rule(MatchKind::domain, "example.com:443"), M::hostname},
        {rule(MatchKind::exactHost, "https://example.com"), M::hostname},
        {rule(MatchKind::urlPrefix, "example.com/docs"), M::webLink},
        {rule(MatchKind::urlPrefix, "https://example.com:0/"), M::webLink},
        {rule(MatchKind::urlPrefix, "https://example.com/a/../b"), M::dotSegments},
        {rule(MatchKind::urlPrefix, "https://example.com/docs?"), M::prefixQuery},
        {rule(MatchKind::urlPrefix, "https://example.com/docs?a=1"), M::prefixQuery},
        {rule(MatchKind::urlPrefix, "https://example.com/docs#"), M::prefixQuery},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule.pattern);
        EXPECT_EQ(refusal([&] { Router::validate(c.rule); }), c.message);
    }
}

Configuration withRules(std::vector<Rule> rules)
{
    Configuration config;
    config.rules = std::move(rules);
    return config;
}

TEST(ConfigurationValidation, FirstFailingStepDecides)
{
    const Rule good = rule(MatchKind::domain, "example.com");
    const Rule badPattern = rule(MatchKind::domain, "*.example.com");
    const Rule badBoth = rule(MatchKind::urlPrefix, "nonsense", "");
    Rule duplicate = rule(MatchKind::domain, "other.com");
    duplicate.id = good.id;

    std::vector<Rule> many;
    for (int i = 0; i < 500; ++i)
        many.push_back(rule(MatchKind::domain, "example.com"));
    std::vector<Rule> tooMany(many);
    tooMany.push_back(badBoth); // counted before any rule is looked at

    Configuration v2 = withRules({badPattern});
    v2.version = 2;
    Configuration v0;
    v0.version = 0;
    Configuration blankDefault = withRules({good});
    blankDefault.defaultProfile = " \u3000";
    Configuration duplicateAndTooMany = withRules(tooMany);
    duplicateAndTooMany.rules.push_back(duplicate);

    struct Case {
        const char* name;
        Configuration config;
        const char* message;
    };
    const Case cases[] = {
        {"default", Configuration(), ""},
        {"500 rules", withRules(many), ""},
        {"disabled invalid rule", withRules({rule(MatchKind::domain, "*", "", false), good}), ""},
        {"named default",
         [] {
             Configuration c;
             c.defaultProfile = "Personal";
             return c;
         }(),
         ""},
        {"version 2", v2, M::unsupportedVersion},
        {"version 0", v0, M::unsupportedVersion},
        {"501 rules", withRules(tooMany), M::tooManyRules},
        {"501 rules with a duplicate", duplicateAndTooMany, M::tooManyRules},
        {"duplicate ids", withRules({good, badPattern, duplicate}), M::duplicateIds},
        {"profile before pattern", withRules({good, badBoth, badPattern}), M::chooseProfile},
        {"first bad rule from the top", withRules({good, badPattern, badBoth}), M::hostname},
        {"blank default", blankDefault, M::chooseDefault},
        {"rules before default",
         [&] {
             Configuration c = withRules({badPattern});
             c.defaultProfile = "";
             return c;
         }(),
         M::hostname},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(refusal([&] { c.config.validate(); }), c.message);
    }
}

TEST(ConfigurationValidation, MessagesReadWordForWord)
{
    EXPECT_STREQ(M::unsupportedVersion, "Unsupported settings version. Settings were not changed.");
    EXPECT_STREQ(M::tooManyRules, "Use at most 500 rules.");
    EXPECT_STREQ(M::duplicateIds, "Duplicate rule identifiers.");
    EXPECT_STREQ(M::chooseProfile, "Choose a destination profile for each enabled rule.");
    EXPECT_STREQ(M::prefixQuery, "URL path rules cannot contain a query or fragment.");
    EXPECT_STREQ(M::chooseDefault, "Choose a default profile or Ask every time.");
    EXPECT_STREQ(M::webLink, "Only absolute HTTP(S) links without credentials are accepted.");
    EXPECT_STREQ(M::dotSegments, "Normalize dot segments in the URL path before routing.");
    EXPECT_STREQ(M::invalidCorvaneLink, "Invalid Corvane link.");
}

TEST(Rules, KindsAndIdentity)
{
    EXPECT_EQ(matchKindFromId("domain"), MatchKind::domain);
    EXPECT_EQ(matchKindFromId("exactHost"), MatchKind::exactHost);
    EXPECT_EQ(matchKindFromId("urlPrefix"), MatchKind::urlPrefix);
    EXPECT_EQ(matchKindFromId("Domain"), std::nullopt);
    EXPECT_EQ(matchKindFromId("exacthost"), std::nullopt);
    EXPECT_EQ(matchKindLabel(MatchKind::domain), "Domain + subdomains");
    EXPECT_EQ(matchKindLabel(MatchKind::exactHost), "Exact host");
    EXPECT_EQ(matchKindLabel(MatchKind::urlPrefix), "URL path prefix");

    const Rule a = Rule::make(MatchKind::domain, "example.com", "Work");
    const Rule b = Rule::make(MatchKind::domain, "example.com", "Work");
    EXPECT_TRUE(a.enabled);
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);
}

TEST(Uuid, RandomVersion4WrittenUpperCaseReadInEitherCase)
{
    const Uuid uuid = Uuid::random();
    const std::string text = uuid.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
    EXPECT_EQ(Uuid::parse(text), uuid);

    EXPECT_EQ(Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e")->toString(),
              "0F8FAD5B-D9CB-469F-A165-70867728950E");
    for (const char* bad : {"", "0F8FAD5B-D9CB-469F-A165-70867728950", "0F8FAD5BD9CB-469F-A165-70867728950E0",
                            "0F8FAD5B-D9CB-469F-A165-70867728950G", "{0F8FAD5B-D9CB-469F-A165-70867728950E}",
                            "0F8FAD5B-D9CB-469F-A16-570867728950E", " F8FAD5B-D9CB-469F-A165-70867728950E"})
        EXPECT_EQ(Uuid::parse(bad), std::nullopt) << bad;
}

} // namespace
} // namespace corvane
