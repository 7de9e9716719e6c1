// Two real corvane processes: a later one hands its link to the running one,
// which routes it through the real helper to a fake browser.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

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
        // The browser: records how it was started.
        write(m_dir.filePath("bin/chromium"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" + m_dir.filePath("opened").toUtf8() + "\"\n");
        QFile::setPermissions(m_dir.filePath("bin/chromium"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(m_dir.filePath("runtime"));
        QFile::setPermissions(m_dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

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

    static void write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QProcess* start(const QStringList& args)
    {
        auto* process = new QProcess;
        process->setProcessEnvironment(m_env);
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

    QStringList openedWith(int waitMs = 10000)
    {
        QFile file(m_dir.filePath("opened"));
        for (int waited = 0; waited < waitMs && !file.exists(); waited += 50)
            QThread::msleep(50);
        QThread::msleep(100); // let the browser finish writing
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
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

} // namespace
