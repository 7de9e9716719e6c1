#include "app/model.h"
#include "app/tab_relay.h"
#include "desktop_sandbox.h"
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

using namespace corvane;
using namespace corvane::test;

namespace {

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
    qsizetype count(const QString& requestLine) const { return m_requests.count(requestLine); }

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QStringList m_requests;
};

// An X server of our own, so every launch finds the running browser on the
// same display and hands it the link.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        m_server.setProgram("Xvfb");
        m_server.setArguments({"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        m_server.start();
        if (m_server.waitForStarted(5000) && QTest::qWaitFor([&] { return m_server.canReadLine(); }, 20000))
            m_display = ":" + QString::fromUtf8(m_server.readLine()).trimmed();
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QString display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

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

// Ends every browser the wrapper started: the helper starts each in a
// session of its own, so its process group holds all of it.
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

QString buildFolder()
{
    return qEnvironmentVariable("CORVANE_BUILD_DIR");
}

// Debian's Chromium with the user's data in a sandbox, started by the real
// helper through a `chromium` on PATH, and a Model routing every link to
// "Work" with a TabRelay where the extension's host finds it.
class ChromiumDesk {
public:
    explicit ChromiumDesk(bool withExtension) : m_reaper(m_sandbox.path("chromium.pids"))
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        QFile::setPermissions(m_sandbox.path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString path = m_sandbox.path("bin") + ":" + qEnvironmentVariable("PATH");
        m_sandbox.environment().insert("PATH", path);
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "PATH"})
            m_environment.set(name, m_sandbox.environment().value(name).toUtf8());

        QString extension;
        if (withExtension) {
            const QString source = qEnvironmentVariable("CORVANE_SOURCE_DIR") + "/resources/extension";
            QDir().mkpath(m_sandbox.path("extension"));
            for (const QString& file : QDir(source).entryList(QDir::Files))
                QFile::copy(source + "/" + file, m_sandbox.path("extension/" + file));
            extension = " '--load-extension=" + m_sandbox.path("extension") + "'";
        }
        // Running as root, Chromium refuses to start without --no-sandbox; the
        // helper never adds it, so this wrapper does, as a user's own would.
        // Debian's unbranded Chromium still takes --load-extension as it is.
        m_sandbox.writeScript("bin/chromium",
                              "echo $$ >> '" + m_sandbox.path("chromium.pids") +
                                  "'\nexport DISPLAY=" + m_display.display() + "\nexec '" + chromium +
                                  "' --no-sandbox --no-first-run --no-default-browser-check --disable-gpu "
                                  "--disable-dev-shm-usage --password-store=basic "
                                  "--disable-background-networking --disable-component-update" +
                                  extension + " \"$@\"\n");
        write("config/chromium/Local State",
              R"({"profile":{"info_cache":{"Default":{"name":"Person 1"},"Profile 1":{"name":"Work"}},)"
              R"("profiles_order":["Default","Profile 1"]}})");
        write(
            "config/chromium/NativeMessagingHosts/io.github.corvane.tabs.json",
            QByteArray::fromStdString(NativeHosts::manifestText(
                Browsers::Family::chromium, (buildFolder() + "/bin/corvane-extension-host").toStdString())));
        write("config/corvane/settings.json", R"({"defaultProfile":"Work","rules":[],"version":1})");

        m_listening = m_relay.listen(
            QString::fromStdString(IntakeFolder::tabsSocketPath(m_sandbox.path("run").toStdString())));
        QObject::connect(&m_relay, &TabRelay::connectionsChanged, [this] {
            for (const QString& profile : m_relay.connectedProfiles("chromium"))
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
        m_model->setTargetBrowser("chromium");
    }

    bool ready() const { return m_listening && !m_display.display().isEmpty(); }
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

private:
    void write(const QString& relative, const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(m_sandbox.path(relative)).path());
        QFile file(m_sandbox.path(relative));
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    }

    DesktopSandbox m_sandbox;
    VirtualDisplay m_display;
    ProcessEnvironment m_environment;
    std::unique_ptr<LinuxPlatform> m_platform;
    TabRelay m_relay;
    std::unique_ptr<Model> m_model;
    bool m_listening = false;
    QStringList m_everConnected;
    // Last, so it goes first: the browsers end while their display, the relay
    // and the sandbox are still there.
    BrowserReaper m_reaper;
};

bool chromiumMissing()
{
    return QStandardPaths::findExecutable("chromium").isEmpty() ||
           QStandardPaths::findExecutable("Xvfb").isEmpty();
}

// The extension in the Work profile tells Corvane which profile it runs in; a
// link already open there is switched to instead of loaded again, unless the
// user turned reuse off.
TEST(TabReuseChromium, AnOpenTabIsSwitchedToThroughTheExtension)
{
    if (chromiumMissing())
        GTEST_SKIP() << "needs chromium and Xvfb";
    ChromiumDesk desk(true);
    ASSERT_TRUE(desk.ready());
    PageServer pages;
    const QString page = pages.url("/a");

    ASSERT_TRUE(desk.route(page)) << desk.model().status().toStdString();
    EXPECT_EQ(desk.model().status().toStdString(), "Opened in Work.");
    ASSERT_TRUE(waitUntil([&] { return pages.count("GET /a HTTP/1.1") == 1; }, 90000));
    ASSERT_TRUE(
        waitUntil([&] { return desk.relay().connectedProfiles("chromium") == QStringList{"Work"}; }, 60000))
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

} // namespace
