#include "profile_identity.h"

#include "platform/linux/native_hosts.h"
#include "profile_choices.h"
#include "tool_error.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace corvane::ExtensionHost {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view tokenPrefix = "corvane-profile-";
// Extension storage of a few entries; a folder far larger is not ours to read through.
constexpr std::uintmax_t maxStorageFile = 16 * 1024 * 1024;

bool fileHolds(const fs::path& file, const std::string& text)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || fs::file_size(file, ec) > maxStorageFile || ec)
        return false;
    std::ifstream in(file, std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return content.find(text) != std::string::npos;
}

bool storageHolds(const fs::path& profile, const std::string& token)
{
    const fs::path storage = profile / "Local Extension Settings" / NativeHosts::chromiumExtensionId;
    std::error_code ec;
    for (fs::directory_iterator it(storage, ec), end; !ec && it != end; it.increment(ec)) {
        if (fileHolds(it->path(), token))
            return true;
    }
    return false;
}

// The profiles of `browser`, or none when its list cannot be read.
std::vector<BridgeTool::Choice> choices(const Browsers::Browser& browser)
{
    try {
        return BridgeTool::choicesOf(browser);
    } catch (const BridgeTool::ToolError&) {
        return {};
    }
}

bool sameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

} // namespace

bool isToken(const std::string& token)
{
    if (!token.starts_with(tokenPrefix) || token.size() < tokenPrefix.size() + 16 || token.size() > 80)
        return false;
    return std::all_of(token.begin() + tokenPrefix.size(), token.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
    });
}

std::optional<Identity> chromiumProfileMarked(const std::string& token)
{
    if (!isToken(token))
        return std::nullopt;
    std::optional<Identity> found;
    for (const Browsers::Browser& browser : Browsers::all()) {
        if (browser.family != Browsers::Family::chromium)
            continue;
        for (const BridgeTool::Choice& choice : choices(browser)) {
            if (!storageHolds(choice.home, token))
                continue;
            if (found)
                return std::nullopt;
            found = Identity{browser.id, choice.name};
        }
    }
    return found;
}

std::optional<fs::path> firefoxProfileFolderOf(pid_t firefox)
{
    const fs::path fds = "/proc/" + std::to_string(firefox) + "/fd";
    std::error_code ec;
    for (fs::directory_iterator it(fds, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code readError;
        const fs::path target = fs::read_symlink(it->path(), readError);
        if (!readError && target.filename() == ".parentlock")
            return target.parent_path();
    }
    return std::nullopt;
}

std::optional<Identity> firefoxProfileAt(const fs::path& folder)
{
    for (const Browsers::Browser& browser : Browsers::all()) {
        if (browser.family != Browsers::Family::firefox)
            continue;
        for (const BridgeTool::Choice& choice : choices(browser)) {
            if (sameFolder(choice.home, folder))
                return Identity{browser.id, choice.name};
        }
    }
    return std::nullopt;
}

} // namespace corvane::ExtensionHost
