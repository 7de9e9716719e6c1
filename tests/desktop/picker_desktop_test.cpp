// The picker on a real X desktop: a link no rule claims, answered from the
// keyboard and the mouse, with a fake browser that records how it was started.

#include "desktop_session.h"

#include <QDir>
#include <QFile>
#include <QThread>

namespace corvane::testing {
namespace {

class PickerDesktop : public DesktopTest {
protected:
    void SetUp() override
    {
        if (!QDir(qEnvironmentVariable("CORVANE_SOURCE_DIR") + "/src/ui/picker").exists())
            GTEST_SKIP() << "this build has no picker yet";
        DesktopTest::SetUp();
        // Two profiles in a fixed order; no rule and no default profile.
        write(path("config/chromium/Local State"), R"({"profile": {
            "profiles_order": ["Default", "Profile 1"],
            "info_cache": {"Default": {"name": "Personal"}, "Profile 1": {"name": "Work"}}}})");
        write(path("config/corvane/settings.json"), R"({"version": 1, "rules": []})");
        // Listed before, and running now: the profiles are read at start-up.
        write(path("config/corvane/corvane.conf"), "[General]\nconnectedBefore=true\n");
        write(path("bin/chromium"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" + path("opened").toUtf8() + "\"\n");
        QFile::setPermissions(path("bin/chromium"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A process named like the browser, so it counts as running.
        QDir().mkpath(path("running"));
        QFile::copy("/bin/sleep", path("running/chromium"));
        m_browser.start(path("running/chromium"), {"600"});
        ASSERT_TRUE(m_browser.waitForStarted(5000));
    }
    void TearDown() override
    {
        DesktopTest::TearDown();
        if (m_browser.state() != QProcess::NotRunning) {
            m_browser.kill();
            m_browser.waitForFinished(5000);
        }
    }

    // Starts Corvane, waits for its panel, and then hands it `link` as the
    // desktop would; true once the picker shows.
    bool pickerFor(const QString& link)
    {
        corvane({link});
        return waitFor([&] { return visibleWindow(pickerTitle) != 0; });
    }
    QStringList opened() { return QString::fromUtf8(read(path("opened"))).split('\n', Qt::SkipEmptyParts); }

    static constexpr const char* pickerTitle = "Open link in profile";
    QProcess m_browser;
};

TEST_F(PickerDesktop, DigitOpensTheLinkInThatProfileAndEscapeLeavesTheNextOneWaiting)
{
    startDesktop();
    corvane();
    ASSERT_TRUE(waitFor([&] { return visibleWindow("Corvane") != 0; }));

    ASSERT_TRUE(pickerFor("https://unmatched.example.net/"));
    xdotool({"key", "2"});
    ASSERT_TRUE(waitFor([&] { return opened().size() == 2; }));
    EXPECT_EQ(opened(), QStringList({"--profile-directory=Profile 1", "https://unmatched.example.net/"}));
    EXPECT_TRUE(waitFor([&] { return visibleWindow(pickerTitle) == 0; }));

    ASSERT_TRUE(pickerFor("https://second.example.net/"));
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitFor([&] { return visibleWindow(pickerTitle) == 0; }));

    // The link waits: quitting now asks first.
    corvane();
    qulonglong panel = 0;
    ASSERT_TRUE(waitFor([&] { return (panel = visibleWindow("Corvane")) != 0; }));
    xdotool({"windowactivate", "--sync", QString::number(panel)});
    xdotool({"key", "ctrl+q"});
    EXPECT_TRUE(waitFor([&] {
        return xdotool({"search", "--onlyvisible", "--name", "^Corvane$"})
                   .split('\n', Qt::SkipEmptyParts)
                   .size() >= 2;
    })) << "the quit confirmation shows beside the panel";
    EXPECT_EQ(opened().size(), 2) << "the dismissed link was not opened";
}

// The first click of the day: Corvane is not running, the desktop starts it
// with a link that no rule claims. The picker comes up and stays up while
// the rest of Corvane is built, and a key opens the link.
TEST_F(PickerDesktop, ColdStartWithALinkKeepsThePickerUpUntilAKeyAnswersIt)
{
    startDesktop();
    corvane({"https://no-rule.example.net/"});
    ASSERT_TRUE(waitFor([&] { return visibleWindow(pickerTitle) != 0; }));
    QThread::msleep(1000);
    ASSERT_NE(visibleWindow(pickerTitle), 0u) << "the picker is still up a second later";
    EXPECT_EQ(visibleWindow("Corvane"), 0u) << "a launch for a link opens no panel";
    xdotool({"key", "1"});
    ASSERT_TRUE(waitFor([&] { return opened().size() == 2; }));
    EXPECT_EQ(opened(), QStringList({"--profile-directory=Default", "https://no-rule.example.net/"}));
}

TEST_F(PickerDesktop, AlwaysUseForThisSiteAddsTheDomainRule)
{
    startDesktop();
    corvane();
    ASSERT_TRUE(waitFor([&] { return visibleWindow("Corvane") != 0; }));

    ASSERT_TRUE(pickerFor("https://www.always.example.net/page"));
    const QRect picker = geometry(visibleWindow(pickerTitle));
    // The checkbox row sits right above the footer ("esc Decide later").
    click({picker.left() + 80, picker.bottom() - 49});
    xdotool({"key", "1"});

    ASSERT_TRUE(waitFor([&] { return opened().size() == 2; }));
    EXPECT_EQ(opened().last(), "https://www.always.example.net/page");
    ASSERT_TRUE(
        waitFor([&] { return read(path("config/corvane/settings.json")).contains("always.example.net"); }));
    const QByteArray settings = read(path("config/corvane/settings.json"));
    EXPECT_TRUE(settings.contains(R"("kind": "domain")")) << settings.toStdString();
    EXPECT_TRUE(settings.contains(R"("pattern": "always.example.net")")) << settings.toStdString();
    EXPECT_TRUE(settings.contains(R"("profile": "Personal")")) << settings.toStdString();
}

} // namespace
} // namespace corvane::testing
