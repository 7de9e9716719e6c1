#include "app/model.h"
#include "app/tab_relay.h"
#include "desktop_sandbox.h"
#include "support/real_browsers.h"
#include "platform/intake/intake_folder.h"
#include "platform/linux/native_hosts.h"
#include "wait_until.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <optional>

using namespace corvane;
using namespace corvane::test;

namespace {

// The extension's host and the helper read the XDG folders of the process
// that starts the browser, and the browser inherits ours; they point into the
// sandbox only while a test runs.
class ProcessEnvironment {
public:
    void set(const char* name, const QByteArray& value)
    {
        m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        qputenv(name, value);
    }
    ~ProcessEnvironment()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> m_saved;
};

QString buildFolder()
{
    return qEnvironmentVariable("CORVANE_BUILD_DIR");
}

// A real browser with the user's data in a sandbox, started by the real
// helper through a wrapper first on PATH, and a Model routing every link to
// "Work" with a TabRelay where the extension's host finds it. Each browser's
// desk writes its own files and wrapper, then starts the model.
class BrowserDesk {
public:
    bool ready() const { return m_listening && !m_display.display().isEmpty() && m_problems.isEmpty(); }
    // What went wrong while setting up, when not ready.
    std::string problems() const { return m_problems.join("; ").toStdString(); }
    Model& model() { return *m_model; }
    TabRelay& relay() { return m_relay; }
    // Every profile whose extension has been connected at some time.
    const QStringList& everConnected() const { return m_everConnected; }

    // Routes `url` and waits until it has been opened or switched to.
    bool route(const QString& url)
    {
        const qsizetype before = m_model->recent().size();
        m_model->receive({url});
        return waitUntil([&] { return m_model->recent().size() > before; }, 60000);
    }

protected:
    BrowserDesk() : m_reaper(m_sandbox.path("browser.pids"))
    {
        QFile::setPermissions(m_sandbox.path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString path = m_sandbox.path("bin") + ":" + qEnvironmentVariable("PATH");
        m_sandbox.environment().insert("PATH", path);
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "PATH"})
            m_environment.set(name, m_sandbox.environment().value(name).toUtf8());
        write("config/corvane/settings.json", R"({"defaultProfile":"Work","rules":[],"version":1})");
    }

    // The wrapper records its process group for the reaper; `exports` and
    // `options` are what the browser needs here.
    void writeWrapper(const QString& name, const QString& browser, const QString& exports,
                      const QString& options)
    {
        m_sandbox.writeScript("bin/" + name, "echo $$ >> '" + m_sandbox.path("browser.pids") +
                                                 "'\nexport DISPLAY=" + m_display.display() + "\n" + exports +
                                                 "exec '" + browser + "'" + options + " \"$@\"\n");
    }

    // A copy of the extension's files in the sandbox; its path.
    QString copyExtension()
    {
        const QString source = qEnvironmentVariable("CORVANE_SOURCE_DIR") + "/resources/extension";
        QDir().mkpath(m_sandbox.path("extension"));
        for (const QString& file : QDir(source).entryList(QDir::Files))
            QFile::copy(source + "/" + file, m_sandbox.path("extension/" + file));
        return m_sandbox.path("extension");
    }

    // The relay and the model, once the browser's files are in place.
    void start(const QString& browserId)
    {
        m_listening = m_relay.listen(
            QString::fromStdString(IntakeFolder::tabsSocketPath(m_sandbox.path("run").toStdString())));
        QObject::connect(&m_relay, &TabRelay::connectionsChanged, [this, browserId] {
            for (const QString& profile : m_relay.connectedProfiles(browserId))
                if (!m_everConnected.contains(profile))
                    m_everConnected << profile;
        });

        LinuxPlatform::Options options;
        options.binaryPath = buildFolder() + "/bin/corvane";
        m_platform = m_sandbox.platform(options);
        ModelEnvironment environment;
        environment.settingsPath = m_sandbox.path("config/corvane/settings.json");
        environment.userDefaultsPath = m_sandbox.path("config/corvane/corvane.conf");
        environment.platform = m_platform.get();
        environment.tabs = &m_relay;
        // Our links lead nowhere else; nothing is looked up on the network.
        environment.resolver = [](const Url& url, QObject*, std::function<void(const Url&)> done) {
            done(url);
        };
        m_model = std::make_unique<Model>(environment);
        m_model->setTargetBrowser(browserId);
    }

