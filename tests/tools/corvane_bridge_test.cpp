#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
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
        writeFile(
            "bin/" + executable,
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" > '" +
                record +
                ".tmp'\n"
                "read -r stat < /proc/$$/stat\n"
                "set -- $stat\n"
                "[ \"$6\" = \"$$\" ] && echo 'session leader' >> '" +
                record +
                ".tmp'\n"
                "[ /proc/$$/fd/1 -ef /dev/null ] && echo 'output to /dev/null' >> '" +
                record +
                ".tmp'\n"
                "echo \"ld=${LD_LIBRARY_PATH-} appdir=${APPDIR-} startup=${DESKTOP_STARTUP_ID-}\" >> '" +
                record +
                ".tmp'\n"
                "echo $$ > '" +
                path("browser.pid").toUtf8() +
                "'\n"
                "/bin/mv '" +
                record + ".tmp' '" + record +
                "'\n"
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

    Run run(const QStringList& arguments, const QString& pathVariable = {},
            const QProcessEnvironment& extra = {}) const
    {
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(extra);
        env.insert("PATH", pathVariable.isEmpty() ? path("bin") : pathVariable);
        env.insert("HOME", m_dir.path());
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_CACHE_HOME", path("cache"));
        env.insert("XDG_DATA_HOME", path("data"));
        helper.setProcessEnvironment(env);
        helper.setWorkingDirectory(m_dir.path());
        helper.start(helperBinary(), arguments);
        // The helper waits a couple of seconds at most for a browser that
        // lingers (for 30 seconds here) before it counts it as running.
        EXPECT_TRUE(helper.waitForFinished(10000)) << "the helper did not return";
        return {helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1,
                helper.readAllStandardOutput(), QString::fromUtf8(helper.readAllStandardError()).trimmed()};
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
    EXPECT_EQ(run.output, "[\"Work\",\"Person 1\",\"K\xc3\xbc"
                          "che\"]\n");
}

TEST(CorvaneBridge, UnorderedProfilesComeInNaturalOrderAndOddFoldersAreLeftOut)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("chromium");
    sandbox.writeFile("config/chromium/Local State", R"({"profile":{"info_cache":{
        "Profile 10":{"name":"Ten"},"Profile 2":{"name":"Two"},"Default":{"name":"Main"},
        "Profile 1":{"name":"One"},"..":{"name":"Up"},"../../elsewhere":{"name":"Away"},
        "a/b":{"name":"Nested"},"Profile 3\u0000x":{"name":"Cut"}},
        "profiles_order":["Profile 2"]}})");
    const auto list = sandbox.run({R"({"action":"profiles"})"});
    EXPECT_EQ(list.status, 0) << list.error.toStdString();
    EXPECT_EQ(list.output, R"(["Two","Main","One","Ten"])"
                           "\n");

    for (const QString name : {"Up", "Away", "Nested", "Cut"}) {
        const auto run = sandbox.run(
            {QString(R"({"action":"route","profile":"%1","url":"https://a.b/","reuse":"0"})").arg(name)});
        EXPECT_EQ(run.status, 1) << name.toStdString();
        EXPECT_EQ(run.error, "Chromium has no profile named \"" + name + "\".");
    }
    EXPECT_FALSE(QFile::exists(sandbox.path("launch")));
}

TEST(CorvaneBridge, PicksTheNamedOrElseTheFirstInstalledBrowser)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("vivaldi-stable");
    sandbox.fakeBrowser("brave");
    sandbox.writeFile("config/BraveSoftware/Brave-Browser/Local State",
                      R"({"profile":{"info_cache":{"Default":{"name":"Brave one"}}}})");
    sandbox.writeFile("config/vivaldi/Local State",
                      R"({"profile":{"info_cache":{"Default":{"name":"Vivaldi one"}}}})");
    EXPECT_EQ(sandbox.run({R"({"action":"profiles"})"}).output, "[\"Brave one\"]\n");
    EXPECT_EQ(sandbox.run({"--browser", "vivaldi", R"({"action":"profiles"})"}).output,
              "[\"Vivaldi one\"]\n");
    EXPECT_EQ(sandbox.run({"--browser=vivaldi", R"({"action":"profiles"})"}).output, "[\"Vivaldi one\"]\n");
}

// The browser gets the activation it was started with, and none of the
// loader or packaging variables a bundled parent may have passed down.
TEST(CorvaneBridge, RouteStartsTheBrowserDetachedInTheProfilesDirectory)
{
    Sandbox sandbox;
    sandbox.fakeBrowser("chromium");
    sandbox.writeFile("config/chromium/Local State", threeProfiles);
    QProcessEnvironment bundle;
    bundle.insert("LD_LIBRARY_PATH", "/bundle/lib");
    bundle.insert("APPDIR", "/bundle");
    bundle.insert("DESKTOP_STARTUP_ID", "click_TIME1");
    const auto run = sandbox.run({route}, {}, bundle);
    EXPECT_EQ(run.status, 0) << run.error.toStdString();
    EXPECT_EQ(run.output, "{\"reused\":false}\n");
    EXPECT_EQ(
        sandbox.launch().join(" | ").toStdString(),
        "--profile-directory=Profile 1 | https://example.com/a?b=1 | session leader | output to /dev/null | "
        "ld= appdir= startup=click_TIME1");
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
        {"unknown browser",
         {"--browser", "mosaic", profiles},
         "Unknown browser \"mosaic\"; use one of chromium, google-chrome, brave, vivaldi, microsoft-edge."},
        {"not installed", {profiles}, "Chromium is not installed.", {}, false},
        {"named browser not installed",
         {"--browser", "microsoft-edge", profiles},
         "Microsoft Edge is not installed."},
        {"no Local State yet",
         {profiles},
         "Open Chromium once so it creates its profiles, then refresh.",
         {},
         true,
         std::nullopt},
        {"Local State without profiles",
         {profiles},
         "Open Chromium once so it creates its profiles, then refresh.",
         {},
         true,
         R"({"browser":{}})"},
        {"unreadable Local State",
         {profiles},
         "Cannot read Chromium's profile list %1: Is a directory.",
         [](const Sandbox& s) { QDir().mkpath(s.path("config/chromium/Local State")); },
         true,
         std::nullopt},
        {"Local State is not JSON", {profiles}, malformed, {}, true, "{\"profile\":"},
        {"profile name is not text",
         {profiles},
         malformed,
         {},
         true,
         R"({"profile":{"info_cache":{"Default":{"name":7}}}})"},
        {"order is not a list",
         {profiles},
         malformed,
         {},
         true,
         R"({"profile":{"info_cache":{},"profiles_order":"Default"}})"},
        {"request is not JSON", {"{action:profiles}"}, "The request is not a JSON object of strings."},
        {"request is a list", {"[\"profiles\"]"}, "The request is not a JSON object of strings."},
        {"request value is not text",
         {R"({"action":"route","profile":"Work","url":"https://a.b/","reuse":true})"},
         "The request is not a JSON object of strings."},
        {"no action", {R"({"profile":"Work"})"}, "The request has no \"action\"."},
        {"route without url", {R"({"action":"route","profile":"Work"})"}, "The request has no \"url\"."},
        {"unknown action", {R"({"action":"close"})"}, "Unknown action \"close\"."},
        {"unknown profile", {routeTo("Play", "https://a.b/")}, "Chromium has no profile named \"Play\"."},
        {"directory given as a name",
         {routeTo("Profile 1", "https://a.b/")},
         "Chromium has no profile named \"Profile 1\"."},
        {"switch as link",
         {routeTo("Work", "--user-data-dir=/tmp/x")},
         "Only http and https links can be opened."},
        {"script link", {routeTo("Work", "javascript:alert(1)")}, "Only http and https links can be opened."},
        {"browser cannot start",
         {routeTo("Work", "https://a.b/")},
         "Chromium could not be started: No such file or directory.",
         [](const Sandbox& s) { s.writeFile("bin/chromium", "#!/nonexistent/interpreter\n", true); }},
        {"browser fails: its last line of standard error",
         {routeTo("Work", "https://a.b/")},
         "Opening in existing browser session failed.",
         [](const Sandbox& s) {
             s.writeFile("bin/chromium",
                         "#!/bin/sh\necho 'first' >&2\n"
                         "printf '  Opening in existing browser session failed.\\r\\n\\n\\n' >&2\nexit 1\n",
                         true);
         }},
        {"browser fails silently",
         {routeTo("Work", "https://a.b/")},
         "Chromium exited with status 21.",
         [](const Sandbox& s) { s.writeFile("bin/chromium", "#!/bin/sh\necho >&2\nexit 21\n", true); }},
        {"browser fails with a line that is not text",
         {routeTo("Work", "https://a.b/")},
         "Chromium exited with status 2.",
         [](const Sandbox& s) {
             s.writeFile("bin/chromium", "#!/bin/sh\nprintf 'bad \\377\\n' >&2\nexit 2\n", true);
         }},
        {"browser is killed",
         {routeTo("Work", "https://a.b/")},
         "Chromium was ended by signal 9.",
         [](const Sandbox& s) { s.writeFile("bin/chromium", "#!/bin/sh\nkill -9 $$\n", true); }},
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
        const QString expected = c.expected.contains("%1")
                                     ? c.expected.arg(sandbox.path("config/chromium/Local State"))
                                     : c.expected;
        EXPECT_EQ(run.error, expected);
        EXPECT_FALSE(QFile::exists(sandbox.path("launch")));
    }
}

// What the browser writes to its standard error after the helper has answered
// is read by someone: it neither blocks on a full pipe nor dies of SIGPIPE,
// whether the browser itself lingers or it exited and left a child behind.
TEST(CorvaneBridge, ABrowserThatGoesOnRunningCanKeepWritingToItsStandardError)
{
    const char* const writeLater = "/usr/bin/head -c 300000 /dev/zero >&2 && echo $$ > '%1.done'";
    const struct {
        const char* name;
        QByteArray body;
    } cases[] = {
        {"lingers past the grace", "/bin/sleep 3\n%1\n"},
        {"exits and leaves a child", "echo 'handing over' >&2\n(/bin/sleep 1; %1) &\nexit 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        sandbox.writeFile("config/chromium/Local State", threeProfiles);
        const QString done = sandbox.path("wrote");
        sandbox.writeFile(
            "bin/chromium",
            "#!/bin/sh\n" + QString::fromUtf8(c.body).arg(QString(writeLater).arg(done)).toUtf8(), true);
        const auto run = sandbox.run({route});
        EXPECT_EQ(run.status, 0) << run.error.toStdString();
        EXPECT_EQ(run.output, "{\"reused\":false}\n");
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(done + ".done"); }, 10000))
            << "the browser never got its output written";
    }
}

