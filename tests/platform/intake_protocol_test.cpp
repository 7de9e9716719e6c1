#include "platform/intake/intake_folder.h"
#include "platform/intake/intake_protocol.h"
#include "platform/linux/launch_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace corvane;
using IntakeProtocol::Status;

namespace {

std::string number(std::uint32_t value)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(char((value >> shift) & 0xff));
    return out;
}

std::string framed(const std::string& body)
{
    return number(std::uint32_t(body.size())) + body;
}

TEST(IntakeProtocol, MessagesComeBackAsSentAndOnlyWhenComplete)
{
    const std::vector<IntakeProtocol::Message> messages{
        {},
        {{"https://example.org/", "https://b.example/päth?q=a b#x", ""}, "startup_TIME1", "token"},
        // Far longer than any web link: the router, not the intake, refuses it.
        {{std::string(100000, 'x')}, "", ""},
    };
    for (const auto& message : messages) {
        const std::optional<std::string> bytes = IntakeProtocol::encode(message);
        ASSERT_TRUE(bytes);
        for (std::size_t part = 0; part < bytes->size(); part += 1 + part / 2)
            EXPECT_EQ(IntakeProtocol::decode(bytes->substr(0, part)).status, Status::incomplete) << part;
        const auto decoded = IntakeProtocol::decode(*bytes + "more");
        EXPECT_EQ(decoded.status, Status::complete);
        EXPECT_EQ(decoded.message, message);
        EXPECT_EQ(decoded.size, bytes->size());
    }
}

TEST(IntakeProtocol, LimitsAreKeptOnBothSides)
{
    EXPECT_FALSE(IntakeProtocol::encode({{std::string(IntakeProtocol::maxMessageBytes, 'x')}, "", ""}));
    EXPECT_FALSE(IntakeProtocol::encode({{}, std::string(IntakeProtocol::maxTokenBytes + 1, 'x'), ""}));
    std::vector<std::string> many(IntakeProtocol::maxMessageBytes / 32768 + 1, std::string(32768, 'x'));
    EXPECT_FALSE(IntakeProtocol::encode({many, "", ""}));

    const std::string empty = number(0) + number(0) + number(0);
    const struct {
        const char* name;
        std::string bytes;
    } malformed[] = {
        {"larger than any message, refused before it arrives", number(IntakeProtocol::maxMessageBytes + 1)},
        {"shorter than an empty message", framed(number(0))},
        {"more links than the body can hold", framed(number(1000) + number(0) + number(0))},
        {"a link past the end of the body", framed(number(1) + number(50) + "x" + number(0) + number(0))},
        {"a link longer than its message",
         framed(number(1) + number(IntakeProtocol::maxMessageBytes) + "x" + number(0) + number(0))},
        {"a token beyond its limit", framed(number(0) + number(IntakeProtocol::maxTokenBytes + 1) +
                                            std::string(IntakeProtocol::maxTokenBytes + 1, 'x') + number(0))},
        {"bytes left over in the body", framed(empty + "x")},
    };
    for (const auto& [name, bytes] : malformed)
        EXPECT_EQ(IntakeProtocol::decode(bytes).status, Status::malformed) << name;
    EXPECT_EQ(IntakeProtocol::decode(framed(empty)).status, Status::complete);
}

class IntakeFolderTest : public ::testing::Test {
protected:
    std::string path(const QString& name) const { return m_dir.filePath(name).toStdString(); }
    std::string makeFolder(const QString& name, mode_t mode) const
    {
        QDir().mkpath(m_dir.filePath(name));
        ::chmod(path(name).c_str(), mode);
        return path(name);
    }
    static mode_t modeOf(const std::string& folder)
    {
        struct stat info {};
        ::lstat(folder.c_str(), &info);
        return info.st_mode & 07777;
    }
    QTemporaryDir m_dir;
};

TEST_F(IntakeFolderTest, RuntimeFolderWhenSafeElseOurOwnUnderTheCache)
{
    const std::string runtime = makeFolder("runtime", 0700);
    const std::string cache = path("cache");
    EXPECT_EQ(IntakeFolder::choose({runtime, cache, path("home")}), runtime);

    const std::string fallback = cache + "/corvane/run";
    const std::string shared = makeFolder("shared", 0777);
    QFile::link(m_dir.filePath("runtime"), m_dir.filePath("link"));
    for (const std::string& unsafe :
         {std::string(), std::string("relative/run"), shared, path("missing"), path("link")}) {
        EXPECT_EQ(IntakeFolder::choose({unsafe, cache, path("home")}), fallback) << unsafe;
        EXPECT_EQ(modeOf(fallback), 0700u);
    }
    EXPECT_EQ(IntakeFolder::choose({"", "", path("home")}), path("home") + "/.cache/corvane/run");
    EXPECT_EQ(IntakeFolder::choose({"", "", ""}), "");

    // A fallback folder someone opened up is closed again before use.
    ::chmod(fallback.c_str(), 0777);
    EXPECT_EQ(IntakeFolder::choose({"", cache, ""}), fallback);
    EXPECT_EQ(modeOf(fallback), 0700u);
}

TEST_F(IntakeFolderTest, SocketPathMustFitAnAddress)
{
    EXPECT_EQ(IntakeFolder::socketPath("/run/user/1000"), "/run/user/1000/corvane.sock");
    EXPECT_EQ(IntakeFolder::socketPath("/" + std::string(100, 'x')), "");
    EXPECT_EQ(IntakeFolder::socketPath(""), "");
}

TEST(LaunchEnvironment, DropsLoaderAndPackagingVariablesAndOptionallyTokens)
{
    const std::vector<std::string> session{
        "HOME=/home/u",         "LD_LIBRARY_PATH=/b/lib", "LD_PRELOAD=/b/x.so", "APPDIR=/b",
        "APPIMAGE=/b.AppImage", "QT_PLUGIN_PATH=/b/p",    "SNAP_REVISION=3",    "PATH=/usr/bin",
        "DESKTOP_STARTUP_ID=s", "XDG_ACTIVATION_TOKEN=t", "LANG=C.UTF-8",       "LD_BIND_NOW_X=kept"};
    EXPECT_EQ(LaunchEnvironment::clean(session, true),
              (std::vector<std::string>{"HOME=/home/u", "PATH=/usr/bin", "DESKTOP_STARTUP_ID=s",
                                        "XDG_ACTIVATION_TOKEN=t", "LANG=C.UTF-8", "LD_BIND_NOW_X=kept"}));
    EXPECT_EQ(
        LaunchEnvironment::clean(session, false),
        (std::vector<std::string>{"HOME=/home/u", "PATH=/usr/bin", "LANG=C.UTF-8", "LD_BIND_NOW_X=kept"}));
}

} // namespace
