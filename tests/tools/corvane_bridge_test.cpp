#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <optional>

namespace {

const QByteArray threeProfiles = R"({"profile":{
  "info_cache":{"Default":{"name":"Person 1"},"Profile 1":{"name":"Work"},"Profile 3":{"name":"Küche"}},
  "profiles_order":["Profile 1","Gone","Default"]}})";

QString helperBinary()
{
    const QString build = qEnvironmentVariable("CORVANE_BUILD_DIR");
    return (build.isEmpty() ? QCoreApplication::applicationDirPath() + "/.." : build) + "/bin/corvane-bridge";
}

// A home of its own: a config folder, and a PATH holding only the browsers a
// test puts there.
class Sandbox {
public:
    Sandbox()
    {
        QDir(m_dir.path()).mkpath("bin");
        QDir(m_dir.path()).mkpath("config");
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& content, bool executable = false) const
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A browser that records its arguments, whether it leads a session of its
    // own and whether its output goes nowhere, then lingers as a browser would.
    void fakeBrowser(const QString& executable) const
    {
        const QByteArray record = path("launch").toUtf8();
        writeFile("bin/" + executable,
                  "#!/bin/sh\n"
                  "printf '%s\\n' \"$@\" > '" + record + ".tmp'\n"
                  "read -r stat < /proc/$$/stat\n"
                  "set -- $stat\n"
                  "[ \"$6\" = \"$$\" ] && echo 'session leader' >> '" + record + ".tmp'\n"
                  "[ /proc/$$/fd/1 -ef /dev/null ] && echo 'output to /dev/null' >> '" + record + ".tmp'\n"
                  "echo $$ > '" + path("browser.pid").toUtf8() + "'\n"
                  "/bin/mv '" + record + ".tmp' '" + record + "'\n"
                  "exec /bin/sleep 30\n",
                  true);
    }

    QStringList launch() const
    {
        QFile file(path("launch"));
        if (!QTest::qWaitFor([&] { return file.exists(); }, 5000) || !file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    ~Sandbox()
    {
        QFile pid(path("browser.pid"));
        if (pid.open(QIODevice::ReadOnly))
            ::kill(pid.readAll().trimmed().toInt(), SIGKILL);
    }

    struct Run {
        int status = -1;
        QByteArray output;
        QString error;
    };

    Run run(const QStringList& arguments, const QString& pathVariable = {}) const
    {
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", pathVariable.isEmpty() ? path("bin") : pathVariable);
        env.insert("HOME", m_dir.path());
        env.insert("XDG_CONFIG_HOME", path("config"));
        helper.setProcessEnvironment(env);
        helper.setWorkingDirectory(m_dir.path());
        helper.start(helperBinary(), arguments);
        // The helper never waits for the browser, which lingers for 30 seconds.
        EXPECT_TRUE(helper.waitForFinished(10000)) << "the helper did not return";
        return {helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1, helper.readAllStandardOutput(),
                QString::fromUtf8(helper.readAllStandardError()).trimmed()};
    }

private:
    QTemporaryDir m_dir;
};

const QString route = R"({"action":"route","profile":"Work","url":"https://example.com/a?b=1","reuse":"1"})";

TEST(CorvaneBridge, ListsProfileNamesInTheBrowsersOrder)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("chromium-browser");
    sandbox.writeFile("config/chromium/Local State", threeProfiles);
    const auto run = sandbox.run({R"({"action":"profiles"})"});
    EXPECT_EQ(run.status, 0) << run.error.toStdString();
    EXPECT_EQ(run.output, "[\"Work\",\"Person 1\",\"K\xc3\xbc" "che\"]\n");
}

TEST(CorvaneBridge, PicksTheNamedOrElseTheFirstInstalledBrowser)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("vivaldi-stable");
    sandbox.fakeBrowser("brave");
    sandbox.writeFile("config/BraveSoftware/Brave-Browser/Local State", R"({"profile":{"info_cache":{"Default":{"name":"Brave one"}}}})");
    sandbox.writeFile("config/vivaldi/Local State", R"({"profile":{"info_cache":{"Default":{"name":"Vivaldi one"}}}})");
    EXPECT_EQ(sandbox.run({R"({"action":"profiles"})"}).output, "[\"Brave one\"]\n");
    EXPECT_EQ(sandbox.run({"--browser", "vivaldi", R"({"action":"profiles"})"}).output, "[\"Vivaldi one\"]\n");
    EXPECT_EQ(sandbox.run({"--browser=vivaldi", R"({"action":"profiles"})"}).output, "[\"Vivaldi one\"]\n");
}