    void write(const QString& relative, const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(m_sandbox.path(relative)).path());
        QFile file(m_sandbox.path(relative));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }

    DesktopSandbox m_sandbox;
    VirtualDisplay m_display;
    std::optional<SessionBus> m_bus; // Firefox's alone
    ProcessEnvironment m_environment;
    std::unique_ptr<LinuxPlatform> m_platform;
    TabRelay m_relay;
    std::unique_ptr<Model> m_model;
    bool m_listening = false;
    QStringList m_problems;
    QStringList m_everConnected;
    // Last, so it goes first: the browsers end while their display, bus,
    // the relay and the sandbox are still there.
    BrowserReaper m_reaper;
};

// Debian's Chromium, with Corvane's extension loaded unpacked or not at all.
class ChromiumDesk : public BrowserDesk {
public:
    explicit ChromiumDesk(bool withExtension)
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        const QString extension = withExtension ? " '--load-extension=" + copyExtension() + "'" : QString();
        // Running as root, Chromium refuses to start without --no-sandbox; the
        // helper never adds it, so this wrapper does, as a user's own would.
        // Debian's unbranded Chromium still takes --load-extension as it is.
        writeWrapper("chromium", chromium, {},
                     " --no-sandbox --no-first-run --no-default-browser-check --disable-gpu "
                     "--disable-dev-shm-usage --password-store=basic "
                     "--disable-background-networking --disable-component-update" +
                         extension);
        write("config/chromium/Local State",
              R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},"Profile 1":{"name":"Work"}},)"
              R"("profiles_order":["Default","Profile 1"]}})");
        write(
            "config/chromium/NativeMessagingHosts/io.github.corvane.tabs.json",
            QByteArray::fromStdString(NativeHosts::manifestText(
                Browsers::Family::chromium, (buildFolder() + "/bin/corvane-extension-host").toStdString())));
        start("chromium");
    }
};

// Debian's Firefox ESR with the profiles "Work" and "Personal" it made
// itself, and Corvane's extension in each as an add-on of the profile's own.
class FirefoxDesk : public BrowserDesk {
public:
    FirefoxDesk()
    {
        const QString firefox = QStandardPaths::findExecutable("firefox-esr");
        m_bus.emplace();
        if (m_bus->address().isEmpty())
            m_problems << "no session bus";
        QProcessEnvironment environment = m_sandbox.environment();
        environment.insert("DISPLAY", m_display.display());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", m_bus->address());
        environment.insert("MOZ_CRASHREPORTER_DISABLE", "1");
        // Named as the first of the names the helper looks for, so the
        // system's own launcher never comes before it.
        writeWrapper("firefox", firefox,
                     "export DBUS_SESSION_BUS_ADDRESS='" + m_bus->address() +
                         "'\nexport MOZ_CRASHREPORTER_DISABLE=1\n",
                     {});
        for (const char* profile : {"Work", "Personal"}) {
            QProcess make;
            make.setProcessEnvironment(environment);
            make.start(firefox, {"-CreateProfile", profile});
            if (!make.waitForFinished(60000) || make.exitCode() != 0)
                m_problems << QString("Firefox made no profile ") + profile;
        }
        // Without a ~/.mozilla/firefox, recent Firefox keeps its profiles
        // under the XDG config folder.
        const QString root = QFile::exists(m_sandbox.path("home/.mozilla/firefox/profiles.ini"))
                                 ? m_sandbox.path("home/.mozilla/firefox")
                                 : m_sandbox.path("config/mozilla/firefox");
        const QString extension = copyExtension();
        QProcess zip;
        zip.setWorkingDirectory(extension);
        zip.start("zip",
                  QStringList{"-q", m_sandbox.path("route.xpi")} + QDir(extension).entryList(QDir::Files));
        if (!zip.waitForFinished(20000) || zip.exitCode() != 0)
            m_problems << "zip made no add-on";
        const QStringList folders = QDir(root).entryList({"*.Work", "*.Personal"}, QDir::Dirs);
        if (folders.size() != 2)
            m_problems << "profile folders: " + folders.join(", ");
        for (const QString& folder : folders) {
            // Firefox installs what it finds in a profile's extensions folder
            // on its first start; ESR, unlike the release, can be told to take
            // an add-on nobody signed.
            QDir().mkpath(root + "/" + folder + "/extensions");
            QFile::copy(m_sandbox.path("route.xpi"),
                        root + "/" + folder + "/extensions/route@corvane.invalid.xpi");
            write(QDir(m_sandbox.path()).relativeFilePath(root + "/" + folder + "/user.js"),
                  "user_pref(\"xpinstall.signatures.required\", false);\n"
                  "user_pref(\"extensions.autoDisableScopes\", 0);\n"
                  // Quiet first runs: no welcome pages, no reaching out.
                  "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                  "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                  "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                  "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                  "user_pref(\"app.update.enabled\", false);\n");
        }
        // Firefox looks for hosts under ~/.mozilla, wherever its profiles are.
        write("home/.mozilla/native-messaging-hosts/io.github.corvane.tabs.json",
              QByteArray::fromStdString(NativeHosts::manifestText(
                  Browsers::Family::firefox, (buildFolder() + "/bin/corvane-extension-host").toStdString())));
        start("firefox");
    }
};

