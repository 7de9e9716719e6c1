// `make install`'s layout: one application folder and a link to its program,
// over whatever an earlier install left in the prefix.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void write(const QString& path, const QByteArray& bytes = "old")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(InstallLayout, OneApplicationFolderReplacesTheEarlierLayout)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix");
    // The loose layout of before, an older application folder, and a file
    // that is not ours.
    for (const char* old :
         {"bin/corvane", "bin/corvane-bridge", "bin/corvane-route", "share/corvane/extension/manifest.json",
          "share/corvane/corvane.svg", "lib/Corvane.app/bin/stale", "lib/Corvane.app/version"})
        write(prefix + "/" + old);
    write(prefix + "/bin/other-tool", "keep");

    QProcess install;
    install.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    install.setStandardOutputFile(QProcess::nullDevice());
    install.start("cmake", {"--install", qEnvironmentVariable("CORVANE_BUILD_DIR"), "--prefix", prefix});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0);

    const QString app = prefix + "/lib/Corvane.app";
    EXPECT_EQ(QFileInfo(prefix + "/bin/corvane").symLinkTarget(), app + "/bin/corvane");
    EXPECT_TRUE(QFileInfo(app + "/bin/corvane").isExecutable());
    EXPECT_TRUE(QFileInfo(app + "/bin/corvane-bridge").isExecutable());
    EXPECT_TRUE(QFileInfo(app + "/bin/corvane-extension-host").isExecutable());
    EXPECT_TRUE(QFileInfo(app + "/share/corvane/extension/manifest.json").isFile());
    EXPECT_TRUE(QFileInfo(app + "/share/corvane/extension/same_page.js").isFile());
    QFile version(app + "/version");
    ASSERT_TRUE(version.open(QIODevice::ReadOnly));
    EXPECT_EQ(version.readAll(), QByteArray(CORVANE_VERSION "\n"));

    EXPECT_FALSE(QFileInfo::exists(app + "/bin/stale")) << "the older folder is replaced as a whole";
    EXPECT_FALSE(QFileInfo::exists(prefix + "/bin/corvane-bridge"));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/share/corvane"));
    EXPECT_TRUE(QFileInfo::exists(prefix + "/bin/other-tool"));

    // The desktop's and the shells' files, as the package has them; but not
    // the package's mark: a user's own install updates itself.
    for (const char* shared :
         {"share/metainfo/io.github.corvane.Corvane.metainfo.xml",
          "share/icons/hicolor/64x64/apps/corvane.png", "share/man/man1/corvane-route.1.gz",
          "share/bash-completion/completions/corvane-route",
          "share/fish/vendor_completions.d/corvane-route.fish"})
        EXPECT_TRUE(QFileInfo(prefix + "/" + shared).isFile()) << shared;
    EXPECT_FALSE(QFileInfo::exists(app + "/packaged"));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/share/doc/corvane"));

    QFile entry(prefix + "/share/applications/corvane.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("\nExec=" + prefix.toUtf8() + "/bin/corvane %U\n"));
}

// `make install` tells the browsers found here where the extension's host is,
// and `make uninstall` takes that away with the rest, keeping what is not ours.
TEST(InstallLayout, InstallRegistersTheExtensionHostAndUninstallTakesEverythingAway)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix");
    write(dir.filePath("bin/chromium"), "#!/bin/sh\n");
    QFile::setPermissions(dir.filePath("bin/chromium"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    write(prefix + "/bin/other-tool", "keep");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.filePath("home"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("PATH", dir.filePath("bin") + ":/usr/bin:/bin");
    const auto run = [&](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(program, arguments);
        return process.waitForFinished(120000) && process.exitCode() == 0;
    };
    const QString source = QStringLiteral(CORVANE_TEST_SOURCE_DIR);
    const QString build = qEnvironmentVariable("CORVANE_BUILD_DIR");
    ASSERT_TRUE(run("cmake", {"--install", build, "--prefix", prefix}));
    ASSERT_TRUE(run(source + "/scripts/post-install", {prefix}));

    const QString manifest = dir.filePath("config/chromium/NativeMessagingHosts/io.github.corvane.tabs.json");
    QFile file(manifest);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(
        "\"path\": \"" + QFileInfo(prefix + "/lib/Corvane.app/bin/corvane-extension-host").canonicalFilePath().toUtf8() +
        "\""));

    ASSERT_TRUE(run(source + "/scripts/uninstall", {prefix, build}));
    EXPECT_FALSE(QFileInfo::exists(manifest));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/lib/Corvane.app"));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/bin/corvane"));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/share/applications/corvane.desktop"));
    EXPECT_FALSE(QFileInfo::exists(prefix + "/share/man/man1/corvane-route.1.gz"));
    EXPECT_TRUE(QFileInfo::exists(prefix + "/bin/other-tool"));
}

} // namespace
