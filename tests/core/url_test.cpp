#include "core/url.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using std::nullopt;
using Opt = std::optional<std::string>;

struct Components {
    const char* text;
    Opt scheme, user, password, host;
    std::optional<int> port;
    std::string path;
    Opt query, fragment;
};

TEST(Url, ReportsComponentsAsWrittenTellingAbsentFromEmpty)
{
    const Components cases[] = {
        {"https://Example.COM/A%20b?x=1#top", "https", nullopt, nullopt, "Example.COM", nullopt, "/A%20b",
         "x=1", "top"},
        {"http://a", "http", nullopt, nullopt, "a", nullopt, "", nullopt, nullopt},
        {"http://a/?#", "http", nullopt, nullopt, "a", nullopt, "/", "", ""},
        {"http://@a:/p", "http", "", nullopt, "a", nullopt, "/p", nullopt, nullopt},
        {"http://u:@a:8080", "http", "u", "", "a", 8080, "", nullopt, nullopt},
        {"http://u:p:q@a:0/", "http", "u", "p:q", "a", 0, "/", nullopt, nullopt},
        {"http://[::1]:65535/x", "http", nullopt, nullopt, "::1", 65535, "/x", nullopt, nullopt},
        {"http://a:00080/", "http", nullopt, nullopt, "a", 80, "/", nullopt, nullopt},
        {"file:///etc/hosts", "file", nullopt, nullopt, "", nullopt, "/etc/hosts", nullopt, nullopt},
        {"mailto:someone@example.com?subject=x", "mailto", nullopt, nullopt, nullopt, nullopt,
         "someone@example.com", "subject=x", nullopt},
        {"//host/p?q", nullopt, nullopt, nullopt, "host", nullopt, "/p", "q", nullopt},
        {"relative/path#f", nullopt, nullopt, nullopt, nullopt, nullopt, "relative/path", nullopt, "f"},
        {"", nullopt, nullopt, nullopt, nullopt, nullopt, "", nullopt, nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = Url::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->absoluteString(), c.text);
        EXPECT_EQ(url->scheme, c.scheme);
        EXPECT_EQ(url->user, c.user);
        EXPECT_EQ(url->password, c.password);
        EXPECT_EQ(url->host, c.host);
        EXPECT_EQ(url->port, c.port);
        EXPECT_EQ(url->path, c.path);
        EXPECT_EQ(url->query, c.query);
        EXPECT_EQ(url->fragment, c.fragment);
    }
}

TEST(Url, AnEmptyViewIsTheEmptyReference)
{
    const auto url = Url::parse(std::string_view());
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), "");
    EXPECT_EQ(url->scheme, nullopt);
}

TEST(Url, RefusesTextOutsideTheGenericSyntaxAndPortsAbove65535)
{
    for (const char* text : {"http://a:65536/", "http://a:99999999999999999999999/", "http://a b/",
                             "http://a/%zz", "http://a/%4", "http://ex\xC3\xA4mple.com/", "http://a/\x01",
                             "http://[::1/", "http://a/p#f#g", "http://a/<>"}) {
        EXPECT_FALSE(Url::parse(text)) << text;
    }
}

TEST(Url, KeepsTheIpv6TextAsWritten)
{
    // Re-composing an IPv6 host would expand it; the text must survive untouched.
    const auto url = Url::parse("http://[2001:DB8::1]/");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "2001:DB8::1");
    EXPECT_EQ(url->absoluteString(), "http://[2001:DB8::1]/");
}

TEST(Url, SplitsAndDecodesQueryItems)
{
    struct Case {
        const char* text;
        std::vector<QueryItem> items;
    };
    const Case cases[] = {
        {"http://a/", {}},
        {"http://a/?", {}},
        {"http://a/?url", {{"url", nullopt}}},
        {"http://a/?url=", {{"url", ""}}},
        {"http://a/?a=1&b=x+y%20z&c=d=e", {{"a", "1"}, {"b", "x+y z"}, {"c", "d=e"}}},
        {"http://a/?a&&b", {{"a", nullopt}, {"", nullopt}, {"b", nullopt}}},
        {"http://a/?u%72l=%68ttps%3A%2F%2Fb%2F%3Fx%3D1%26y%3D2", {{"url", "https://b/?x=1&y=2"}}},
        {"http://a/?x=1#y=2", {{"x", "1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = Url::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->queryItems(), c.items);
    }
}

TEST(Url, DecodesThePathOnlyWhenTheResultIsText)
{
    EXPECT_EQ(Url::parse("http://a/%2E%2e/b%20c")->decodedPath(), "/../b c");
    EXPECT_EQ(Url::parse("http://a/%C3%A9")->decodedPath(), "/\xC3\xA9");
    EXPECT_EQ(Url::parse("http://a/%FF")->decodedPath(), nullopt);
}

} // namespace
} // namespace corvane
