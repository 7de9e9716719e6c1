#include "unwrap.h"

#include "text.h"
#include "web_link.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace corvane::Unwrap {
namespace {

constexpr std::array<std::string_view, 9> followHosts{
    "click.redditmail.com", // Reddit's mail click tracker
    "t.co",                 // X (Twitter)
    "lnkd.in",              // LinkedIn
    "bit.ly",               // Bitly
    "buff.ly",              // Buffer
    "ow.ly",                // Hootsuite
    "tinyurl.com",          // TinyURL
    "go.skimresources.com", // Skimlinks
    "link.notion.so",       // Notion's outbound links
};

constexpr std::array<std::string_view, 8> followPrefixes{"click.", "clicks.", "links.", "link.",
                                                         "email.", "track.",  "trk.",   "url."};

// Matched with the leading dot: the service's bare domain is not a tracker.
constexpr std::array<std::string_view, 5> followSuffixes{
    ".list-manage.com",   // Mailchimp
    ".ct.sendgrid.net",   // SendGrid click tracking
    ".hubspotlinks.com",  // HubSpot
    ".mailgun.org",       // Mailgun
    ".sparkpostmail.com", // SparkPost
};

bool onHost(const std::string& host, const std::string& entry)
{
    return host == entry || (host.size() > entry.size() && host.ends_with(entry) &&
                             host[host.size() - entry.size() - 1] == '.');
}

} // namespace

const std::vector<ParamHost>& paramHosts()
{
    static const std::vector<ParamHost> table{
        {"google.com", "/url", "q"},
        {"google.com", "/url", "url"},
        {"safelinks.protection.outlook.com", std::nullopt, "url"},
        {"l.facebook.com", "/l.php", "u"},
        {"lm.facebook.com", "/l.php", "u"},
        {"slack-redir.net", "/link", "url"},
        {"l.instagram.com", std::nullopt, "u"},
    };
    return table;
}

std::optional<Url> fromParameter(const Url& url)
{
    if (!url.query)
        return std::nullopt;
    const std::string host = Text::lower(url.host.value_or(""));
    const std::string path = url.decodedPath().value_or(url.path);
    const auto items = url.queryItems();
    for (const ParamHost& entry : paramHosts()) {
        if (!onHost(host, entry.host) || (entry.path && path != *entry.path))
            continue;
        const auto item = std::find_if(items.begin(), items.end(), [&](const QueryItem& candidate) {
            return candidate.name == entry.parameter;
        });
        if (item == items.end() || !item->value)
            continue;
        if (auto check = checkWebLink(*item->value); check.url)
            return std::move(check.url);
    }
    return std::nullopt;
}

bool shouldFollow(const Url& url)
{
    const std::string host = Text::lower(url.host.value_or(""));
    const auto isHost = [&](std::string_view entry) { return host == entry; };
    const auto hasPrefix = [&](std::string_view prefix) { return host.starts_with(prefix); };
    const auto hasSuffix = [&](std::string_view suffix) { return host.ends_with(suffix); };
    return std::any_of(followHosts.begin(), followHosts.end(), isHost) ||
           std::any_of(followPrefixes.begin(), followPrefixes.end(), hasPrefix) ||
           std::any_of(followSuffixes.begin(), followSuffixes.end(), hasSuffix);
}

bool isWeb(const Url& url)
{
    return checkWebLink(url.absoluteString()).url.has_value();
}

} // namespace corvane::Unwrap
