// Real corvane processes: the launcher the desktop starts hands its links to
// the running application, or becomes it, which routes them through the real
// helper to a fake browser.

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class CorvaneIntake : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString config = m_dir.filePath("config");
        write(config + "/corvane/settings.json", R"({"version": 1, "rules": [
            {"id": "6F1C2A0E-5B7D-4E3A-9C11-2D8E4F6A7B01", "enabled": true, "kind": "domain",
             "pattern": "example.org", "profile": "Work"}]})");
        write(config + "/chromium/Local State", R"({"profile": {"info_cache": {
            "Default": {"name": "Personal"}, "Profile 1": {"name": "Work"}}}})");
        // The browser: records how it was started, and with which environment.
        writeScript("bin/chromium",
                    "printf '%s\\n' \"$@\" >> \"" + m_dir.filePath("opened").toUtf8() +
                        "\"\n"
                        "echo \"$1 startup=${DESKTOP_STARTUP_ID-} token=${XDG_ACTIVATION_TOKEN-} "
                        "ld=${LD_LIBRARY_PATH-} appdir=${APPDIR-}\" >> \"" +
                        m_dir.filePath("environments").toUtf8() + "\"\n");
        QDir().mkpath(m_dir.filePath("runtime"));
        QFile::setPermissions(m_dir.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("HOME", m_dir.filePath("home"));
        m_env.insert("XDG_CONFIG_HOME", config);
        m_env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        m_env.insert("XDG_CACHE_HOME", m_dir.filePath("cache"));
        m_env.insert("XDG_RUNTIME_DIR", m_dir.filePath("runtime"));
        m_env.insert("PATH", m_dir.filePath("bin") + ":/usr/bin:/bin");
    }

    void TearDown() override
    {
        for (QProcess* process : m_running) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
    }

    void writeScript(const QString& name, const QByteArray& body)
    {
        write(m_dir.filePath(name), "#!/bin/sh\n" + body);
        QFile::setPermissions(m_dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    static void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QProcess* start(const QStringList& args, const QProcessEnvironment& extra = {},
                    const QString& workingFolder = {})
    {
        auto* process = new QProcess;
        QProcessEnvironment env = m_env;
        env.insert(extra);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(workingFolder);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane", args);
        EXPECT_TRUE(process->waitForStarted(5000));
        m_running.append(process);
        return process;
    }

    // Waits until the first process owns the socket.
    void waitUntilListening()
    {
        for (int i = 0; i < 100 && QDir(m_dir.filePath("runtime")).entryList(QDir::System).isEmpty(); ++i)
            QThread::msleep(50);
    }

    QStringList openedWith(int waitMs = 10000) { return linesOf("opened", 1, waitMs); }

    // The lines of a file the browser writes, once it has at least `count`.
    QStringList linesOf(const QString& name, int count, int waitMs = 10000)
    {
        QFile file(m_dir.filePath(name));
        const auto read = [&] {
            QFile fresh(file.fileName());
            return fresh.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(fresh.readAll()).split('\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        for (int waited = 0; waited < waitMs && read().size() < count; waited += 50)
            QThread::msleep(50);
        QThread::msleep(100); // let the browser finish writing
        return read();
    }

    static void expectHandedAndDone(QProcess* process, int waitMs = 10000)
    {
        ASSERT_TRUE(process->waitForFinished(waitMs)) << "a later process exits once it has handed over";
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QList<QProcess*> m_running;
};

TEST_F(CorvaneIntake, LaterProcessHandsItsLinkToTheRunningOne)
{
    QProcess* first = start({});
    waitUntilListening();

    QProcess* second = start({"https://example.org/"});
    ASSERT_TRUE(second->waitForFinished(5000)) << "the later process exits at once";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);

    EXPECT_EQ(openedWith(), (QStringList{"--profile-directory=Profile 1", "https://example.org/"}));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(CorvaneIntake, LaterProcessTakesOverFromAKilledOne)
{
    QProcess* first = start({});
    waitUntilListening();
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    first->waitForFinished(5000);

    QProcess* second = start({"https://example.org/"});
    EXPECT_EQ(openedWith(), (QStringList{"--profile-directory=Profile 1", "https://example.org/"}));
    EXPECT_EQ(second->state(), QProcess::Running) << "it became the running process itself";
}

// Once the running process has greeted, a later one waits for its answer
// however late it comes, and never becomes a second running process.
TEST_F(CorvaneIntake, GreetedButSlowRunningOneGetsEachLinkOnceAndNoSecondStarts)
{
    QLocalServer slow;
    ASSERT_TRUE(slow.listen(m_dir.filePath("runtime/corvane.sock")));
    QByteArray received;
    int connections = 0;
    QObject::connect(&slow, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = slow.nextPendingConnection();
        ++connections;
        socket->write("corvane-intake 2\n");
        QObject::connect(socket, &QLocalSocket::readyRead, [&, socket] {
            received += socket->readAll();
            // Far beyond the time a silent process gets to greet.
            QTimer::singleShot(4000, socket, [socket] { socket->write("ok\n"); });
        });
    });

    QProcess* later = start({"https://example.org/once"});
    QSignalSpy finished(later, &QProcess::finished);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(later->exitCode(), 0) << "it waited for the answer";
    EXPECT_EQ(connections, 1);
    EXPECT_EQ(received.count("https://example.org/once"), 1);
    EXPECT_FALSE(QFile::exists(m_dir.filePath("opened"))) << "no second Corvane routed the link";
}

// A link far beyond what the router opens still reaches the running Corvane,
// which refuses it with its own message; it is never dropped on the way, and
// the batch around it keeps its order.
TEST_F(CorvaneIntake, OverlongLinkIsHandedOverNotLeftOut)
{
    QLocalServer running;
    ASSERT_TRUE(running.listen(m_dir.filePath("runtime/corvane.sock")));
    QByteArray received;
    QObject::connect(&running, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = running.nextPendingConnection();
        socket->write("corvane-intake 2\n");
        QObject::connect(socket, &QLocalSocket::readyRead, [&, socket] {
            received += socket->readAll();
            if (received.contains("https://example.org/after"))
                socket->write("ok\n");
        });
    });

    const QString overlong = "https://example.org/?" + QString(40000, 'x');
    QProcess* later = start({"https://example.org/before", overlong, "https://example.org/after"});
    QSignalSpy finished(later, &QProcess::finished);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(later->exitCode(), 0);
    const qsizetype before = received.indexOf("https://example.org/before");
    const qsizetype longOne = received.indexOf(overlong.toUtf8());
    const qsizetype after = received.indexOf("https://example.org/after");
    EXPECT_TRUE(before >= 0 && longOne > before && after > longOne) << "all three, in order";
}

// The first start asks the desktop who handles web links; a slow answer must
// not keep later launches out, nor let one of them become a second instance.
TEST_F(CorvaneIntake, SlowFirstStartLetsABurstOfLaterLaunchesIn)
{
    const QString asked = m_dir.filePath("xdg-mime-asked");
    writeScript("bin/xdg-mime", "touch '" + asked.toUtf8() + "'\nsleep 8\necho other.desktop\n");
    QProcess* first = start({});
    for (int i = 0; i < 200 && !QFile::exists(asked); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(asked)) << "the first start asks the desktop";

    QStringList sent;
    QList<QProcess*> burst;
    for (int i = 0; i < 5; ++i) {
        sent << QString("https://example.org/burst/%1").arg(i);
        burst << start({sent.last()});
    }
    for (QProcess* later : burst)
        expectHandedAndDone(later, 7000);
    EXPECT_EQ(first->state(), QProcess::Running);

    QStringList opened;
    for (const QString& line : linesOf("opened", 10, 30000)) {
        if (line.startsWith("https://"))
            opened << line;
    }
    opened.sort();
    EXPECT_EQ(opened, sent) << "each link opened once, by the one running Corvane";
}

// A desktop may pass files as plain paths, a terminal user types relative
// ones: both open in the browser as file: links. The browser gets the
// activation of the launch that brought its link, and none of what the
// running process was started with.
TEST_F(CorvaneIntake, PathsOpenAsFileLinksWithTheirLaunchesActivationInACleanEnvironment)
{
    write(m_dir.filePath("pages/page one.html"), "<p>1</p>");
    write(m_dir.filePath("pages/sub/two.html"), "<p>2</p>");
    QProcessEnvironment bundle;
    bundle.insert("LD_LIBRARY_PATH", "/bundle/lib");
    bundle.insert("APPDIR", "/bundle");
    bundle.insert("DESKTOP_STARTUP_ID", "first-start_TIME1");
    start({}, bundle);
    waitUntilListening();

    QProcessEnvironment click;
    click.insert("DESKTOP_STARTUP_ID", "click-start_TIME2");
    expectHandedAndDone(start({m_dir.filePath("pages/page one.html")}, click));
    const QString one = "file://" + m_dir.filePath("pages/page%20one.html");
    EXPECT_EQ(linesOf("environments", 1), QStringList{one + " startup=click-start_TIME2 token= ld= appdir="});

    expectHandedAndDone(start({"sub/two.html"}, {}, m_dir.filePath("pages")));
    QProcessEnvironment wayland;
    wayland.insert("XDG_ACTIVATION_TOKEN", "wayland-token");
    expectHandedAndDone(start({"https://example.org/"}, wayland));
    EXPECT_EQ(linesOf("environments", 3),
              (QStringList{one + " startup=click-start_TIME2 token= ld= appdir=",
                           "file://" + m_dir.filePath("pages/sub/two.html") + " startup= token= ld= appdir=",
                           "--profile-directory=Profile 1 startup= token=wayland-token ld= appdir="}));
}

} // namespace
