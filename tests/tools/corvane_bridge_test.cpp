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

#include "support/real_browsers.h"

#include <csignal>
#include <functional>
#include <optional>

namespace {

using corvane::test::BrowserReaper;
using corvane::test::PageServer;
using corvane::test::SessionBus;
using corvane::test::VirtualDisplay;

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
         "Unknown browser \"mosaic\"; use one of chromium, google-chrome, brave, vivaldi, microsoft-edge, "
         "firefox, chromium-flatpak, google-chrome-flatpak, brave-flatpak, vivaldi-flatpak, "
         "microsoft-edge-flatpak, firefox-flatpak, chromium-snap, firefox-snap."},
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

// The addresses a browser profile has visited, from a copy of its history
// database (and its write-ahead log), so the running browser's locks do not
// matter.
QStringList visited(const QString& database, const QString& query)
{
    QTemporaryDir copy;
    if (!QFile::copy(database, copy.filePath("h.sqlite")))
        return {};
    QFile::copy(database + "-wal", copy.filePath("h.sqlite-wal"));
    QProcess sqlite;
    sqlite.start("sqlite3", {copy.filePath("h.sqlite"), query});
    sqlite.waitForFinished(10000);
    return QString::fromUtf8(sqlite.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Waits until the profile's history holds `url`; browsers write it a few
// seconds late.
bool waitForVisit(const QString& database, const QString& query, const QString& url)
{
    return QTest::qWaitFor([&] { return visited(database, query).contains(url); }, 60000);
}

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

    // Each profile's own history shows the link it opened, and only that one.
    const QString query = "SELECT url FROM urls";
    const QString work = sandbox.path("config/chromium/Profile 1/History");
    const QString personal = sandbox.path("config/chromium/Default/History");
    EXPECT_TRUE(waitForVisit(work, query, pages.url("/opened-in-work")));
    EXPECT_TRUE(waitForVisit(personal, query, pages.url("/opened-in-default")));
    EXPECT_FALSE(visited(work, query).contains(pages.url("/opened-in-default")));
    EXPECT_FALSE(visited(personal, query).contains(pages.url("/opened-in-work")));
    EXPECT_EQ(QDir(sandbox.path("config/chromium")).entryList({"Profile *"}, QDir::Dirs),
              QStringList{"Profile 1"})
        << "no other profile was made";
}

// Debian's Firefox ESR with two profiles it made itself: each link opens in
// the profile it was routed to, a second link to a running profile is handed
// over, and no third profile appears.
TEST(CorvaneBridge, OpensLinksInTheRightProfilesOfRealFirefox)
{
    const QString firefox = QStandardPaths::findExecutable("firefox-esr");
    if (firefox.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("sqlite3").isEmpty() ||
        QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        GTEST_SKIP() << "needs firefox-esr, Xvfb, dbus-daemon and sqlite3";
    VirtualDisplay display;
    ASSERT_FALSE(display.display().isEmpty());
    SessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    Sandbox sandbox;
    BrowserReaper reaper(sandbox.path("firefox.pids"));
    sandbox.writeFile("bin/firefox",
                      "#!/bin/sh\necho $$ >> '" + sandbox.path("firefox.pids").toUtf8() + "'\nexec '" +
                          firefox.toUtf8() + "' \"$@\"\n",
                      true);
    QProcessEnvironment env;
    env.insert("DISPLAY", display.display());
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    env.insert("MOZ_CRASHREPORTER_DISABLE", "1");
    const QString system = "/usr/bin:/bin";
    const auto firefoxRun = [&](const QStringList& arguments) {
        QProcess make;
        QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
        all.insert(env);
        all.insert("HOME", sandbox.path(""));
        all.insert("XDG_CONFIG_HOME", sandbox.path("config"));
        make.setProcessEnvironment(all);
        make.start(firefox, arguments);
        return make.waitForFinished(60000) && make.exitCode() == 0;
    };
    ASSERT_TRUE(firefoxRun({"-CreateProfile", "Work"}));
    ASSERT_TRUE(firefoxRun({"-CreateProfile", "Personal"}));
    // Recent Firefox puts new profiles under the XDG config folder.
    const QString root = QFile::exists(sandbox.path(".mozilla/firefox/profiles.ini"))
                             ? sandbox.path(".mozilla/firefox")
                             : sandbox.path("config/mozilla/firefox");
    const auto profileFolders = [&] {
        QStringList found = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        found.removeIf(
            [](const QString& name) { return !name.contains('.'); }); // "Crash Reports" and the like
        return found;
    };
    const QStringList folders = profileFolders();
    ASSERT_EQ(folders.size(), 2) << folders.join(", ").toStdString();
    // Quiet first runs: no welcome pages, no reaching out.
    for (const QString& folder : folders)
        sandbox.writeFile(QDir(sandbox.path("")).relativeFilePath(root + "/" + folder + "/user.js"),
                          "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                          "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                          "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                          "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                          "user_pref(\"app.update.enabled\", false);\n");
    const auto folderOf = [&](const QString& name) {
        for (const QString& folder : folders)
            if (folder.endsWith("." + name))
                return root + "/" + folder;
        return QString();
    };

    PageServer pages;
    const auto routeTo = [&](const QString& profile, const QString& path) {
        return sandbox.run({"--browser", "firefox",
                            QString(R"({"action":"route","profile":"%1","url":"%2","reuse":"0"})")
                                .arg(profile, pages.url(path))},
                           sandbox.path("bin") + ":" + system, env);
    };
    const auto list = sandbox.run({"--browser", "firefox", R"({"action":"profiles"})"},
                                  sandbox.path("bin") + ":" + system, env);
    ASSERT_EQ(list.status, 0) << list.error.toStdString();
    EXPECT_TRUE(list.output.contains("\"Work\"") && list.output.contains("\"Personal\""))
        << list.output.toStdString();

    for (const auto& [profile, path] : {std::pair<QString, QString>{"Work", "/firefox-work"},
                                        {"Personal", "/firefox-personal"},
                                        {"Work", "/firefox-work-again"}}) {
        SCOPED_TRACE(path.toStdString());
        const auto run = routeTo(profile, path);
        ASSERT_EQ(run.status, 0) << run.error.toStdString();
        ASSERT_TRUE(pages.waitFor("GET " + path + " HTTP/1.1", 90000));
    }

    const QString query = "SELECT url FROM moz_places";
    const QString work = folderOf("Work") + "/places.sqlite";
    const QString personal = folderOf("Personal") + "/places.sqlite";
    EXPECT_TRUE(waitForVisit(work, query, pages.url("/firefox-work")));
    EXPECT_TRUE(waitForVisit(work, query, pages.url("/firefox-work-again")));
    EXPECT_TRUE(waitForVisit(personal, query, pages.url("/firefox-personal")));
    EXPECT_FALSE(visited(work, query).contains(pages.url("/firefox-personal")));
    EXPECT_FALSE(visited(personal, query).contains(pages.url("/firefox-work")));
    EXPECT_FALSE(visited(personal, query).contains(pages.url("/firefox-work-again")));
    EXPECT_EQ(profileFolders(), folders) << "no third profile";
    QFile ini(root + "/profiles.ini");
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll().count("[Profile"), 2);
}

} // namespace

