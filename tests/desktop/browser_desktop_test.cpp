// Links routed by a default profile on a real X desktop, to fake browsers
// that fail or take their time: only what the browser took counts as opened.

#include "desktop_session.h"

#include <QFile>

namespace corvane::testing {
namespace {

class BrowserDesktop : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        write(path("config/chromium/Local State"), R"({"profile": {
            "info_cache": {"Default": {"name": "Personal"}, "Profile 1": {"name": "Work"}}}})");
        write(path("config/corvane/settings.json"),
              R"({"version": 1, "rules": [], "defaultProfile": "Work"})");
    }

    // The browser runs `body`; the link is its last argument, in $url, and
    // "$opened" records what it took.
    void browser(const QByteArray& body)
    {
        write(path("bin/chromium"),
              "#!/bin/sh\nopened='" + path("opened").toUtf8() + "'\nfor url; do :; done\n" + body);
        QFile::setPermissions(path("bin/chromium"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QStringList opened() { return QString::fromUtf8(read(path("opened"))).split('\n', Qt::SkipEmptyParts); }
};

TEST_F(BrowserDesktop, AFailingBrowserLeavesTheLinkWaitingAndAsksForAttention)
{
    browser("echo \"$url\" >> \"$opened\"\necho 'The profile is locked by another computer.' >&2\nexit 21\n");
    startDesktop();
    corvane({"https://fails.example.net/", "https://next.example.net/"});
    ASSERT_TRUE(waitFor([&] { return !opened().isEmpty(); }));
    const qulonglong panel = [&] {
        qulonglong found = 0;
        waitFor([&] { return (found = visibleWindow("Corvane")) != 0; });
        return found;
    }();
    ASSERT_NE(panel, 0u) << "the failure brings the panel up";
    EXPECT_EQ(opened(), QStringList{"https://fails.example.net/"})
        << "the next link waits behind the failed one";

    // Both links wait: quitting asks first.
    xdotool({"windowactivate", "--sync", QString::number(panel)});
    xdotool({"key", "ctrl+q"});
    EXPECT_TRUE(waitFor([&] {
        return xdotool({"search", "--onlyvisible", "--name", "^Corvane$"})
                   .split('\n', Qt::SkipEmptyParts)
                   .size() >= 2;
    })) << "the quit confirmation shows beside the panel";
    EXPECT_EQ(opened().size(), 1);
}

TEST_F(BrowserDesktop, ABatchReachesASlowBrowserInArrivalOrder)
{
    browser("n=$(cat \"$opened.count\" 2>/dev/null || echo 0)\necho $((n + 1)) > \"$opened.count\"\n"
            "case $n in 0) sleep 0.6 ;; 1) sleep 0.3 ;; esac\necho \"$url\" >> \"$opened\"\n");
    startDesktop();
    const QStringList batch{"https://one.example.net/", "https://two.example.net/",
                            "https://three.example.net/"};
    corvane(batch);
    ASSERT_TRUE(waitFor([&] { return opened().size() == 3; }));
    EXPECT_EQ(opened(), batch);
    EXPECT_EQ(visibleWindow("Corvane"), 0u) << "nothing needed the user";
}

} // namespace
} // namespace corvane::testing
