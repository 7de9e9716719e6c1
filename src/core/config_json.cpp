#include "config_json.h"

#include "route_error.h"

#include <climits>
#include <nlohmann/json.hpp>

namespace corvane::ConfigJson {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& what)
{
    throw DecodeError("The settings file cannot be read: " + what);
}

const json& member(const json& object, const char* key, const std::string& where)
{
    const auto found = object.find(key);
    if (found == object.end())
        fail(where + "is missing \"" + key + "\".");
    return *found;
}

std::string stringMember(const json& object, const char* key, const std::string& where)
{
    const json& value = member(object, key, where);
    if (!value.is_string())
        fail(where + "\"" + key + "\" is not a string.");
    return value.get<std::string>();
}

// A version outside int's range is still a number other than 1: keep it
// unsupported rather than letting it wrap around to a supported value.
int readVersion(const json& value)
{
    if (!value.is_number_integer())
        fail("\"version\" is not an integer.");
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : value.get<int>();
    const auto number = value.get<std::int64_t>();
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return static_cast<int>(number);
}

Rule readRule(const json& object, std::size_t index)
{
    const std::string where = "rule " + std::to_string(index + 1) + " ";
    if (!object.is_object())
        fail(where + "is not an object.");
    Rule rule;
    const auto id = Uuid::parse(stringMember(object, "id", where));
    if (!id)
        fail(where + "has a malformed \"id\".");
    rule.id = *id;
    const json& enabled = member(object, "enabled", where);
    if (!enabled.is_boolean())
        fail(where + "\"enabled\" is not true or false.");
    rule.enabled = enabled.get<bool>();
    const std::string kindId = stringMember(object, "kind", where);
    const auto kind = matchKindFromId(kindId);
    if (!kind)
        fail(where + "has an unknown \"kind\" \"" + kindId + "\".");
    rule.kind = *kind;
    rule.pattern = stringMember(object, "pattern", where);
    rule.profile = stringMember(object, "profile", where);
    return rule;
}

} // namespace

std::string encode(const Configuration& config)
{
    json rules = json::array();
    for (const Rule& rule : config.rules) {
        rules.push_back(json{{"enabled", rule.enabled},
                             {"id", rule.id.toString()},
                             {"kind", std::string(matchKindId(rule.kind))},
                             {"pattern", rule.pattern},
                             {"profile", rule.profile}});
    }
    json document{{"rules", std::move(rules)}, {"version", config.version}};
    if (config.defaultProfile)
        document["defaultProfile"] = *config.defaultProfile;
    // nlohmann's object is a std::map, so keys come out in byte order. A
    // string that is not UTF-8 cannot be stored in JSON; it is written with
    // U+FFFD in place of the bad bytes rather than failing the save.
    const std::string dumped = document.dump(2, ' ', false, json::error_handler_t::replace);
    std::string text;
    text.reserve(dumped.size() + dumped.size() / 8 + 1);
    // "/" only ever occurs inside JSON strings, so escaping it on the dumped
    // text is safe.
    for (char c : dumped) {
        if (c == '/')
            text += '\\';
        text += c;
    }
    text += '\n';
    return text;
}

Configuration decode(std::string_view bytes)
{
    json document;
    try {
        document = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& error) {
        fail(std::string("it is not valid JSON (") + error.what() + ").");
    }
    if (!document.is_object())
        fail("it is not a JSON object.");
    Configuration config;
    config.version = readVersion(member(document, "version", "the document "));
    const json& rules = member(document, "rules", "the document ");
    if (!rules.is_array())
        fail("\"rules\" is not a list.");
    config.rules.reserve(rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i)
        config.rules.push_back(readRule(rules[i], i));
    if (const auto found = document.find("defaultProfile"); found != document.end() && !found->is_null()) {
        if (!found->is_string())
            fail("\"defaultProfile\" is not a string.");
        config.defaultProfile = found->get<std::string>();
    }
    return config;
}

} // namespace corvane::ConfigJson
