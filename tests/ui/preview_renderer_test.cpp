#include "ui/preview/preview_renderer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The real program, started the way a person or `make previews` starts it, in
// a home of its own.
class PreviewRendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM"); // the renderer must choose offscreen by itself
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", path("home"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CACHE_HOME", path("cache"));
        QDir().mkpath(path("runtime"));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", path("runtime"));
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    static void write(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }

    static QByteArray digest(const QString& file)
    {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha256);
    }

    // Exit code and standard error.
    std::pair<int, QString> render(const QStringList& args)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane", args);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QTemporaryDir dir;
    QProcessEnvironment env;
};

TEST_F(PreviewRendererTest, WritesEveryImageIntoANewFolderAndLeavesTheSettingsAlone)
{
    const QString settings = path("config/corvane/settings.json");
    const QString defaults = path("config/corvane/corvane.conf");
    write(settings, R"({"version":1,"rules":[],"defaultProfile":"Mine"})");
    write(defaults, "[General]\ncolorScheme=dark\n");
    const QDateTime settingsTime = QFileInfo(settings).lastModified();
    const QByteArray settingsBefore = digest(settings);
    const QByteArray defaultsBefore = digest(defaults);
    // A cached icon shows in place of the letter.
    QImage red(32, 32, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    QDir().mkpath(path("cache/corvane/icons"));
    red.save(path("cache/corvane/icons/dropbox.com.icon"), "PNG");

    const QString out = path("out/nested/previews");
    for (int round = 0; round < 2; ++round) { // a second run replaces the files
        SCOPED_TRACE(round);
        const auto [code, errors] = render({"--render-previews", out});
        EXPECT_EQ(code, 0) << errors.toStdString();
        const QStringList written = QDir(out).entryList(QDir::Files, QDir::Name);
        QStringList expected = PreviewRenderer::fileNames();
        expected.sort();
        EXPECT_EQ(written.join(' ').toStdString(), expected.join(' ').toStdString());
        for (const QString& name : PreviewRenderer::fileNames()) {
            const QImage image(QDir(out).filePath(name));
            ASSERT_FALSE(image.isNull()) << name.toStdString();
            if (name.startsWith("picker")) {
                // Twice the points: a 240-point card padded 24 on each side.
                EXPECT_EQ(image.width(), 2 * (240 + 2 * 24)) << name.toStdString();
                // The header's 16-point icon, 24 + 6 + 10 points in, vertically centred.
                EXPECT_EQ(image.pixelColor(2 * 48, 2 * 47), QColor(255, 0, 0)) << name.toStdString();
            } else {
                EXPECT_EQ(image.size(), QSize(2080, 1520)) << name.toStdString();
            }
        }
    }
    EXPECT_EQ(digest(settings), settingsBefore);
    EXPECT_EQ(digest(defaults), defaultsBefore);
    EXPECT_EQ(QFileInfo(settings).lastModified(), settingsTime);
    EXPECT_FALSE(QFileInfo::exists(settings + ".backup"));
}

TEST_F(PreviewRendererTest, AFolderThatCannotBeMadeIsReportedAndFails)
{
    write(path("blocker"), "a file, not a folder");
    const auto [code, errors] = render({"--render-previews", path("blocker/previews")});
    EXPECT_NE(code, 0);
    EXPECT_TRUE(errors.contains(path("blocker/previews"))) << errors.toStdString();
    EXPECT_TRUE(errors.endsWith('\n'));
}

TEST_F(PreviewRendererTest, AnImageThatCannotBeWrittenFailsTheRunButNotTheOthers)
{
    const QString out = path("out");
    QDir().mkpath(out + "/picker-light.png"); // a folder where the image should go
    const auto [code, errors] = render({"--render-previews", out});
    EXPECT_NE(code, 0);
    EXPECT_TRUE(errors.contains(out + "/picker-light.png")) << errors.toStdString();
    for (const QString& name : PreviewRenderer::fileNames()) {
        if (name != "picker-light.png") {
            EXPECT_FALSE(QImage(QDir(out).filePath(name)).isNull()) << name.toStdString();
        }
    }
}

TEST(PreviewArguments, TheFolderFollowsTheSwitch)
{
    struct Case {
        std::vector<const char*> args;
        std::optional<QString> folder;
    };
    const std::vector<Case> cases{
        {{"corvane", "--render-previews", "out"}, "out"},
        {{"corvane", "https://example.com/", "--render-previews", "out", "more"}, "out"},
        {{"corvane", "--render-previews"}, std::nullopt},
        {{"corvane", "out", "--render-previews"}, std::nullopt},
        {{"corvane", "https://example.com/"}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* arg : c.args)
            argv.push_back(const_cast<char*>(arg));
        EXPECT_EQ(PreviewRenderer::requestedFolder(int(argv.size()), argv.data()), c.folder);
    }
}

} // namespace
} // namespace corvane