TEST(CorvaneBridge, RouteStartsTheBrowserDetachedInTheProfilesDirectory)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("chromium");
    sandbox.writeFile("config/chromium/Local State", threeProfiles);
    const auto run = sandbox.run({route});
    EXPECT_EQ(run.status, 0) << run.error.toStdString();
    EXPECT_EQ(run.output, "{\"reused\":false}\n");
    EXPECT_EQ(sandbox.launch().join(" | ").toStdString(),
              "--profile-directory=Profile 1 | https://example.com/a?b=1 | session leader | output to /dev/null");
}

TEST(CorvaneBridge, FailuresAreOneSentenceWithStatusOne)
{
    struct Case {
        const char* name;
        QStringList arguments;
        QString expected;
        std::function<void(const Sandbox&)> setup = {};
        bool installed = true;
        std::optional<QByteArray> localState = threeProfiles;
    };
    const QString profiles = R"({"action":"profiles"})";
    const QString malformed = "Chromium's profile list %1 is malformed.";
    const auto routeTo = [](const QString& profile, const QString& url) {
        return QString(R"({"action":"route","profile":"%1","url":"%2","reuse":"0"})").arg(profile, url);
    };
    const Case cases[] = {
        {"no arguments", {}, "Usage: corvane-bridge [--browser ID] REQUEST_JSON"},
        {"unknown browser", {"--browser", "mosaic", profiles},
         "Unknown browser \"mosaic\"; use one of chromium, google-chrome, brave, vivaldi, microsoft-edge."},
        {"not installed", {profiles}, "Chromium is not installed.", {}, false},
        {"named browser not installed", {"--browser", "microsoft-edge", profiles}, "Microsoft Edge is not installed."},
        {"no Local State yet", {profiles}, "Open Chromium once so it creates its profiles, then refresh.", {}, true,
         std::nullopt},
        {"Local State without profiles", {profiles}, "Open Chromium once so it creates its profiles, then refresh.", {},
         true, R"({"browser":{}})"},
        {"unreadable Local State", {profiles}, "Cannot read Chromium's profile list %1: Is a directory.",
         [](const Sandbox& s) { QDir().mkpath(s.path("config/chromium/Local State")); }, true, std::nullopt},
        {"Local State is not JSON", {profiles}, malformed, {}, true, "{\"profile\":"},
        {"profile name is not text", {profiles}, malformed, {}, true, R"({"profile":{"info_cache":{"Default":{"name":7}}}})"},
        {"order is not a list", {profiles}, malformed, {}, true,
         R"({"profile":{"info_cache":{},"profiles_order":"Default"}})"},
        {"request is not JSON", {"{action:profiles}"}, "The request is not a JSON object of strings."},
        {"request is a list", {"[\"profiles\"]"}, "The request is not a JSON object of strings."},
        {"request value is not text", {R"({"action":"route","profile":"Work","url":"https://a.b/","reuse":true})"},
         "The request is not a JSON object of strings."},
        {"no action", {R"({"profile":"Work"})"}, "The request has no \"action\"."},
        {"route without url", {R"({"action":"route","profile":"Work"})"}, "The request has no \"url\"."},
        {"unknown action", {R"({"action":"close"})"}, "Unknown action \"close\"."},
        {"unknown profile", {routeTo("Play", "https://a.b/")}, "Chromium has no profile named \"Play\"."},
        {"directory given as a name", {routeTo("Profile 1", "https://a.b/")},
         "Chromium has no profile named \"Profile 1\"."},
        {"switch as link", {routeTo("Work", "--user-data-dir=/tmp/x")}, "Only http and https links can be opened."},
        {"script link", {routeTo("Work", "javascript:alert(1)")}, "Only http and https links can be opened."},
        {"browser cannot start", {routeTo("Work", "https://a.b/")},
         "Chromium could not be started: No such file or directory.",
         [](const Sandbox& s) { s.writeFile("bin/chromium", "#!/nonexistent/interpreter\n", true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        if (c.installed)
            sandbox.fakeBrowser("chromium");
        if (c.localState)
            sandbox.writeFile("config/chromium/Local State", *c.localState);
        if (c.setup)
            c.setup(sandbox);
        const auto run = sandbox.run(c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.output.isEmpty()) << run.output.toStdString();
        const QString expected =
            c.expected.contains("%1") ? c.expected.arg(sandbox.path("config/chromium/Local State")) : c.expected;
        EXPECT_EQ(run.error, expected);
        EXPECT_FALSE(QFile::exists(sandbox.path("launch")));
    }
}

} // namespace
