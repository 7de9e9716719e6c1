// --help and --version of the programs a person types: answered at once,
// without starting the application or reaching a running one.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(VersionOptions, HelpAndVersionAnswerWithoutStartingTheApplication)
{
    const struct {
        const char* program;
        const char* option;
        const char* expected;
    } cases[] = {
        {"corvane", "--version", "corvane " CORVANE_VERSION "\n"},
        {"corvane", "--help", "Usage: corvane [URL or FILE ...]\n"},
        {"corvane", "-h", "Usage: corvane [URL or FILE ...]\n"},
        {"corvane-route", "--version", "corvane-route " CORVANE_VERSION "\n"},
        {"corvane-route", "--help", "Usage: corvane-route [OPTIONS] [URL ...]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.option);
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            QDir().mkpath(dir.filePath(name));
            QFile::setPermissions(dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(name, dir.filePath(name));
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/" + c.program, {c.option});
        const bool finished = process.waitForFinished(10000);
        if (!finished)
            process.kill();
        ASSERT_TRUE(finished) << "it answered and ended, instead of starting the application";
        EXPECT_EQ(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(c.expected)) << out.toStdString();
        EXPECT_TRUE(QDir(dir.filePath("XDG_RUNTIME_DIR"))
                        .isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            << "no intake socket was made";
    }
}

} // namespace
