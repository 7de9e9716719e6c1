#include "core/update_feed.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(UpdateFeed, ComparesVersionsWithNumbersByValue)
{
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"1.10", "1.9", 1},  {"1.9", "1.10", -1}, {"1.2.3", "1.2.3", 0},  {"1.2", "1.2.0", -1},
        {"2", "10", -1},     {"1.010", "1.9", 1}, {"1.0", "1.00", 0},     {"0.1.0", "0.1.0", 0},
        {"1.2b", "1.2a", 1}, {"", "0", -1},       {"1.2.10", "1.2.9", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(UpdateFeed::compareVersions(c.a, c.b), c.order);
        EXPECT_EQ(UpdateFeed::compareVersions(c.b, c.a), -c.order);
    }
    EXPECT_TRUE(UpdateFeed::isNewer("1.10", "1.9"));
    EXPECT_FALSE(UpdateFeed::isNewer("1.9", "1.9"));
}

TEST(UpdateFeed, TrimsEveryVAtBothEnds)
{
    EXPECT_EQ(UpdateFeed::trimVersion("v1.10"), "1.10");
    EXPECT_EQ(UpdateFeed::trimVersion("vV1.2vv"), "1.2");
    EXPECT_EQ(UpdateFeed::trimVersion("1.v2"), "1.v2");
    EXPECT_EQ(UpdateFeed::trimVersion("vvv"), "");
}

TEST(UpdateFeed, ReadsTheAnnouncement)
{
    EXPECT_EQ(UpdateFeed::parse(
                  R"({"version":"v1.10","url":"https://example.com/r","zip":"https://example.com/c.zip",
                                    "notes":[1,2]})"),
              (UpdateFeed::Entry{"1.10", "https://example.com/r", "https://example.com/c.zip"}));
    // An unusable archive is no error: the update is announced without it.
    for (const char* zip : {"", R"(,"zip":3)", R"(,"zip":"no scheme")", R"(,"zip":"http://bad host/")"}) {
        SCOPED_TRACE(zip);
        EXPECT_EQ(UpdateFeed::parse(std::string(R"({"version":"2","url":"https://e.com/")") + zip + "}"),
                  (UpdateFeed::Entry{"2", "https://e.com/", std::nullopt}));
    }
}

TEST(UpdateFeed, RefusesAFeedWithoutItsRequiredKeys)
{
    for (const char* body : {
             "",
             "not json",
             "[]",
             R"("1.0")",
             R"({"url":"https://e.com/"})",
             R"({"version":1.2,"url":"https://e.com/"})",
             R"({"version":"1.2"})",
             R"({"version":"1.2","url":"relative/page"})",
             R"({"version":"1.2","url":7})",
             R"({"version":"1.2","url":"https://e.com/")",
             "{\"version\":\"\xff\",\"url\":\"https://e.com/\"}",
             R"({"version":"2.0 <a href='file:///'>x</a>","url":"https://e.com/"})",
             R"({"version":"vv","url":"https://e.com/"})",
         }) {
        SCOPED_TRACE(body);
        EXPECT_EQ(UpdateFeed::parse(body), std::nullopt);
    }
}

TEST(UpdateFeed, PlainVersionsAndTheVersionASignatureNames)
{
    const struct {
        const char* text;
        bool plain;
    } versions[] = {
        {"1", true},
        {"1.10.2", true},
        {"0.1.0", true},
        {"", false},
        {".1", false},
        {"1.", false},
        {"1..2", false},
        {"1.2-beta", false},
        {"1.2 ", false},
        {"<b>1</b>", false},
        {"12345678901234567890123456789012", true},
        {"123456789012345678901234567890123", false},
    };
    for (const auto& c : versions)
        EXPECT_EQ(UpdateFeed::isPlainVersion(c.text), c.plain) << c.text;

    const struct {
        const char* comment;
        std::optional<std::string> version;
    } comments[] = {
        {"Corvane 2.0", "2.0"},
        {"corvane 10.1.3", "10.1.3"},
        {"CORVANE 2", "2"},
        {"timestamp:1700000000	file:corvane-2.0-linux-x86_64.zip", std::nullopt},
        {"Corvane", std::nullopt},
        {"Corvane ", std::nullopt},
        {"Corvane 2.0 beta", std::nullopt},
        {"Corvanes 2.0", std::nullopt},
        {"Other 2.0", std::nullopt},
        {" Corvane 2.0", std::nullopt},
    };
    for (const auto& c : comments)
        EXPECT_EQ(UpdateFeed::signedVersion(c.comment), c.version) << c.comment;
}

} // namespace
} // namespace corvane
