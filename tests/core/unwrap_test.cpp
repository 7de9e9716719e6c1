#include "core/unwrap.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

Url url(const std::string& text)
{
    auto parsed = Url::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(Url{});
}

TEST(FromParameter, ReadsTheEmbeddedLinkOfKnownRedirectPages)
{
    struct Case {
        const char* link;
        const char* target; // nullptr = none
    };
    const Case cases[] = {
        {"https://www.google.com/url?q=https://example.com/a&sa=t", "https://example.com/a"},
        {"https://GOOGLE.com/url?url=https%3A%2F%2Fexample.com%2F%3Fx%3D1", "https://example.com/?x=1"},
        {"https://www.google.com/url?q=https://a.com/&url=https://b.com/", "https://a.com/"},
        {"https://www.google.com/url?q=not-a-link&url=https://b.com/", "https://b.com/"},
        {"https://www.google.com/url?q=https://a.com/&q=https://b.com/", "https://a.com/"},
        {"https://www.google.com/url?q=ftp://a.com/&q=https://b.com/",
         nullptr},                                                           // only the first "q" is tried
        {"https://www.google.com/%75rl?q=https://a.com/", "https://a.com/"}, // path compared decoded
        {"https://www.google.com/search?q=https://a.com/", nullptr},
        {"https://www.google.com/url/?q=https://a.com/", nullptr},
        {"https://www.google.com/url?Q=https://a.com/", nullptr},
        {"https://www.google.com/url?q", nullptr},
        {"https://www.google.com/url", nullptr},
        {"https://notgoogle.com/url?q=https://a.com/", nullptr},
        {"https://google.com.evil.net/url?q=https://a.com/", nullptr},
        {"https://eur01.safelinks.protection.outlook.com/?url=https%3A%2F%2Fexample.com%2F&data=x",
         "https://example.com/"},
        {"https://eur01.safelinks.protection.outlook.com/any/path?url=https%3A%2F%2Fexample.com%2F",
         "https://example.com/"},
        // One layer only: a wrapped redirect page comes back as that page.
        {"https://nam.safelinks.protection.outlook.com/"
         "?url=https%3A%2F%2Fwww.google.com%2Furl%3Fq%3Dhttps%3A%2F%2Fa.com",
         "https://www.google.com/url?q=https://a.com"},
        {"https://l.facebook.com/l.php?u=https%3A%2F%2Fexample.com%2F&h=x", "https://example.com/"},
        {"https://lm.facebook.com/l.php?u=https%3A%2F%2Fexample.com%2F", "https://example.com/"},
        {"https://www.facebook.com/l.php?u=https%3A%2F%2Fexample.com%2F", nullptr},
        {"https://slack-redir.net/link?url=https%3A%2F%2Fexample.com%2F", "https://example.com/"},
        {"https://l.instagram.com/?u=https%3A%2F%2Fexample.com%2F&e=x", "https://example.com/"},
        // Values that fail the web-link check move on to the next entry.
        {"https://www.google.com/url?q=https%3A%2F%2Fexample.com%2F%0A&url=https://b.com/", "https://b.com/"},
        {"https://www.google.com/url?q=https%3A%2F%2Fu%40example.com%2F&url=https://b.com/",
         "https://b.com/"},
        {"https://www.google.com/url?q=javascript:alert(1)&url=https://b.com/", "https://b.com/"},
        {"https://www.google.com/url?q=https://a.com/%2e%2e/", nullptr},
        {"https://www.google.com/url?q=https://a.com/x+y", "https://a.com/x+y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const auto target = Unwrap::fromParameter(url(c.link));
        if (c.target == nullptr) {
            EXPECT_FALSE(target) << target->absoluteString();
        } else {
            ASSERT_TRUE(target);
            EXPECT_EQ(target->absoluteString(), c.target);
        }
    }
}

TEST(FromParameter, TableIsTriedInOrder)
{
    const auto& table = Unwrap::paramHosts();
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table[0].parameter, "q");
    EXPECT_EQ(table[1].parameter, "url");
    EXPECT_EQ(table[2].path, std::nullopt);
}

TEST(ShouldFollow, KnowsTrackersAndShortenersByHost)
{
    const char* followed[] = {
        "https://t.co/abc",
        "https://BIT.LY/x",
        "https://lnkd.in/x",
        "https://buff.ly/x",
        "https://ow.ly/x",
        "https://tinyurl.com/x",
        "https://go.skimresources.com/?id=1",
        "https://click.redditmail.com/x",
        "https://trk.example.com/x",
        "https://click.shop.example/x",
        "https://clicks.a.b/",
        "https://links.a.b/",
        "https://link.a.b/",
        "https://email.a.b/",
        "https://track.a.b/",
        "https://url.a.b/",
        "https://us1.list-manage.com/track/click",
        "https://u1.ct.sendgrid.net/ls/click",
        "https://d1.na1.hubspotlinks.com/x",
        "https://x.mailgun.org/c/1",
        "https://spgo.sparkpostmail.com/x",
    };
    const char* notFollowed[] = {
        "https://list-manage.com/x", "https://hubspotlinks.com/",
        "https://mailgun.org/",      "https://sparkpostmail.com/",
        "https://www.t.co/x",        "https://t.co.example.com/",
        "https://bit.ly.example/",   "https://example.com/click.",
        "https://myclick.example/",  "https://trk/",
        "https://example.com/",      "mailto:a@b",
    };
    for (const char* link : followed)
        EXPECT_TRUE(Unwrap::shouldFollow(url(link))) << link;
    for (const char* link : notFollowed)
        EXPECT_FALSE(Unwrap::shouldFollow(url(link))) << link;
}

TEST(IsWeb, IsTheWebLinkCheckOfTheText)
{
    EXPECT_TRUE(Unwrap::isWeb(url("https://example.com/")));
    EXPECT_FALSE(Unwrap::isWeb(url("https://example.com/./")));
    EXPECT_FALSE(Unwrap::isWeb(url("https://u@example.com/")));
    EXPECT_FALSE(Unwrap::isWeb(url("mailto:a@b")));
}

} // namespace
} // namespace corvane