bool chromiumMissing()
{
    return QStandardPaths::findExecutable("chromium").isEmpty() ||
           QStandardPaths::findExecutable("Xvfb").isEmpty();
}

bool firefoxMissing()
{
    for (const char* program : {"firefox-esr", "Xvfb", "dbus-daemon", "zip"})
        if (QStandardPaths::findExecutable(program).isEmpty())
            return true;
    return false;
}

// The extension in the Work profile tells Corvane which profile it runs in; a
// link already open there is switched to instead of loaded again, unless the
// user turned reuse off.
void switchesToTheOpenTab(BrowserDesk& desk, const QString& browserId)
{
    ASSERT_TRUE(desk.ready()) << desk.problems();
    PageServer pages;
    const QString page = pages.url("/a");

    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Opened in Work.");
    ASSERT_TRUE(waitUntil([&] { return pages.count("GET /a HTTP/1.1") == 1; }, 90000));
    ASSERT_TRUE(
        waitUntil([&] { return desk.relay().connectedProfiles(browserId) == QStringList{"Work"}; }, 90000))
        << "the extension in Work never connected";

    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Switched to the open tab in Work.");
    EXPECT_TRUE(desk.model().recent().first().reused);
    QTest::qWait(5000);
    EXPECT_EQ(pages.count("GET /a HTTP/1.1"), 1) << "the page was loaded again";

    desk.model().userDefaults().setValue("reuseOpenTabs", false);
    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Opened in Work.");
    EXPECT_FALSE(desk.model().recent().first().reused);
    EXPECT_TRUE(waitUntil([&] { return pages.count("GET /a HTTP/1.1") == 2; }, 90000));
    EXPECT_EQ(desk.everConnected(), QStringList{"Work"}) << "only the profile that was opened";
}

TEST(TabReuseChromium, AnOpenTabIsSwitchedToThroughTheExtension)
{
    if (chromiumMissing())
        GTEST_SKIP() << "needs chromium and Xvfb";
    ChromiumDesk desk(true);
    switchesToTheOpenTab(desk, "chromium");
}

// Without the extension nothing ever connects, and every link is opened anew.
TEST(TabReuseChromium, WithoutTheExtensionTheLinkOpensAgain)
{
    if (chromiumMissing())
        GTEST_SKIP() << "needs chromium and Xvfb";
    ChromiumDesk desk(false);
    ASSERT_TRUE(desk.ready());
    PageServer pages;
    const QString page = pages.url("/a");

    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Opened in Work.");
    ASSERT_TRUE(waitUntil([&] { return pages.count("GET /a HTTP/1.1") == 1; }, 90000));
    QTest::qWait(5000); // long enough for an extension to have connected

    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Opened in Work.");
    EXPECT_FALSE(desk.model().recent().first().reused);
    EXPECT_TRUE(waitUntil([&] { return pages.count("GET /a HTTP/1.1") == 2; }, 90000));
    EXPECT_TRUE(desk.everConnected().isEmpty()) << desk.everConnected().join(", ").toStdString();
}

// Firefox's host knows the profile by the folder its Firefox holds locked;
// Personal, never started, never connects.
TEST(TabReuseFirefox, AnOpenTabIsSwitchedToThroughTheExtension)
{
    if (firefoxMissing())
        GTEST_SKIP() << "needs firefox-esr, Xvfb, dbus-daemon and zip";
    FirefoxDesk desk;
    switchesToTheOpenTab(desk, "firefox");
}

} // namespace
