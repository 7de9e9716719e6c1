#include "platform/linux/browsers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

using namespace corvane;

namespace {

// Points PATH at a folder of fake executables for the life of the object.
class FakePath {
public:
    FakePath() : m_old(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", m_dir.path().toStdString().c_str(), 1);
    }
    ~FakePath() { ::setenv("PATH", m_old.c_str(), 1); }
    void add(const std::string& name)
    {
        const std::string file = m_dir.path().toStdString() + "/" + name;
        std::ofstream(file) << "#!/bin/sh\n";
        ::chmod(file.c_str(), 0755);
    }

private:
    QTemporaryDir m_dir;
    std::string m_old;
};

} // namespace

TEST(Browsers, TargetIsPreferenceElseFirstInstalledElseFirstOfTable)
{
    FakePath path;
    EXPECT_EQ(Browsers::target("").id, "chromium") << "nothing installed";
    path.add("vivaldi-stable");
    path.add("brave");
    EXPECT_EQ(Browsers::target("").id, "brave");
    EXPECT_EQ(Browsers::target("no-such-browser").id, "brave");
    EXPECT_EQ(Browsers::target("vivaldi").id, "vivaldi");
    EXPECT_EQ(Browsers::target("microsoft-edge").id, "microsoft-edge") << "a known but missing choice is kept";
    EXPECT_FALSE(Browsers::isInstalled(Browsers::target("microsoft-edge")));
}

TEST(Browsers, UserDataFolderFollowsXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(Browsers::userDataFolder(*Browsers::byId("brave")), "/tmp/cfg/BraveSoftware/Brave-Browser");
    ::setenv("HOME", "/tmp/home", 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Browsers::userDataFolder(*Browsers::byId("chromium")), "/tmp/home/.config/chromium");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

// A second installation of the same browser is what makes the packaging part
// of the name; alone, a Snap or Flatpak is just the browser.
TEST(Browsers, PackagingIsNamedOnlyBesideAnotherInstallationOfTheSameBrowser)
{
    FakePath path;
    QTemporaryDir snaps;
    const std::string snapBin = snaps.path().toStdString();
    ::setenv("CORVANE_SNAP_BIN", snapBin.c_str(), 1);
    std::ofstream(snapBin + "/firefox") << "#!/bin/sh\n";
    ::chmod((snapBin + "/firefox").c_str(), 0755);

    const Browsers::Browser& snap = *Browsers::byId("firefox-snap");
    EXPECT_EQ(Browsers::target("").id, "firefox-snap");
    EXPECT_EQ(Browsers::displayName(snap), "Firefox");
    path.add("firefox-esr");
    EXPECT_EQ(Browsers::target("").id, "firefox") << "the system package comes first";
    EXPECT_EQ(Browsers::displayName(snap), "Firefox (Snap)");
    EXPECT_EQ(Browsers::displayName(*Browsers::byId("firefox")), "Firefox");
    EXPECT_EQ(Browsers::findLauncher(snap)->program, snapBin + "/firefox");
    ::unsetenv("CORVANE_SNAP_BIN");
}
