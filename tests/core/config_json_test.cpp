#include "core/config_json.h"
#include "messages.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::refusal;

const Uuid firstId = *Uuid::parse("0F8FAD5B-D9CB-469F-A165-70867728950E");
const Uuid secondId = *Uuid::parse("7C9E6679-7425-40DE-944B-E07FC1F90AE7");

Configuration sample()
{
    Configuration config;
    config.rules = {
        Rule{firstId, true, MatchKind::urlPrefix, "https://example.com/docs", "Work \"A\""},
        Rule{secondId, false, MatchKind::exactHost, "www.example.com", "Pers\xC3\xB6nlich"},
    };
    return config;
}

TEST(ConfigJson, WritesSortedPrettyJsonWithEscapedSlashes)
{
    const std::string expected = R"({
  "rules": [
    {
      "enabled": true,
      "id": "0F8FAD5B-D9CB-469F-A165-70867728950E",
      "kind": "urlPrefix",
      "pattern": "https:\/\/example.com\/docs",
      "profile": "Work \"A\""
    },
    {
      "enabled": false,
      "id": "7C9E6679-7425-40DE-944B-E07FC1F90AE7",
      "kind": "exactHost",
      "pattern": "www.example.com",
      "profile": "Pers)"
                                 "\xC3\xB6"
                                 R"(nlich"
    }
  ],
  "version": 1
}
)";
    EXPECT_EQ(ConfigJson::encode(sample()), expected);

    Configuration withDefault;
    withDefault.defaultProfile = "a/b";
    EXPECT_EQ(ConfigJson::encode(withDefault),
              "{\n  \"defaultProfile\": \"a\\/b\",\n  \"rules\": [],\n  \"version\": 1\n}\n");
}

TEST(ConfigJson, ReadsBackWhatItWritesAndAcceptsEquivalentForms)
{
    Configuration config = sample();
    EXPECT_EQ(ConfigJson::decode(ConfigJson::encode(config)), config);
    config.defaultProfile = "";
    EXPECT_EQ(ConfigJson::decode(ConfigJson::encode(config)), config);

    const auto decoded = ConfigJson::decode(R"({"version": 1, "extra": {"x": [1]}, "defaultProfile": null,
        "rules": [{"id": "0f8fad5b-d9cb-469f-a165-70867728950e", "enabled": true, "kind": "domain",
                   "pattern": "https://a/", "profile": "P", "note": "ignored"}]})");
    EXPECT_EQ(decoded.defaultProfile, std::nullopt);
    ASSERT_EQ(decoded.rules.size(), 1u);
    EXPECT_EQ(decoded.rules[0].id, firstId);
    EXPECT_EQ(decoded.rules[0].pattern, "https://a/");
}

TEST(ConfigJson, RefusesMissingOrMistypedKeys)
{
    const std::string rule =
        R"("id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": true, "kind": "domain", "pattern": "a.com")";
    const std::string refused[] = {
        "",
        "{",
        "[]",
        "null",
        R"({"version": 1, "rules": []} x)",
        R"({"rules": []})",
        R"({"version": 1})",
        R"({"version": "1", "rules": []})",
        R"({"version": 1.0, "rules": []})",
        R"({"version": true, "rules": []})",
        R"({"version": null, "rules": []})",
        R"({"version": 1e400, "rules": []})",
        R"({"version": 1, "rules": {}})",
        R"({"version": 1, "rules": null})",
        R"({"version": 1, "rules": [], "defaultProfile": 5})",
        R"({"version": 1, "rules": [], "defaultProfile": false})",
        R"({"version": 1, "rules": [], "defaultProfile": ["P"]})",
        R"({"version": 1, "rules": ["x"]})",
        "{\"version\": 1, \"rules\": [{" + rule + "}]}", // no profile
        "{\"version\": 1, \"rules\": [{" + rule + ", \"profile\": null}]}",
        "{\"version\": 1, \"rules\": [{" + rule + ", \"profile\": 1}]}",
        R"({"version": 1, "rules": [{"enabled": true, "kind": "domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "nope", "enabled": true, "kind": "domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": 1, "enabled": true, "kind": "domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": "true", "kind": "domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": 1, "kind": "domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": true, "kind": "Domain", "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": true, "kind": null, "pattern": "a", "profile": "P"}]})",
        R"({"version": 1, "rules": [{"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": true, "kind": "domain", "pattern": ["a"], "profile": "P"}]})",
        "{\"version\": 1, \"rules\": [], \"defaultProfile\": \"\xFF\"}", // not UTF-8
    };
    for (const auto& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ConfigJson::decode(text), DecodeError);
    }
}

TEST(ConfigJson, DecodesValuesThatValidationThenRefuses)
{
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {R"({"version": 2, "rules": []})", Messages::unsupportedVersion},
        {R"({"version": -1, "rules": []})", Messages::unsupportedVersion},
        // Must not wrap around to 1 on the way into an int.
        {R"({"version": 4294967297, "rules": []})", Messages::unsupportedVersion},
        {R"({"version": 18446744073709551615, "rules": []})", Messages::unsupportedVersion},
        {R"({"version": -4294967295, "rules": []})", Messages::unsupportedVersion},
        {R"({"version": 1, "rules": [], "defaultProfile": "  "})", Messages::chooseDefault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Configuration config = ConfigJson::decode(c.text);
        EXPECT_EQ(refusal([&] { config.validate(); }), c.message);
    }
}

} // namespace
} // namespace corvane
