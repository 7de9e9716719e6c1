#include "app/bridge.h"

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace corvane;

namespace {

const QString timedOut = "Chromium timed out. Check Chromium before retrying; the link may already be open.";
const QString missing = "Missing routing script. Rebuild or reinstall Corvane.";

class BridgeTest : public ::testing::Test {
protected:
    QString script(const QString& name, const QByteArray& body, bool executable = true)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        if (executable)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    Bridge::Runner runner(const QString& program, int timeoutMs = 5000, int graceMs = 1000) const
    {
        Bridge::Runner r;
        r.program = program;
        r.browserName = "Chromium";
        r.timeoutMs = timeoutMs;
        r.graceMs = graceMs;
        return r;
    }

    static Bridge::Result run(const Bridge::Runner& runner,
                              const Bridge::Request& request = {{"action", "profiles"}})
    {
        std::optional<Bridge::Result> result;
        int calls = 0;
        Bridge::call(request, runner, nullptr, [&](const Bridge::Result& r) {
            result = r;
            ++calls;
        });
        EXPECT_FALSE(result.has_value()) << "the answer must never arrive before call() returns";
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 15000));
        QTest::qWait(20); // a second answer would show up here
        EXPECT_EQ(calls, 1);
        return result.value_or(Bridge::Result{std::nullopt, "<no answer>"});
    }

    QString readFile(const QString& name) const
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    }

    // Gone, or a zombie nobody has reaped yet: either way it runs no more.
    static bool processGone(const QString& pid)
    {
        return QTest::qWaitFor(
            [&] {
                QFile stat("/proc/" + pid + "/stat");
                if (!stat.open(QIODevice::ReadOnly))
                    return true;
                const QByteArray line = stat.readAll();
                return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
            },
            3000);
    }

    QTemporaryDir m_dir;
};

TEST_F(BridgeTest, DefaultsAreTwentyFiveSecondsThenTwoSecondsGrace)
{
    EXPECT_EQ(Bridge::Runner{}.timeoutMs, 25000);
    EXPECT_EQ(Bridge::Runner{}.graceMs, 2000);
}

TEST_F(BridgeTest, RequestIsTheLastArgumentAndNothingComesOnStandardInput)
{
    // An open standard input would block the read below until the time-out.
    Bridge::Runner r =
        runner(script("echo-args", "if IFS= read -r line; then exit 3; fi\nprintf '%s\\n' \"$@\"\n"));
    r.arguments = {"--browser", "chromium"};

    std::optional<Bridge::Result> profiles, route;
    Bridge::call({{"action", "profiles"}}, r, nullptr, [&](const Bridge::Result& x) { profiles = x; });
    Bridge::call({{"action", "route"},
                  {"profile", "Work \"ä\""},
                  {"url", "https://example.com/a?x=1&y=2"},
                  {"reuse", "1"}},
                 r, nullptr, [&](const Bridge::Result& x) { route = x; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return profiles && route; }, 10000));

    ASSERT_TRUE(profiles->ok()) << profiles->error.toStdString();
    EXPECT_EQ(*profiles->output, "--browser\nchromium\n{\"action\":\"profiles\"}\n");
    ASSERT_TRUE(route->ok()) << route->error.toStdString();
    EXPECT_EQ(*route->output, "--browser\nchromium\n"
                              "{\"action\":\"route\",\"profile\":\"Work \\\"\xc3\xa4\\\"\","
                              "\"reuse\":\"1\",\"url\":\"https://example.com/a?x=1&y=2\"}\n");
}

