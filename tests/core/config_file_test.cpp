#include "core/config_file.h"
#include "core/config_json.h"
#include "messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::refusal;

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "corvane-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path root() const { return m_root; }
    fs::path settings() const { return m_root / "settings.json"; }

    static std::string read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    static void write(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static unsigned mode(const fs::path& path)
    {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_root))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static Configuration config(const std::string& profile)
    {
        Configuration c;
        c.rules = {Rule::make(MatchKind::domain, "example.com", profile),
                   Rule::make(MatchKind::urlPrefix, "https://example.com/docs", "Docs", false)};
        c.defaultProfile = "Home";
        return c;
    }

private:
    fs::path m_root;
};

TEST_F(ConfigFileTest, MissingFileLoadsTheDefaultAndCreatesNothing)
{
    EXPECT_EQ(ConfigFile::load(root() / "a" / "b" / "settings.json"), Configuration());
    EXPECT_EQ(ConfigFile::load(settings()), Configuration());
    EXPECT_TRUE(entries().empty());
}

TEST_F(ConfigFileTest, FirstSaveCreatesFoldersAnOwnerOnlyFileAndNoBackup)
{
    const fs::path file = root() / "x" / "corvane" / "settings.json";
    const Configuration saved = config("Work");
    ConfigFile::save(saved, file);
    EXPECT_EQ(fs::directory_iterator(file.parent_path())->path().filename(), "settings.json");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(read(file), ConfigJson::encode(saved));
    EXPECT_EQ(ConfigFile::load(file), saved);
}

TEST_F(ConfigFileTest, EachSaveKeepsThePreviousBytesAsTheBackup)
{
    EXPECT_EQ(ConfigFile::backupPath(settings()), root() / "settings.json.backup");
    ConfigFile::save(config("First"), settings());
    const std::string first = read(settings());
    ConfigFile::save(config("Second"), settings());
    EXPECT_EQ(read(ConfigFile::backupPath(settings())), first);
    ConfigFile::save(config("Third"), settings());
    EXPECT_EQ(ConfigFile::load(settings()).rules[0].profile, "Third");
    EXPECT_EQ(ConfigJson::decode(read(ConfigFile::backupPath(settings()))).rules[0].profile, "Second");
    EXPECT_EQ((entries()), (std::vector<std::string>{"settings.json", "settings.json.backup"}));
}

TEST_F(ConfigFileTest, ReplacesTheFileSoAnOpenReaderKeepsTheOldBytes)
{
    ConfigFile::save(config("First"), settings());
    const std::string first = read(settings());
    std::ifstream reader(settings(), std::ios::binary);
    ConfigFile::save(config("Second"), settings());
    std::ostringstream seen;
    seen << reader.rdbuf();
    EXPECT_EQ(seen.str(), first); // rewriting in place would have shown a mix
    EXPECT_NE(read(settings()), first);
}

TEST_F(ConfigFileTest, SavingOverAnUnreadableFileKeepsItsBytesAsTheBackup)
{
    write(settings(), "{ not json");
    ::chmod(settings().c_str(), 0644);
    const Configuration saved = config("Work");
    ConfigFile::save(saved, settings());
    EXPECT_EQ(read(ConfigFile::backupPath(settings())), "{ not json");
    EXPECT_EQ(mode(settings()), 0600u);
    EXPECT_EQ(ConfigFile::load(settings()), saved);
}

TEST_F(ConfigFileTest, AnInvalidConfigurationTouchesNothing)
{
    write(settings(), "old");
    write(ConfigFile::backupPath(settings()), "older");
    Configuration invalid = config("Work");
    invalid.version = 2;
    EXPECT_EQ(refusal([&] { ConfigFile::save(invalid, settings()); }), Messages::unsupportedVersion);
    EXPECT_EQ(read(settings()), "old");
    EXPECT_EQ(read(ConfigFile::backupPath(settings())), "older");

    const fs::path elsewhere = root() / "new" / "settings.json";
    EXPECT_EQ(refusal([&] { ConfigFile::save(invalid, elsewhere); }), Messages::unsupportedVersion);
    EXPECT_FALSE(fs::exists(elsewhere.parent_path()));
}

TEST_F(ConfigFileTest, LoadReportsUnusableFilesAndLeavesThemAlone)
{
    const std::string rule = R"({"id": "0F8FAD5B-D9CB-469F-A165-70867728950E", "enabled": true, "kind": "%s",
        "pattern": "example.com", "profile": "P"})";
    const auto document = [&](const char* kind, int version) {
        std::string r = rule;
        r.replace(r.find("%s"), 2, kind);
        return "{\"version\": " + std::to_string(version) + ", \"rules\": [" + r + "]}";
    };

    write(settings(), document("Domain", 1));
    EXPECT_THROW(ConfigFile::load(settings()), DecodeError);
    write(settings(), "");
    EXPECT_THROW(ConfigFile::load(settings()), DecodeError);
    write(settings(), document("domain", 2));
    EXPECT_EQ(refusal([&] { ConfigFile::load(settings()); }), Messages::unsupportedVersion);
    EXPECT_EQ(read(settings()), document("domain", 2));
    write(settings(), document("domain", 1));
    EXPECT_EQ(ConfigFile::load(settings()).rules.size(), 1u);
    EXPECT_EQ((entries()), (std::vector<std::string>{"settings.json"}));

    fs::create_directory(root() / "folder.json");
    try {
        ConfigFile::load(root() / "folder.json");
        ADD_FAILURE() << "a folder loaded as settings";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find((root() / "folder.json").string()), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("Is a directory"), std::string::npos) << error.what();
    }
}

