#include "desktop_sandbox.h"
#include "wait_until.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

TEST(DesktopServices, LinksAndFoldersGoToTheDesktopsOpener)
{
    DesktopSandbox sandbox;
    LinuxPlatform::Options options;
    options.opener = sandbox.writeScript("bin/opener", "echo \"$@\" >> \"$0.log\"\n");
    const QString log = options.opener + ".log";
    const auto platform = sandbox.platform(options);

    platform->openUrl(QUrl("-rf")); // a relative reference: nothing to open
    platform->openUrl(QUrl("mailto:someone@example.org?subject=Hello there"));
    ASSERT_TRUE(waitUntil([&] { return linesOf(log).size() == 1; }));
    platform->openUrl(QUrl("https://example.org/ä"));
    ASSERT_TRUE(waitUntil([&] { return linesOf(log).size() == 2; }));
    platform->openFolder(sandbox.path("docs"));
    ASSERT_TRUE(waitUntil([&] { return linesOf(log).size() == 3; }));
    // No file manager answers over D-Bus here: the folder opens instead.
    platform->revealFile(sandbox.path("docs/a b.txt"));
    ASSERT_TRUE(waitUntil([&] { return linesOf(log).size() == 4; }));

    EXPECT_EQ(linesOf(log),
              (QStringList{"mailto:someone@example.org?subject=Hello%20there", "https://example.org/%C3%A4",
                           sandbox.path("docs"), sandbox.path("docs")}));
}

TEST(DesktopServices, BridgeRunnerIsTheHelperBesideTheBinary)
{
    DesktopSandbox sandbox;
    const QString binary = sandbox.writeScript("prefix/bin/corvane");
    const auto platform = sandbox.platform(binary);
    EXPECT_EQ(platform->bridgeRunner(), QString());
    QFile(sandbox.path("prefix/bin/corvane-bridge")).open(QIODevice::WriteOnly);
    EXPECT_EQ(platform->bridgeRunner(), QString()) << "not executable";
    const QString helper = sandbox.writeScript("prefix/bin/corvane-bridge");
    EXPECT_EQ(platform->bridgeRunner(), helper);
}

} // namespace
