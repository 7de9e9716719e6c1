#include "app/model.h"
#include "desktop_sandbox.h"
#include "wait_until.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QString entry(const QString& name, const QString& exec, const QString& extra = {})
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n"
                          "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n%3")
        .arg(name, exec, extra);
}

// The platform's answer to "who handles https links?", once it has come.
std::optional<WebHandler> handlerOf(LinuxPlatform& platform)
{
    std::optional<std::optional<WebHandler>> answer;
    platform.queryWebLinkHandler([&](const std::optional<WebHandler>& handler) { answer = handler; });
    EXPECT_FALSE(answer.has_value()) << "answered before the query returned";
    EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }, 30000));
    return answer.value_or(std::nullopt);
}

// Runs `platform.makeDefaultHandler` to its end.
std::optional<QString> makeDefault(LinuxPlatform& platform)
{
    std::optional<QString> result;
    platform.makeDefaultHandler([&](const QString& error) { result = error; });
    waitUntil([&] { return result.has_value(); }, 30000);
    return result;
}

TEST(DefaultBrowser, HandlerIsXdgMimesAnswerNamedByItsDesktopEntry)
{
    struct Case {
        const char* what;
        std::function<void(DesktopSandbox&)> setUp;
        std::optional<WebHandler> expected;
        bool linkRouter = false;
    };
    const QString browser = QStringLiteral("bin/webby");
    const std::vector<Case> cases{
        {"nobody handles https", [](DesktopSandbox&) {}, std::nullopt},
        {"another browser",
         [&](DesktopSandbox& s) {
             s.writeEntry(s.dataHome(), "webby.desktop", entry("Webby", s.writeScript(browser) + " %U"));
             s.setHttpsHandler("webby.desktop");
         },
         WebHandler{"webby.desktop", "Webby"}},
        {"a system entry in a vendor folder, escapes in its name",
         [&](DesktopSandbox& s) {
             s.writeEntry(s.systemData(), "acme/web.desktop", entry("Acme\\sWeb", s.writeScript(browser)));
             s.setHttpsHandler("acme-web.desktop");
         },
         WebHandler{"acme-web.desktop", "Acme Web"}},
        {"the user's entry hides the system's",
         [&](DesktopSandbox& s) {
             s.writeEntry(s.systemData(), "webby.desktop", entry("System Webby", s.writeScript(browser)));
             s.writeEntry(s.dataHome(), "webby.desktop", entry("My Webby", s.writeScript(browser)));
             s.setHttpsHandler("webby.desktop");
         },
         WebHandler{"webby.desktop", "My Webby"}},
        {"the only entry for https, without any choice made",
         [&](DesktopSandbox& s) {
             s.writeEntry(s.systemData(), "webby.desktop", entry("Webby", s.writeScript(browser)));
         },
         WebHandler{"webby.desktop", "Webby"}},
        {"a known link router",
         [&](DesktopSandbox& s) {
             s.writeEntry(s.dataHome(), "re.sonny.Junction.desktop",
                          entry("Junction", s.writeScript(browser)));
             s.setHttpsHandler("re.sonny.Junction.desktop");
         },
         WebHandler{"re.sonny.Junction.desktop", "Junction"}, true},
    };
    for (const Case& c : cases) {
        DesktopSandbox sandbox;
        c.setUp(sandbox);
        const auto platform = sandbox.platform(sandbox.writeScript("bin/corvane"));
        const auto handler = handlerOf(*platform);
        EXPECT_EQ(handler, c.expected) << c.what;
        EXPECT_EQ(handler && platform->isKnownLinkRouter(handler->desktopId), c.linkRouter) << c.what;
    }
}

TEST(DefaultBrowser, KnownLinkRoutersMatchExactly)
{
    const auto platform = DesktopSandbox().platform(QString());
    EXPECT_TRUE(platform->isKnownLinkRouter("net.kassett.finicky"));
    EXPECT_TRUE(platform->isKnownLinkRouter("choosme.desktop"));
    EXPECT_FALSE(platform->isKnownLinkRouter("NET.KASSETT.FINICKY"));
    EXPECT_FALSE(platform->isKnownLinkRouter("choosme"));
    EXPECT_FALSE(platform->isKnownLinkRouter("corvane.desktop"));
}