namespace {

// A browser that records its arguments and exits, as one that hands the link
// to its running instance does.
QByteArray recordingBrowser(const QString& record)
{
    return "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.toUtf8() + "'\n";
}

QStringList lines(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                                       : QStringList();
}

// A Profile Groups database as Firefox's newer profile manager keeps it.
void makeGroupDatabase(const QString& file, const QList<std::pair<QString, QString>>& profiles)
{
    QDir().mkpath(QFileInfo(file).path());
    QProcess sqlite;
    QString script =
        "CREATE TABLE Profiles (id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, "
        "name TEXT NOT NULL, avatar TEXT NOT NULL DEFAULT '', themeId TEXT NOT NULL DEFAULT '');";
    for (const auto& [name, path] : profiles)
        script += QString("INSERT INTO Profiles (path, name) VALUES ('%1', '%2');").arg(path, name);
    sqlite.start("sqlite3", {file, script});
    ASSERT_TRUE(sqlite.waitForFinished(10000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
}

const QByteArray twoProfilesIni =
    "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
    "[Profile1]\nName=Work\nIsRelative=1\nPath=abcd.Work\n\n"
    "[Profile0]\nName=default-esr\nIsRelative=0\nPath=%ROOT%/elsewhere/xyz.default-esr\n"
    "Default=1\n\n"
    "[Install3B6073811A6ABF12]\nDefault=abcd.Work\nLocked=1\n";

} // namespace

// Firefox's profiles come from profiles.ini wherever the installation keeps
// it, the install's default first; a name the file knows goes by -P, and the
// installation's own way of starting comes first.
TEST(CorvaneBridge, FirefoxProfilesOfEveryPackagingOpenByNameWithTheInstallationsLauncher)
{
    struct Case {
        const char* name;
        QString browserId;
        QString root;             // relative to the home folder
        QString executable;       // relative to the home folder
        QStringList launchBefore; // what comes before the profile arguments
    };
    const Case cases[] = {
        {"system, ~/.mozilla", "firefox", ".mozilla/firefox", "bin/firefox-esr", {}},
        {"system, XDG config", "firefox", "config/mozilla/firefox", "bin/firefox", {}},
        {"Flatpak",
         "firefox-flatpak",
         ".var/app/org.mozilla.firefox/.mozilla/firefox",
         "bin/flatpak",
         {"run", "org.mozilla.firefox"}},
        {"Flatpak, config",
         "firefox-flatpak",
         ".var/app/org.mozilla.firefox/config/mozilla/firefox",
         "bin/flatpak",
         {"run", "org.mozilla.firefox"}},
        {"Snap", "firefox-snap", "snap/firefox/common/.mozilla/firefox", "snap-bin/firefox", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        sandbox.writeFile(c.executable, recordingBrowser(sandbox.path("launch")), true);
        // An exported entry is how an installed Flatpak shows.
        sandbox.writeFile("data/flatpak/exports/share/applications/org.mozilla.firefox.desktop",
                          "[Desktop Entry]\n");
        const QString root = sandbox.path(c.root);
        sandbox.writeFile(c.root + "/profiles.ini",
                          QByteArray(twoProfilesIni).replace("%ROOT%", root.toUtf8()));
        QProcessEnvironment extra;
        extra.insert("CORVANE_SNAP_BIN", sandbox.path("snap-bin"));
        extra.insert("CORVANE_FLATPAK_SYSTEM", sandbox.path("no-system-flatpak"));

        const auto list = sandbox.run({"--browser", c.browserId, R"({"action":"profiles"})"}, {}, extra);
        EXPECT_EQ(list.status, 0) << list.error.toStdString();
        EXPECT_EQ(list.output, "[\"Work\",\"default-esr\"]\n");

        const auto run =
            sandbox.run({"--browser", c.browserId,
                         R"({"action":"route","profile":"default-esr","url":"https://a.b/c","reuse":"1"})"},
                        {}, extra);
        EXPECT_EQ(run.status, 0) << run.error.toStdString();
        EXPECT_EQ(run.output, "{\"reused\":false}\n");
        EXPECT_EQ(lines(sandbox.path("launch")),
                  (c.launchBefore + QStringList{"-P", "default-esr", "https://a.b/c"}));
    }
}

// Profiles of the newer profile manager, and two of one name, are opened by
// their folder; a name nobody has, a folder that is gone and a broken file
// are refused before Firefox could make a profile of its own.
TEST(CorvaneBridge, FirefoxProfilesOfAGroupAndOfOneNameOpenByTheirFolder)
{
    Sandbox sandbox;
    sandbox.writeFile("bin/firefox", recordingBrowser(sandbox.path("launch")), true);
    const QString root = sandbox.path(".mozilla/firefox");
    sandbox.writeFile(".mozilla/firefox/profiles.ini",
                      "[Profile0]\nName=Work\nIsRelative=1\nPath=Profiles/one.Work\nStoreID=7a3d\n\n"
                      "[Profile1]\nName=Work\nIsRelative=1\nPath=Profiles/two.Work\n\n"
                      "[Profile2]\nName=Gone\nIsRelative=1\nPath=Profiles/gone\n\n"
                      "[General]\nStartWithLastProfile=1\n");
    for (const char* folder : {"one.Work", "two.Work", "three"})
        QDir().mkpath(root + "/Profiles/" + folder);
    makeGroupDatabase(root + "/Profile Groups/7a3d.sqlite",
                      {{"Work", "Profiles/one.Work"}, {"Travel \xc3\xa9t\xc3\xa9", "Profiles/three"}});

    const auto list = sandbox.run({"--browser", "firefox", R"({"action":"profiles"})"});
    EXPECT_EQ(list.status, 0) << list.error.toStdString();
    EXPECT_EQ(QString::fromUtf8(list.output),
              QString::fromUtf8(
                  "[\"Work (one.Work)\",\"Work (two.Work)\",\"Gone\",\"Travel \xc3\xa9t\xc3\xa9\"]\n"));

    const auto routeTo = [&](const QString& profile) {
        QFile::remove(sandbox.path("launch"));
        return sandbox.run(
            {"--browser", "firefox",
             QString(R"({"action":"route","profile":"%1","url":"https://a.b/","reuse":"0"})").arg(profile)});
    };
    EXPECT_EQ(routeTo("Work (two.Work)").status, 0);
    EXPECT_EQ(lines(sandbox.path("launch")),
              (QStringList{"--profile", root + "/Profiles/two.Work", "https://a.b/"}));
    EXPECT_EQ(routeTo("Travel \xc3\xa9t\xc3\xa9").status, 0);
    EXPECT_EQ(lines(sandbox.path("launch")),
              (QStringList{"--profile", root + "/Profiles/three", "https://a.b/"}));

    const auto ambiguous = routeTo("Work");
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_EQ(ambiguous.error, "Firefox has no profile named \"Work\".");
    EXPECT_EQ(routeTo("Gone").status, 0) << "a profiles.ini name goes by -P; Firefox makes its own folder";
    EXPECT_EQ(lines(sandbox.path("launch")), (QStringList{"-P", "Gone", "https://a.b/"}));
}

TEST(CorvaneBridge, FirefoxProfileListFailuresAreOneSentence)
{
    const struct {
        const char* name;
        std::optional<QByteArray> ini;
        QString expected;
    } cases[] = {
        {"no profiles.ini yet", std::nullopt, "Open Firefox once so it creates its profiles, then refresh."},
        {"a line that is not INI", "[Profile0]\nName=Work\nthis is not a key\n",
         "Firefox's profile list %1 is malformed."},
        {"a profile without a path", "[Profile0]\nName=Work\n", "Firefox's profile list %1 is malformed."},
        {"an unterminated section", "[Profile0\nName=Work\nPath=x\n",
         "Firefox's profile list %1 is malformed."},
        {"a group that is not a database", "[Profile0]\nName=Work\nPath=w\nStoreID=bad\n",
         "Cannot read Firefox's profile group %2: file is not a database."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        sandbox.writeFile("bin/firefox", recordingBrowser(sandbox.path("launch")), true);
        if (c.ini)
            sandbox.writeFile(".mozilla/firefox/profiles.ini", *c.ini);
        sandbox.writeFile(".mozilla/firefox/Profile Groups/bad.sqlite",
                          "not a database at all, but long enough");
        const auto run = sandbox.run({"--browser", "firefox", R"({"action":"profiles"})"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.error, QString(c.expected)
                                 .replace("%1", sandbox.path(".mozilla/firefox/profiles.ini"))
                                 .replace("%2", sandbox.path(".mozilla/firefox/Profile Groups/bad.sqlite")));
    }
}

// Chromium-family browsers from Flatpak and Snap read their own data folder
// and start through their packaging.
TEST(CorvaneBridge, FlatpakAndSnapChromiumUseTheirOwnFoldersAndLaunchers)
{
    const struct {
        const char* id;
        QString localState;
        QString executable;
        QStringList launchBefore;
        QString name;
    } cases[] = {
        {"google-chrome-flatpak",
         ".var/app/com.google.Chrome/config/google-chrome/Local State",
         "bin/flatpak",
         {"run", "com.google.Chrome"},
         "Google Chrome"},
        {"chromium-snap", "snap/chromium/common/chromium/Local State", "snap-bin/chromium", {}, "Chromium"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Sandbox sandbox;
        sandbox.writeFile(c.executable, recordingBrowser(sandbox.path("launch")), true);
        sandbox.writeFile("system-flatpak/exports/share/applications/com.google.Chrome.desktop",
                          "[Desktop Entry]\n");
        sandbox.writeFile(c.localState, threeProfiles);
        QProcessEnvironment extra;
        extra.insert("CORVANE_SNAP_BIN", sandbox.path("snap-bin"));
        extra.insert("CORVANE_FLATPAK_SYSTEM", sandbox.path("system-flatpak"));
        const auto run = sandbox.run({"--browser", c.id, route}, {}, extra);
        EXPECT_EQ(run.status, 0) << run.error.toStdString();
        EXPECT_EQ(
            lines(sandbox.path("launch")),
            (c.launchBefore + QStringList{"--profile-directory=Profile 1", "https://example.com/a?b=1"}));

        QFile::remove(sandbox.path(c.executable));
        const auto missing = sandbox.run({"--browser", c.id, route}, {}, extra);
        EXPECT_EQ(missing.error, c.name + " is not installed.");
    }
}

// With its profile already running, a Firefox launch can only hand the link
// over and exit. One that lingers (a running Firefox that does not answer
// puts up a dialog instead) opened nothing: that is a failure, and the stuck
// launch is ended. With the profile not running, lingering is becoming the
// browser.
TEST(CorvaneBridge, AFirefoxLaunchThatLingersBesideItsRunningProfileFailsAndIsEnded)
{
    Sandbox sandbox;
    sandbox.writeFile(
        "bin/firefox",
        "#!/bin/sh\necho $$ > '" + sandbox.path("launch.pid").toUtf8() + "'\nexec /bin/sleep 30\n", true);
    sandbox.writeFile(".mozilla/firefox/profiles.ini", "[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n");
    QDir().mkpath(sandbox.path(".mozilla/firefox/w.Work"));
    QProcessEnvironment extra;
    extra.insert("CORVANE_BRIDGE_HANDOVER_MS", "500");
    const QString request = R"({"action":"route","profile":"Work","url":"https://a.b/","reuse":"0"})";

    const auto becomes = sandbox.run({"--browser", "firefox", request}, {}, extra);
    EXPECT_EQ(becomes.status, 0) << "not running yet: the launch became the browser";
    ::kill(QString::fromUtf8(lines(sandbox.path("launch.pid")).value(0).toUtf8()).toInt(), SIGKILL);

    // The lock of a running Firefox: a link to a live process.
    ASSERT_TRUE(QFile::link(QString("127.0.0.1:+%1").arg(QCoreApplication::applicationPid()),
                            sandbox.path(".mozilla/firefox/w.Work/lock")));
    QFile::remove(sandbox.path("launch.pid"));
    const auto stuck = sandbox.run({"--browser", "firefox", request}, {}, extra);
    EXPECT_EQ(stuck.status, 1);
    EXPECT_EQ(stuck.error, "Firefox is running this profile but did not take the link.");
    const QString pid = lines(sandbox.path("launch.pid")).value(0);
    ASSERT_FALSE(pid.isEmpty());
    const auto gone = [&] {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray line = stat.readAll();
        return line.isEmpty() || line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
    };
    EXPECT_TRUE(QTest::qWaitFor(gone, 5000)) << "the stuck launch was ended";
}
