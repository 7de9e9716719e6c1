#include "desktop_sandbox.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

using namespace corvane;
using namespace corvane::test;

namespace corvane {
void PrintTo(const TargetBrowser& browser, std::ostream* out)
{
    *out << '{' << browser.id.toStdString() << ", " << browser.displayName.toStdString() << ", "
         << browser.installed << '}';
}
} // namespace corvane

namespace {

// The browser table looks programs up on this process's PATH.
class ScopedPath {
public:
    explicit ScopedPath(const QString& path) : m_old(qgetenv("PATH")) { qputenv("PATH", path.toLocal8Bit()); }
    ~ScopedPath() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

// Snap and Flatpak installations are looked for in the sandbox only.
class ScopedPackagings {
public:
    explicit ScopedPackagings(const DesktopSandbox& sandbox)
    {
        for (const auto& [name, folder] : {std::pair<const char*, QString>{"CORVANE_SNAP_BIN", "snap/bin"},
                                           {"CORVANE_FLATPAK_SYSTEM", "flatpak"},
                                           {"XDG_DATA_HOME", "data"}}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qputenv(name, sandbox.path(folder).toLocal8Bit());
        }
    }
    ~ScopedPackagings()
    {
        for (const auto& [name, value, set] : m_saved) {
            if (set)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }

private:
    QList<std::tuple<const char*, QByteArray, bool>> m_saved;
};

const TargetBrowser edge{"microsoft-edge", "Microsoft Edge", true, "edge://extensions"};

TEST(TargetBrowser, IsTheTablesChoiceWithItsNameAndWhetherItIsInstalled)
{
    DesktopSandbox sandbox;
    ScopedPath path(sandbox.path("bin"));
    const auto platform = sandbox.platform(QString());
    EXPECT_EQ(platform->targetBrowser("microsoft-edge"),
              (TargetBrowser{"microsoft-edge", "Microsoft Edge", false, "edge://extensions"}));
    sandbox.writeScript("bin/microsoft-edge-stable");
    EXPECT_EQ(platform->targetBrowser("microsoft-edge"), edge);
    EXPECT_EQ(platform->targetBrowser(""), edge) << "the first installed";
    EXPECT_EQ(platform->targetBrowser("no-such-browser"), edge);
}

TEST(TargetBrowser, InstalledOnesAreListedInTableOrderWithTheirExtensionsPage)
{
    DesktopSandbox sandbox;
    ScopedPath path(sandbox.path("bin"));
    ScopedPackagings packagings(sandbox);
    const auto platform = sandbox.platform(QString());
    EXPECT_TRUE(platform->installedBrowsers().isEmpty());
    sandbox.writeScript("bin/microsoft-edge-stable");
    sandbox.writeScript("bin/vivaldi");
    sandbox.writeScript("bin/google-chrome");
    EXPECT_EQ(platform->installedBrowsers(),
              (QList<TargetBrowser>{{"google-chrome", "Google Chrome", true, "chrome://extensions"},
                                    {"vivaldi", "Vivaldi", true, "vivaldi://extensions"},
                                    edge}));

    // Firefox, a Flatpak Chrome beside the system one, and a Snap Firefox
    // beside the system Firefox, each named so the two can be told apart.
    sandbox.writeScript("bin/firefox-esr");
    sandbox.writeScript("bin/flatpak");
    sandbox.writeEntry(sandbox.path("data/flatpak/exports/share"), "com.google.Chrome.desktop",
                       "[Desktop Entry]\n");
    sandbox.writeScript("snap/bin/firefox");
    EXPECT_EQ(platform->installedBrowsers(),
              (QList<TargetBrowser>{
                  {"google-chrome", "Google Chrome", true, "chrome://extensions"},
                  {"vivaldi", "Vivaldi", true, "vivaldi://extensions"},
                  edge,
                  {"firefox", "Firefox", true, "about:debugging", true},
                  {"google-chrome-flatpak", "Google Chrome (Flatpak)", true, "chrome://extensions"},
                  {"firefox-snap", "Firefox (Snap)", true, "about:debugging", true}}));
}

TEST(TargetBrowser, RunningWhenAProcessRunsItsProgramOrOneFromItsOwnFolder)
{
    struct Case {
        const char* what;
        const char* installed; // on PATH as bin/microsoft-edge, through a symbolic link when elsewhere
        const char* running;
        bool expected;
    };
    const std::vector<Case> cases{
        {"started by its own name", "bin/microsoft-edge", "bin/microsoft-edge", true},
        {"another of its names", "bin/microsoft-edge", "elsewhere/microsoft-edge-stable", true},
        {"its wrapper's binary, from its own folder", "opt/edge/microsoft-edge", "opt/edge/msedge", true},
        {"a stranger in a shared program folder", "bin/microsoft-edge", "bin/msedge", false},
        {"a stranger elsewhere", "opt/edge/microsoft-edge", "elsewhere/msedge", false},
    };
    for (const Case& c : cases) {
        DesktopSandbox sandbox;
        ScopedPath path(sandbox.path("bin"));
        const QString launcher = sandbox.writeScript(c.installed);
        if (QString(c.installed) != "bin/microsoft-edge") {
            QDir().mkpath(sandbox.path("bin"));
            ASSERT_TRUE(QFile::link(launcher, sandbox.path("bin/microsoft-edge"))) << c.what;
        }
        const QString program = sandbox.path(c.running);
        QDir().mkpath(QFileInfo(program).absolutePath());
        QFile::remove(program);
        ASSERT_TRUE(QFile::copy("/bin/sleep", program)) << c.what;
        const auto platform = sandbox.platform(QString());

        EXPECT_FALSE(platform->isBrowserRunning(edge)) << c.what;
        QProcess browser;
        browser.start(program, {"60"});
        ASSERT_TRUE(browser.waitForStarted()) << c.what;
        EXPECT_EQ(platform->isBrowserRunning(edge), c.expected) << c.what;
        browser.kill();
        browser.waitForFinished();
        EXPECT_FALSE(platform->isBrowserRunning(edge)) << c.what;
    }
}

TEST(TargetBrowser, LaunchConfirmsWithoutStartingIt)
{
    DesktopSandbox sandbox;
    ScopedPath path(sandbox.path("bin"));
    // corvane-bridge starts the browser with the profile; a launch of its own
    // would open a stray window.
    sandbox.writeScript("bin/microsoft-edge", "touch \"$0.started\"\n");
    const auto platform = sandbox.platform(QString());

    std::optional<QString> installed;
    platform->launchBrowser(edge, [&](const QString& error) { installed = error; });
    ASSERT_TRUE(waitUntil([&] { return installed.has_value(); }));
    EXPECT_EQ(installed, QString());
    EXPECT_FALSE(QFile::exists(sandbox.path("bin/microsoft-edge.started")));

    std::optional<QString> missing;
    platform->launchBrowser({"vivaldi", "Vivaldi", false, "vivaldi://extensions"},
                            [&](const QString& error) { missing = error; });
    ASSERT_TRUE(waitUntil([&] { return missing.has_value(); }));
    EXPECT_EQ(missing, QString("Vivaldi is not installed."));
}

// The browser gets the desktop's activation for this launch and the user's
// session, never what a bundle put into ours or a token long used up.
TEST(TargetBrowser, OpensFilesInTheBrowserInOrderWithACleanEnvironment)
{
    DesktopSandbox sandbox;
    ScopedPath path(sandbox.path("bin"));
    sandbox.writeScript("bin/microsoft-edge",
                        "printf '%s\\n' \"$@\" > \"$0.args.tmp\"\n"
                        "env | grep -E '^(LD_LIBRARY_PATH|APPDIR|QT_PLUGIN_PATH|SNAP_NAME|DESKTOP_STARTUP_ID|"
                        "XDG_ACTIVATION_TOKEN|LANG|XDG_CONFIG_HOME)=' | sort > \"$0.env\"\n"
                        "mv \"$0.args.tmp\" \"$0.args\"\n");
    QProcessEnvironment& session = sandbox.environment();
    session.insert("LD_LIBRARY_PATH", "/bundle/lib");
    session.insert("APPDIR", "/bundle");
    session.insert("QT_PLUGIN_PATH", "/bundle/plugins");
    session.insert("SNAP_NAME", "corvane");
    session.insert("DESKTOP_STARTUP_ID", "stale-start_TIME1");
    session.insert("XDG_ACTIVATION_TOKEN", "stale-token");
    session.insert("LANG", "de_DE.UTF-8");
    const auto platform = sandbox.platform(QString());

    platform->openFilesWithBrowser(edge,
                                   {QUrl::fromLocalFile("/tmp/a b.html"), QUrl::fromLocalFile("/tmp/c.pdf")},
                                   {"fresh-start_TIME2", ""});
    QFile args(sandbox.path("bin/microsoft-edge.args"));
    ASSERT_TRUE(waitUntil([&] { return args.exists(); }));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll(), "file:///tmp/a%20b.html\nfile:///tmp/c.pdf\n");
    QFile env(sandbox.path("bin/microsoft-edge.env"));
    ASSERT_TRUE(env.open(QIODevice::ReadOnly));
    EXPECT_EQ(env.readAll(), "DESKTOP_STARTUP_ID=fresh-start_TIME2\nLANG=de_DE.UTF-8\nXDG_CONFIG_HOME=" +
                                 sandbox.path("config").toUtf8() + "\n");
}

} // namespace