TEST(DefaultBrowser, RunningFromBundleMeansOurInstalledEntryStartsThisBinary)
{
    struct Case {
        const char* what;
        std::function<QString(DesktopSandbox&)> install; // returns this binary
        bool expected;
    };
    const auto ours = [](DesktopSandbox& s, const QString& exec, const QString& extra = {}) {
        s.writeEntry(s.dataHome(), "corvane.desktop", entry("Corvane", exec, extra));
    };
    const std::vector<Case> cases{
        {"not installed", [](DesktopSandbox& s) { return s.writeScript("prefix/bin/corvane"); }, false},
        {"installed, this binary",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("prefix/bin/corvane");
             ours(s, binary + " %U");
             return binary;
         },
         true},
        {"installed through a symbolic link",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("build/bin/corvane");
             QDir().mkpath(s.path("prefix/bin"));
             QFile::link(binary, s.path("prefix/bin/corvane"));
             ours(s, s.path("prefix/bin/corvane") + " %U");
             return binary;
         },
         true},
        {"installed as a bare name found on PATH",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("prefix/bin/corvane");
             s.environment().insert("PATH", s.path("prefix/bin") + ":/usr/bin:/bin");
             ours(s, "corvane %U");
             return binary;
         },
         true},
        {"installed under a path that needs quoting",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("my apps/bin/corvane");
             ours(s, "\"" + binary + "\" %U");
             return binary;
         },
         true},
        {"installed, another copy",
         [&](DesktopSandbox& s) {
             ours(s, s.writeScript("prefix/bin/corvane") + " %U");
             return s.writeScript("build/bin/corvane");
         },
         false},
        {"installed but hidden",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("prefix/bin/corvane");
             ours(s, binary, "Hidden=true\n");
             return binary;
         },
         false},
        {"the system's entry is ours, the user's is not",
         [&](DesktopSandbox& s) {
             const QString binary = s.writeScript("prefix/bin/corvane");
             s.writeEntry(s.systemData(), "corvane.desktop", entry("Corvane", binary));
             ours(s, s.writeScript("old/bin/corvane"));
             return binary;
         },
         false},
    };
    for (const Case& c : cases) {
        DesktopSandbox sandbox;
        const QString binary = c.install(sandbox);
        EXPECT_EQ(sandbox.platform(binary)->runningFromBundle(), c.expected) << c.what;
    }
}

TEST(DefaultBrowser, InstalledCopyBecomesTheHandlerForHttpAndHttps)
{
    DesktopSandbox sandbox;
    const QString binary = sandbox.writeScript("prefix/bin/corvane");
    sandbox.writeEntry(sandbox.dataHome(), "corvane.desktop", entry("Corvane", binary + " %U"));
    sandbox.setHttpsHandler("webby.desktop");
    const auto platform = sandbox.platform(binary);

    EXPECT_EQ(makeDefault(*platform), QString());
    EXPECT_EQ(sandbox.queryDefault("http"), "corvane.desktop");
    EXPECT_EQ(sandbox.queryDefault("https"), "corvane.desktop");
    EXPECT_EQ(handlerOf(*platform), (WebHandler{"corvane.desktop", "Corvane"}));
}

TEST(DefaultBrowser, CopyThatIsNotInstalledIsRefusedWithoutTouchingTheDesktop)
{
    DesktopSandbox sandbox;
    const auto platform = sandbox.platform(sandbox.writeScript("build/bin/corvane"));
    EXPECT_EQ(makeDefault(*platform), LinuxPlatform::notInstalledMessage());
    EXPECT_TRUE(LinuxPlatform::notInstalledMessage().contains("make install"));
    EXPECT_FALSE(QFile::exists(sandbox.path("config/mimeapps.list")));
}

