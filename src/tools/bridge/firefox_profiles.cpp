#include "firefox_profiles.h"

#include "tool_error.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>

namespace corvane::BridgeTool {

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

struct Section {
    std::string name;
    std::map<std::string, std::string> keys;
};

std::vector<Section> parseIni(const std::string& text, const std::string& malformed)
{
    std::vector<Section> sections;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (sections.empty() && line.starts_with("\xEF\xBB\xBF"))
            line = line.substr(3);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                throw ToolError(malformed);
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0 || sections.empty())
            throw ToolError(malformed);
        sections.back().keys[trimmed(line.substr(0, equals))] = trimmed(line.substr(equals + 1));
    }
    return sections;
}

fs::path folderOf(const std::string& path, bool relative, const fs::path& root)
{
    return (relative ? root / path : fs::path(path)).lexically_normal();
}

bool isProfileSection(const std::string& name)
{
    return name.size() > 7 && name.starts_with("Profile") &&
           std::all_of(name.begin() + 7, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A copy of a database and its write-ahead log in a folder of our own.
class Snapshot {
public:
    explicit Snapshot(const fs::path& database)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-bridge-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return;
        m_folder = pattern;
        std::error_code ec;
        fs::copy_file(database, m_folder / "group.sqlite", ec);
        if (ec) {
            m_error = ec.message();
            return;
        }
        fs::path wal = database;
        wal += "-wal";
        if (fs::exists(wal, ec))
            fs::copy_file(wal, m_folder / "group.sqlite-wal", ec);
    }
    ~Snapshot()
    {
        std::error_code ec;
        if (!m_folder.empty())
            fs::remove_all(m_folder, ec);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    fs::path file() const { return m_folder / "group.sqlite"; }
    std::string error() const { return m_folder.empty() ? "no temporary folder" : m_error; }

private:
    fs::path m_folder;
    std::string m_error;
};

} // namespace

ProfilesIni readProfilesIni(const std::string& text, const fs::path& root, const std::string& malformed)
{
    ProfilesIni ini;
    std::optional<std::string> installDefault;
    std::optional<std::size_t> markedDefault;
    std::vector<std::string> paths; // as written, to find the install's default by
    for (const Section& section : parseIni(text, malformed)) {
        if (const auto store = section.keys.find("StoreID");
            store != section.keys.end() && !store->second.empty() &&
            std::find(ini.storeIds.begin(), ini.storeIds.end(), store->second) == ini.storeIds.end())
            ini.storeIds.push_back(store->second);
        if (section.name.starts_with("Install")) {
            if (const auto found = section.keys.find("Default");
                found != section.keys.end() && !installDefault)
                installDefault = found->second;
            continue;
        }
        if (!isProfileSection(section.name))
            continue;
        const auto name = section.keys.find("Name");
        const auto path = section.keys.find("Path");
        if (name == section.keys.end() || path == section.keys.end() || name->second.empty() ||
            path->second.empty())
            throw ToolError(malformed);
        const auto relative = section.keys.find("IsRelative");
        const bool isRelative = relative == section.keys.end() || relative->second != "0";
        if (const auto marked = section.keys.find("Default");
            marked != section.keys.end() && marked->second == "1")
            markedDefault = ini.profiles.size();
        ini.profiles.push_back({name->second, folderOf(path->second, isRelative, root), true});
        paths.push_back(path->second);
    }
    std::optional<std::size_t> first = markedDefault;
    if (installDefault) {
        const auto found = std::find(paths.begin(), paths.end(), *installDefault);
        if (found != paths.end())
            first = static_cast<std::size_t>(found - paths.begin());
    }
    if (first && *first > 0)
        std::rotate(ini.profiles.begin(), ini.profiles.begin() + static_cast<std::ptrdiff_t>(*first),
                    ini.profiles.begin() + static_cast<std::ptrdiff_t>(*first) + 1);
    return ini;
}

std::vector<FirefoxProfile> readProfileGroup(const fs::path& database, const fs::path& root,
                                             const std::string& unreadable)
{
    Snapshot snapshot(database);
    if (!snapshot.error().empty())
        throw ToolError(unreadable + snapshot.error() + ".");
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(snapshot.file().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    std::vector<FirefoxProfile> profiles;
    std::string failure;
    sqlite3_stmt* query = nullptr;
    if (opened != SQLITE_OK || sqlite3_prepare_v2(db, "SELECT name, path FROM Profiles ORDER BY id", -1,
                                                  &query, nullptr) != SQLITE_OK) {
        failure = db ? sqlite3_errmsg(db) : "out of memory";
    } else {
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(query)) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
            const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(query, 1));
            if (!name || !path || !*name || !*path)
                continue;
            const fs::path folder(path);
            profiles.push_back(
                {name, (folder.is_absolute() ? folder : root / folder).lexically_normal(), false});
        }
        if (step != SQLITE_DONE)
            failure = sqlite3_errmsg(db);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    if (!failure.empty())
        throw ToolError(unreadable + failure + ".");
    return profiles;
}

} // namespace corvane::BridgeTool
