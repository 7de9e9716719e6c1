// make release never writes a feed for a release no installed copy could
// accept: it needs the secret key and a built-in public key, and checks the
// signature with minisign -V before latest.json is written.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors;
};

Outcome run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(240000)) << program.toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

QString script(const QString& name)
{
    return qEnvironmentVariable("CORVANE_SOURCE_DIR") + "/scripts/" + name;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ReleaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"release", "other"})
            ASSERT_EQ(run("minisign",
                          {"-G", "-W", "-p", dir.filePath(QString(name) + ".pub"), "-s",
                           dir.filePath(QString(name) + ".key")},
                          env)
                          .exitCode,
                      0);
        QDir().mkpath(dir.filePath("dist"));
        QFile archive(archivePath());
        ASSERT_TRUE(archive.open(QIODevice::WriteOnly));
        archive.write("an archive");
    }

    QString archivePath() const { return dir.filePath("dist/corvane-2.0-linux-x86_64.zip"); }
    QString publicKey(const QString& name) const
    {
        return QString::fromUtf8(read(dir.filePath(name + ".pub"))).trimmed().split('\n').last();
    }
    Outcome publish(const QString& publicKeyName)
    {
        env.insert("MINISIGN_KEY", dir.filePath("release.key"));
        return run(script("release-publish"),
                   {archivePath(), "2.0", publicKey(publicKeyName), "https://example.com/dl",
                    "https://example.com/r/"},
                   env);
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(ReleaseTest, TheFeedIsWrittenOnlyOnceTheSignatureVerifiesWithTheBuiltInKey)
{
    const Outcome good = publish("release");
    ASSERT_EQ(good.exitCode, 0) << good.errors.toStdString();
    EXPECT_EQ(read(dir.filePath("dist/latest.json")),
              "{\n  \"version\": \"2.0\",\n  \"url\": \"https://example.com/r/\",\n  \"zip\": "
              "\"https://example.com/dl/corvane-2.0-linux-x86_64.zip\"\n}\n");
    EXPECT_TRUE(read(archivePath() + ".minisig").contains("trusted comment: corvane 2.0\n"));

    // The build carries another key than the one that signs.
    const Outcome wrong = publish("other");
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_TRUE(wrong.errors.contains("does not verify")) << wrong.errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("dist/latest.json")));
    EXPECT_FALSE(QFile::exists(archivePath()));
    EXPECT_FALSE(QFile::exists(archivePath() + ".minisig"));
}

TEST_F(ReleaseTest, RefusesToRunWithoutTheSecretKeyOrABuiltInPublicKey)
{
    env.remove("MINISIGN_KEY");
    const Outcome unsigned_ = run(script("release"), {dir.filePath("build"), dir.filePath("out")}, env);
    EXPECT_NE(unsigned_.exitCode, 0);
    EXPECT_TRUE(unsigned_.errors.contains("MINISIGN_KEY")) << unsigned_.errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("build"))) << "refused before anything is built";

    // A secret key, but a build configured without a public key: refused
    // after configuring, before building.
    env.insert("MINISIGN_KEY", dir.filePath("release.key"));
    env.insert("CMAKE_FLAGS", "-DCORVANE_UPDATE_PUBLIC_KEY=");
    const Outcome keyless = run(script("release"), {dir.filePath("build"), dir.filePath("out")}, env);
    EXPECT_NE(keyless.exitCode, 0);
    EXPECT_TRUE(keyless.errors.contains("no public key")) << keyless.errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("build/bin/corvane"))) << "nothing was built";
    EXPECT_TRUE(QDir(dir.filePath("out")).isEmpty());
}

} // namespace