TEST(DefaultBrowser, FirstFailingSchemeStopsTheRest)
{
    DesktopSandbox sandbox;
    const QString binary = sandbox.writeScript("prefix/bin/corvane");
    sandbox.writeEntry(sandbox.dataHome(), "corvane.desktop", entry("Corvane", binary));
    struct Case {
        const char* what;
        QString script;
        QString expected;
        int calls;
    };
    const std::vector<Case> cases{
        {"error text", "echo \"$@\" >> \"$0.log\"\necho 'mimeapps.list is read-only' >&2\nexit 3\n",
         "mimeapps.list is read-only", 1},
        {"no error text", "echo \"$@\" >> \"$0.log\"\nexit 4\n", "xdg-mime failed with exit code 4.", 1},
        {"second scheme fails", "echo \"$@\" >> \"$0.log\"\n[ \"$3\" = x-scheme-handler/http ] || exit 5\n",
         "xdg-mime failed with exit code 5.", 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        LinuxPlatform::Options options;
        options.binaryPath = binary;
        options.xdgMime = sandbox.writeScript(QStringLiteral("tools/xdg-mime%1").arg(n++), c.script);
        EXPECT_EQ(makeDefault(*sandbox.platform(options)), c.expected) << c.what;
        QFile log(options.xdgMime + ".log");
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << c.what;
        const QList<QByteArray> calls = log.readAll().trimmed().split('\n');
        EXPECT_EQ(calls.size(), c.calls) << c.what;
        EXPECT_EQ(calls.first(), "default corvane.desktop x-scheme-handler/http") << c.what;
    }

    LinuxPlatform::Options missing;
    missing.binaryPath = binary;
    missing.xdgMime = sandbox.path("tools/no-such-tool");
    EXPECT_EQ(makeDefault(*sandbox.platform(missing)), "xdg-mime could not be started; install xdg-utils.");
}

// Gone, or a zombie waiting for whoever adopted it.
bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

TEST(DefaultBrowser, AHangingXdgMimeNeverBlocksAndIsEndedWithAllItStarted)
{
    DesktopSandbox sandbox;
    const QString binary = sandbox.writeScript("prefix/bin/corvane");
    sandbox.writeEntry(sandbox.dataHome(), "corvane.desktop", entry("Corvane", binary));
    LinuxPlatform::Options options;
    options.binaryPath = binary;
    options.toolTimeoutMs = 300;
    // Shrugs off SIGTERM and leaves a child of its own behind.
    options.xdgMime = sandbox.writeScript("tools/xdg-mime", "trap '' TERM\nsleep 300 &\n"
                                                            "echo $$ $! >> \"$0.pids\"\nwait\n");
    const auto platform = sandbox.platform(options);

    EXPECT_EQ(handlerOf(*platform), std::nullopt);
    EXPECT_EQ(makeDefault(*platform), "xdg-mime did not answer.");

    QFile pids(options.xdgMime + ".pids");
    ASSERT_TRUE(pids.open(QIODevice::ReadOnly));
    const QList<QByteArray> started = pids.readAll().simplified().split(' ');
    EXPECT_EQ(started.size(), 4) << "two runs, each a tool and its child";
    for (const QByteArray& pid : started)
        EXPECT_TRUE(waitUntil([&] { return !alive(pid.toLongLong()); }, 10000)) << pid.toStdString();
}

QString buildFolder()
{
    const QString fromTest = qEnvironmentVariable("CORVANE_BUILD_DIR");
    return fromTest.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/..") : fromTest;
}

QString sourceFolder()
{
    if (const QString fromTest = qEnvironmentVariable("CORVANE_SOURCE_DIR"); !fromTest.isEmpty())
        return fromTest;
    QFile cache(buildFolder() + QStringLiteral("/CMakeCache.txt"));
    if (cache.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : cache.readAll().split('\n')) {
            if (line.startsWith("CMAKE_HOME_DIRECTORY:"))
                return QString::fromUtf8(line.mid(line.indexOf('=') + 1)).trimmed();
        }
    }
    return {};
}

int run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
               ? process.exitCode()
               : -1;
}