// Records the request line of every HTTP request and answers with a tiny page.
class PageServer {
public:
    PageServer()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_pending[socket] += socket->readAll();
                    if (!m_pending[socket].contains("\r\n\r\n"))
                        return;
                    m_requests << QString::fromUtf8(m_pending.take(socket).split('\r').front());
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n"
                                  "Connection: close\r\n\r\n<title>ok</title>");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString url(const QString& path) const
    {
        return QString("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    bool waitFor(const QString& requestLine, int ms) const
    {
        return QTest::qWaitFor([&] { return m_requests.contains(requestLine); }, ms);
    }

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QStringList m_requests;
};

// Ends every browser the wrappers started, with its display server.
class BrowserReaper {
public:
    explicit BrowserReaper(QString pidFile) : m_pidFile(std::move(pidFile)) {}
    ~BrowserReaper()
    {
        QFile file(m_pidFile);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QList<QByteArray> pids = file.readAll().split('\n');
        for (int signal : {SIGTERM, SIGKILL}) {
            for (const QByteArray& pid : pids) {
                if (pid.trimmed().toInt() > 0)
                    ::kill(-pid.trimmed().toInt(), signal);
            }
            QTest::qWait(1500);
        }
    }

private:
    QString m_pidFile;
};

// The real thing: Debian's Chromium on a virtual display, its user data in the
// sandbox, a page server on 127.0.0.1 that shows which links it was asked for.
TEST(CorvaneBridge, OpensLinksInTheRightProfilesOfRealChromium)
{
    const QString chromium = QStandardPaths::findExecutable("chromium");
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    if (chromium.isEmpty() || xvfbRun.isEmpty())
        GTEST_SKIP() << "needs chromium and xvfb-run";

    Sandbox sandbox;
    BrowserReaper reaper(sandbox.path("chromium.pids"));
    // Running as root, Chromium refuses to start without --no-sandbox; the
    // helper never adds it, so this wrapper does, as a user's own would.
    sandbox.writeFile("bin/chromium",
                      "#!/bin/sh\n"
                      "echo $$ >> '" +
                          sandbox.path("chromium.pids").toUtf8() +
                          "'\n"
                          "PATH='" +
                          qgetenv("PATH") +
                          "'\n"
                          "exec '" +
                          xvfbRun.toUtf8() + "' -a -s '-screen 0 1280x800x24' '" + chromium.toUtf8() +
                          "' --no-sandbox --no-first-run --no-default-browser-check --disable-gpu "
                          "--disable-dev-shm-usage --password-store=basic \"$@\"\n",
                      true);
    sandbox.writeFile(
        "config/chromium/Local State",
        R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},"Profile 1":{"name":"Work"}},)"
        R"("profiles_order":["Default","Profile 1"]}})");
    PageServer pages;
    const auto routeTo = [&](const QString& profile, const QString& path) {
        return sandbox.run({QString(R"({"action":"route","profile":"%1","url":"%2","reuse":"0"})")
                                .arg(profile, pages.url(path))});
    };

    const auto first = routeTo("Work", "/opened-in-work");
    ASSERT_EQ(first.status, 0) << first.error.toStdString();
    EXPECT_EQ(first.output, "{\"reused\":false}\n");
    ASSERT_TRUE(pages.waitFor("GET /opened-in-work HTTP/1.1", 90000));
    EXPECT_TRUE(QFileInfo(sandbox.path("config/chromium/Profile 1")).isDir());
    EXPECT_FALSE(QFileInfo::exists(sandbox.path("config/chromium/Default")));

    // Now the browser runs: the second launch hands the link to it.
    const auto second = routeTo("Person 1", "/opened-in-default");
    ASSERT_EQ(second.status, 0) << second.error.toStdString();
    ASSERT_TRUE(pages.waitFor("GET /opened-in-default HTTP/1.1", 90000));
    EXPECT_TRUE(QFileInfo(sandbox.path("config/chromium/Default")).isDir());

    EXPECT_EQ(sandbox.run({R"({"action":"profiles"})"}).output, "[\"Person 1\",\"Work\"]\n");
}

} // namespace