TEST_F(BridgeTest, ExitStatusDecidesBetweenOutputAndCleanedError)
{
    struct Case {
        const char* name;
        QByteArray body;
        std::optional<QByteArray> output;
        QString error;
    };
    const Case cases[] = {
        {"exit 0, no output", "exit 0\n", QByteArray(), {}},
        {"exit 0 ignores standard error",
         "echo '[\"A\"]'; echo 'Error: noise (-1)' >&2\n",
         QByteArray("[\"A\"]\n"),
         {}},
        {"silent failure", "exit 1\n", std::nullopt, "Automation failed."},
        {"white space only", "printf ' \\n\\t \\n' >&2; exit 2\n", std::nullopt, "Automation failed."},
        {"runner prefix and error number",
         "echo 'bridge: execution error: Error: Profile is gone (-1728)' >&2; exit 1\n", std::nullopt,
         "Profile is gone"},
        {"no marker keeps the text minus the number", "echo '  Cannot open the window (42)  ' >&2; exit 1\n",
         std::nullopt, "Cannot open the window"},
        {"number not at the end stays", "echo 'Error: code (-5) here' >&2; exit 1\n", std::nullopt,
         "code (-5) here"},
        {"not authorized in any case", "echo 'Error: Not AUTHORIZED to send events. (-1)' >&2; exit 1\n",
         std::nullopt, "Corvane is not allowed to control Chromium."},
        {"-1743 inside the text", "echo 'failed with -1743 again' >&2; exit 1\n", std::nullopt,
         "Corvane is not allowed to control Chromium."},
        {"invalid UTF-8", "printf 'Error: \\377\\376 broken' >&2; exit 1\n", std::nullopt,
         "Automation failed."},
        {"killed by a signal", "echo 'Error: went away' >&2; kill -9 $$\n", std::nullopt, "went away"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bridge::Result result = run(runner(script("case", c.body)));
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.error, c.error);
    }
}

TEST_F(BridgeTest, PermissionHintIsAppendedWhereTheDesktopHasOne)
{
    EXPECT_EQ(Bridge::cleanError("not authorized", "Dia", "Turn it on in Settings."),
              "Corvane is not allowed to control Dia. Turn it on in Settings.");
}

TEST_F(BridgeTest, LargeOutputOnBothPipesDoesNotStallTheRunner)
{
    const Bridge::Result result = run(runner(script(
        "chatty", "head -c 1048576 /dev/zero | tr '\\0' a\nhead -c 1048576 /dev/zero | tr '\\0' b >&2\n")));
    ASSERT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_EQ(result.output->size(), 1048576);
    EXPECT_EQ(result.output->count('a'), 1048576);
}

TEST_F(BridgeTest, RunnerIgnoringTerminateIsKilledWithItsGrandchildren)
{
    const QString dir = m_dir.path();
    const QString program = script("stubborn", "trap '' TERM\nsleep 1000 &\necho $! > '" + dir.toUtf8() +
                                                   "/grandchild'\necho $$ > '" + dir.toUtf8() +
                                                   "/child'\nwhile :; do sleep 0.05; done\n");
    // A second before giving up, so even a loaded machine has the traps set by then.
    const Bridge::Result result = run(runner(program, 1000, 300));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, timedOut);
    ASSERT_FALSE(readFile("grandchild").isEmpty());
    EXPECT_TRUE(processGone(readFile("child")));
    EXPECT_TRUE(processGone(readFile("grandchild")));
}

TEST_F(BridgeTest, RunnerExitingInTheGracePeriodStillTimesOutAndLeavesNoGrandchild)
{
    const Bridge::Result result = run(runner(
        script("polite", "echo '[]'\n(trap '' TERM; exec sleep 1000) &\necho $! > '" + m_dir.path().toUtf8() +
                             "/grandchild'\ntrap 'exit 0' TERM\n"
                             "while :; do sleep 0.05; done\n"),
        1000, 5000));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, timedOut);
    ASSERT_FALSE(readFile("grandchild").isEmpty());
    EXPECT_TRUE(processGone(readFile("grandchild")));
}

TEST_F(BridgeTest, MissingRunner)
{
    for (const QString& program : {QString(), m_dir.filePath("absent"), m_dir.path()}) {
        SCOPED_TRACE(program.toStdString());
        EXPECT_EQ(run(runner(program)).error, missing);
    }
}

TEST_F(BridgeTest, RunnerThatCannotBeExecutedGivesTheSystemsReason)
{
    const Bridge::Result result = run(runner(script("not-executable", "exit 0\n", false)));
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.error.contains("Permission denied")) << result.error.toStdString();
}

TEST_F(BridgeTest, ContextDestroyedWhileRunningDropsTheAnswer)
{
    const QString done = m_dir.filePath("done");
    bool called = false;
    {
        QObject context;
        Bridge::call({{"action", "profiles"}},
                     runner(script("slow", "sleep 0.2\ntouch '" + done.toUtf8() + "'\n")), &context,
                     [&](const Bridge::Result&) { called = true; });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(done); }, 5000));
    QTest::qWait(100);
    EXPECT_FALSE(called);
}

} // namespace