// Installs the desktop part of `make install` into the sandbox; returns the
// prefix, empty on failure.
QString installDesktopEntry(DesktopSandbox& sandbox, const QString& folder = QStringLiteral("prefix"))
{
    // No space in it: xdg-mime cannot follow a quoted Exec.
    const QString prefix = sandbox.path(folder);
    const int status =
        run("cmake", {"--install", buildFolder(), "--component", "desktop", "--prefix", prefix},
            sandbox.environment());
    return status == 0 ? prefix : QString();
}

// What `make install` does for the desktop, into a prefix of the sandbox.
TEST(DefaultBrowser, InstallRulesMakeAnEntryThatCanBecomeTheDefault)
{
    DesktopSandbox sandbox;
    const QString prefix = installDesktopEntry(sandbox);
    ASSERT_FALSE(prefix.isEmpty());
    ASSERT_EQ(run(sourceFolder() + "/scripts/post-install", {prefix}, sandbox.environment()), 0);
    EXPECT_TRUE(QFile::exists(prefix + "/share/icons/hicolor/scalable/apps/corvane.svg"));
    EXPECT_TRUE(QFile::exists(prefix + "/share/applications/mimeinfo.cache"));

    sandbox.environment().insert("XDG_DATA_HOME", prefix + "/share");
    const QString binary = sandbox.writeScript("prefix/bin/corvane");
    const auto platform = sandbox.platform(binary);
    EXPECT_TRUE(platform->runningFromBundle());
    EXPECT_FALSE(sandbox.platform(sandbox.writeScript("build/bin/corvane"))->runningFromBundle());

    EXPECT_EQ(makeDefault(*platform), QString());
    EXPECT_EQ(sandbox.queryDefault("https"), "corvane.desktop");
    EXPECT_EQ(handlerOf(*platform), (WebHandler{"corvane.desktop", "Corvane"}));
}

TEST(DefaultBrowser, APercentSignInThePrefixIsEscapedInTheEntry)
{
    DesktopSandbox sandbox;
    const QString prefix = installDesktopEntry(sandbox, "100%pre%Ufix");
    ASSERT_FALSE(prefix.isEmpty());
    QFile installed(prefix + "/share/applications/corvane.desktop");
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(installed.readAll().contains("\nExec=" + sandbox.path("100%%pre%%Ufix").toUtf8() +
                                             "/bin/corvane %U\n"));
    sandbox.environment().insert("XDG_DATA_HOME", prefix + "/share");
    EXPECT_TRUE(sandbox.platform(sandbox.writeScript("100%pre%Ufix/bin/corvane"))->runningFromBundle());
}

// The whole road a user takes: install, then "make default" in the window.
TEST(DefaultBrowser, InstalledCorvaneBecomesTheDefaultThroughTheModel)
{
    DesktopSandbox sandbox;
    const QString prefix = installDesktopEntry(sandbox);
    ASSERT_FALSE(prefix.isEmpty());
    sandbox.environment().insert("XDG_DATA_HOME", prefix + "/share");
    sandbox.writeEntry(prefix + "/share", "webby.desktop", entry("Webby", sandbox.writeScript("bin/webby")));
    sandbox.setHttpsHandler("webby.desktop");
    const auto platform = sandbox.platform(sandbox.writeScript("prefix/bin/corvane"));

    ModelEnvironment environment;
    environment.settingsPath = sandbox.path("config/corvane/settings.json");
    environment.userDefaultsPath = sandbox.path("config/corvane/corvane.conf");
    environment.platform = platform.get();
    Model model(environment);
    ASSERT_TRUE(waitUntil([&] { return model.otherDefaultBrowser() == "Webby"; }, 30000));
    EXPECT_FALSE(model.isDefaultBrowser());

    model.setDefault();
    waitUntil([&] { return !model.status().isEmpty(); }, 30000);
    EXPECT_EQ(model.status(), "Corvane is now your default browser.");
    EXPECT_TRUE(model.isDefaultBrowser());
    EXPECT_EQ(model.otherDefaultBrowser(), std::nullopt);
    EXPECT_EQ(sandbox.queryDefault("https"), "corvane.desktop");
    EXPECT_EQ(sandbox.queryDefault("http"), "corvane.desktop");
}

} // namespace