TEST_F(ConfigFileTest, AFolderThatCannotBeCreatedIsReportedWithPathAndReason)
{
    // Running as root defeats permission bits, so block the folder with a file.
    write(root() / "blocker", "x");
    const fs::path file = root() / "blocker" / "corvane" / "settings.json";
    try {
        ConfigFile::save(config("Work"), file);
        ADD_FAILURE() << "saved below a regular file";
    } catch (const FileError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find((root() / "blocker").string()), std::string::npos) << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    }
    EXPECT_EQ(read(root() / "blocker"), "x");
}

TEST_F(ConfigFileTest, AFailedBackupLeavesTheSettingsAsTheyWere)
{
    ConfigFile::save(config("First"), settings());
    const std::string first = read(settings());
    fs::create_directory(ConfigFile::backupPath(settings())); // cannot be replaced by a file
    EXPECT_THROW(ConfigFile::save(config("Second"), settings()), FileError);
    EXPECT_EQ(read(settings()), first);
    EXPECT_EQ((entries()), (std::vector<std::string>{"settings.json", "settings.json.backup"}));
}

TEST_F(ConfigFileTest, ASettingsPathThatIsAFolderIsReportedAndKept)
{
    fs::create_directory(settings());
    EXPECT_THROW(ConfigFile::save(config("Work"), settings()), FileError);
    EXPECT_TRUE(fs::is_directory(settings()));
    EXPECT_EQ((entries()), (std::vector<std::string>{"settings.json"}));
}

TEST_F(ConfigFileTest, ASymbolicLinkStaysAndItsTargetGetsTheNewContent)
{
    struct Case {
        const char* what;
        fs::path link;   // where the settings are expected
        fs::path target; // what the link says, relative to the link's folder when relative
        fs::path lands;  // where the content must arrive
    };
    const Case cases[] = {
        {"absolute link into a dotfiles folder", root() / "a" / "settings.json",
         root() / "dotfiles" / "corvane.json", root() / "dotfiles" / "corvane.json"},
        {"relative link", root() / "b" / "settings.json", "../dotfiles/b.json",
         root() / "dotfiles" / "b.json"},
        {"a link to a link", root() / "c" / "settings.json", root() / "a" / "settings.json",
         root() / "dotfiles" / "corvane.json"},
    };
    fs::create_directories(root() / "dotfiles");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(c.link.parent_path());
        fs::create_symlink(c.target, c.link);
        EXPECT_EQ(ConfigFile::resolveLinks(c.link).lexically_normal(), c.lands);
        const Configuration first = config("First"), second = config("Second");
        ConfigFile::save(first, c.link); // the target does not exist yet
        ConfigFile::save(second, c.link);
        EXPECT_TRUE(fs::is_symlink(c.link));
        EXPECT_EQ(fs::read_symlink(c.link), c.target);
        EXPECT_EQ(ConfigJson::decode(read(c.lands)), second);
        EXPECT_EQ(mode(c.lands), 0600u);
        EXPECT_EQ(ConfigJson::decode(read(ConfigFile::backupPath(c.link))), first);
        EXPECT_EQ(ConfigFile::load(c.link), second);
    }
    // Nothing left over beside the links or their targets.
    for (const auto& entry : fs::recursive_directory_iterator(root()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
}

TEST_F(ConfigFileTest, StaleTemporaryFilesOfOurNamingAreRemoved)
{
    fs::create_directories(root() / "dotfiles");
    fs::create_symlink(root() / "dotfiles" / "corvane.json", settings());
    const std::vector<std::string> ours{".settings.json.a1B2c3", ".settings.json.backup.XyZ789"};
    const std::vector<std::string> others{".settings.json.toolong7", ".settings.json.ab-cd!",
                                          "settings.json.AbCdEf", ".other.json.AbCdEf", "notes.txt"};
    for (const auto& name : ours)
        write(root() / name, "{");
    for (const auto& name : others)
        write(root() / name, "{");
    write(root() / "dotfiles" / ".corvane.json.Q1w2E3", "{");
    fs::create_directory(root() / ".settings.json.folder"); // not a file
    fs::create_symlink(root() / "notes.txt", root() / ".settings.json.link00");

    ConfigFile::removeStaleTemporaries(settings());

    for (const auto& name : ours)
        EXPECT_FALSE(fs::exists(root() / name)) << name;
    EXPECT_FALSE(fs::exists(root() / "dotfiles" / ".corvane.json.Q1w2E3"));
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(root() / name)) << name;
    EXPECT_TRUE(fs::is_directory(root() / ".settings.json.folder"));
    EXPECT_TRUE(fs::is_symlink(root() / ".settings.json.link00"));
    ConfigFile::removeStaleTemporaries(root() / "missing" / "settings.json"); // no folder: nothing to do
}

TEST_F(ConfigFileTest, OnlyARegularFileOfSensibleSizeIsRead)
{
    const std::string small = R"({"version": 1, "rules": []})";
    std::string padded = small;
    padded.insert(1, ConfigFile::maxFileSize - small.size(), ' ');
    write(settings(), padded);
    EXPECT_EQ(ConfigFile::load(settings()), Configuration()) << "exactly the limit is fine";

    write(settings(), padded + " ");
    try {
        ConfigFile::load(settings());
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not read \"" + settings().string() +
                      "\": it is larger than 1 MiB, far more than any settings file.");
    }

    // A FIFO would block a plain open until some writer comes along.
    fs::remove(settings());
    ASSERT_EQ(::mkfifo(settings().c_str(), 0600), 0);
    try {
        ConfigFile::load(settings());
        ADD_FAILURE() << "a FIFO was read";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not read \"" + settings().string() + "\": it is not a regular file.");
    }
    EXPECT_THROW(ConfigFile::save(config("Work"), settings()), FileError);
    EXPECT_TRUE(fs::is_fifo(settings()));
}

} // namespace
} // namespace corvane
