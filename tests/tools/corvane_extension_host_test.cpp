// corvane-extension-host as the browser starts it: its standard input and
// output are the extension's port, and a socket of the test plays Corvane.

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

const QString origin = "chrome-extension://hiceokegphiaapaahglbcbkcdngejhli/";
const QByteArray token = "corvane-profile-4f1c2a9e-7d3b-4e8a-9c21-0b5d6e7f8a90";

QString hostBinary()
{
    const QString build = qEnvironmentVariable("CORVANE_BUILD_DIR");
    return (build.isEmpty() ? QCoreApplication::applicationDirPath() + "/.." : build) +
           "/bin/corvane-extension-host";
}

QByteArray frame(const QByteArray& body)
{
    const auto length = static_cast<std::uint32_t>(body.size());
    QByteArray out(sizeof length, '\0');
    std::memcpy(out.data(), &length, sizeof length);
    return out + body;
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A home with Chromium's two profiles, the mark of our extension in "Work".
class HostSandbox {
public:
    HostSandbox()
    {
        QDir(m_dir.path()).mkpath("run");
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write("config/chromium/Local State",
              R"({"profile":{"info_cache":{"Default":{"name":"Personal"},"Profile 1":{"name":"Work"}}}})");
        write("config/chromium/Default/Local Extension Settings/hiceokegphiaapaahglbcbkcdngejhli/000003.log",
              "\x01\x02profileToken\"corvane-profile-00000000-0000-4000-8000-000000000000\"");
        write("config/chromium/Profile 1/Local Extension Settings/hiceokegphiaapaahglbcbkcdngejhli/000003.log",
              "\x01\x02profileToken\"" + token + "\"");
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString socketPath() const { return path("run/corvane-tabs.sock"); }

    void write(const QString& name, const QByteArray& content, bool executable = false) const
    {
        QDir().mkpath(QFileInfo(path(name)).path());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env;
        env.insert("PATH", path("bin") + ":/usr/bin:/bin");
        env.insert("HOME", m_dir.path());
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CACHE_HOME", path("cache"));
        env.insert("XDG_RUNTIME_DIR", path("run"));
        return env;
    }

    void start(QProcess& host, const QStringList& arguments, const QString& program = hostBinary()) const
    {
        host.setProcessEnvironment(environment());
        host.start(program, arguments);
        ASSERT_TRUE(host.waitForStarted(5000));
    }

private:
    QTemporaryDir m_dir;
};

// Corvane's side: the relay's socket, one JSON object per line.
class FakeCorvane {
public:
    bool listen(const QString& path) { return m_server.listen(path); }
    QLocalSocket* waitForHost(int ms = 5000)
    {
        // A connection the event loop has taken already is waiting; asking the socket again would not see it.
        if (!m_socket && (m_server.hasPendingConnections() || m_server.waitForNewConnection(ms)))
            m_socket = m_server.nextPendingConnection();
        return m_socket;
    }
    QJsonObject line(int ms = 5000)
    {
        if (!m_socket || !QTest::qWaitFor([&] { return m_socket->canReadLine(); }, ms))
            return {};
        return QJsonDocument::fromJson(m_socket->readLine()).object();
    }
    void send(const QByteArray& line)
    {
        m_socket->write(line + "\n");
        m_socket->flush();
    }
    void close()
    {
        m_socket->close();
        m_socket = nullptr;
    }

private:
    QLocalServer m_server;
    QLocalSocket* m_socket = nullptr;
};

// The frames the host wrote to the extension so far.
QList<QByteArray> framesFrom(QProcess& host, int count, int ms = 5000)
{
    QByteArray bytes;
    QList<QByteArray> frames;
    (void)QTest::qWaitFor(
        [&] {
            bytes += host.readAllStandardOutput();
            while (bytes.size() >= 4) {
                std::uint32_t length = 0;
                std::memcpy(&length, bytes.constData(), 4);
                if (bytes.size() < 4 + qsizetype(length))
                    break;
                frames << bytes.mid(4, length);
                bytes.remove(0, 4 + length);
            }
            return frames.size() >= count;
        },
        ms);
    return frames;
}

// Into the host's standard input now: the waits below do not run the event loop.
void toHost(QProcess& host, const QByteArray& bytes)
{
    host.write(bytes);
    while (host.bytesToWrite() > 0 && host.waitForBytesWritten(1000)) {
    }
}

const QJsonObject hello{{"type", "hello"}, {"token", QString::fromLatin1(token)}};

TEST(ExtensionHost, SaysWhichProfileItSpeaksForThenRelaysBothWays)
{
    HostSandbox sandbox;
    FakeCorvane corvane;
    ASSERT_TRUE(corvane.listen(sandbox.socketPath()));
    QProcess host;
    sandbox.start(host, {origin});

    // The greeting arrives in pieces, as a pipe may deliver it.
    const QByteArray greeting = frame(json(hello));
    for (const QByteArray& piece : {greeting.left(2), greeting.mid(2, 9), greeting.mid(11)}) {
        toHost(host, piece);
        QTest::qWait(50);
    }
    ASSERT_TRUE(corvane.waitForHost());
    EXPECT_EQ(corvane.line(), (QJsonObject{{"type", "hello"}, {"browser", "chromium"}, {"profile", "Work"}}));

    const QJsonObject find{{"type", "find"}, {"id", 7}, {"url", "https://a.example/ü"}, {"within", 200}};
    corvane.send(json(find));
    const QList<QByteArray> frames = framesFrom(host, 1);
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(frames.first()).object(), find);

    // Two answers in one write reach Corvane as two lines, in order.
    const QJsonObject first{{"type", "found"}, {"id", 7}, {"switched", true}};
    const QJsonObject second{{"type", "found"}, {"id", 8}, {"switched", false}};
    toHost(host, frame(json(first)) + frame(json(second)));
    EXPECT_EQ(corvane.line(), first);
    EXPECT_EQ(corvane.line(), second);

    host.closeWriteChannel(); // the browser closed the port
    ASSERT_TRUE(host.waitForFinished(5000));
    EXPECT_EQ(host.exitCode(), 0);
}

TEST(ExtensionHost, WaitsForCorvaneAndEndsOnceItHasLostIt)
{
    HostSandbox sandbox;
    QProcess host;
    sandbox.start(host, {origin});
    toHost(host, frame(json(hello)));
    EXPECT_FALSE(host.waitForFinished(1500)) << "no Corvane yet is no reason to close the port";

    FakeCorvane corvane;
    ASSERT_TRUE(corvane.listen(sandbox.socketPath()));
    ASSERT_TRUE(corvane.waitForHost());
    EXPECT_EQ(corvane.line().value("profile").toString(), "Work");

    corvane.close();
    ASSERT_TRUE(host.waitForFinished(5000)) << "a host that lost Corvane ends, so the extension comes back";
    EXPECT_EQ(host.exitCode(), 0);
}

TEST(ExtensionHost, ClosesThePortOnWhatIsNotOurs)
{
    const auto bigLength = [] {
        QByteArray header(4, '\0');
        const std::uint32_t length = 64 * 1024 + 1;
        std::memcpy(header.data(), &length, 4);
        return header;
    };
    struct Case {
        const char* name;
        QStringList arguments;
        QByteArray fromExtension;
        QByteArray fromCorvane; // once greeted
        int status;
        QString message;
    };
    const QList<Case> cases{
        {"another extension", {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"}, frame(json(hello)), {}, 2,
         "only Corvane's own browser extension may start this host"},
        {"no origin at all", {}, {}, {}, 2, "only Corvane's own browser extension"},
        {"a length over the bound", {origin}, bigLength() + "{}", {}, 1, "over 65536 bytes"},
        {"not JSON", {origin}, frame("{\"type\":"), {}, 1, "not a JSON object with a type"},
        {"JSON but no object", {origin}, frame("[1,2]"), {}, 1, "not a JSON object with a type"},
        {"a mark no profile holds", {origin},
         frame(R"({"type":"hello","token":"corvane-profile-ffffffff-ffff-4fff-8fff-ffffffffffff"})"), {}, 1,
         "cannot tell which browser profile"},
        {"a mark that is not ours", {origin}, frame(R"({"type":"hello","token":"p"})"), {}, 1,
         "cannot tell which browser profile"},
        {"Corvane says something else", {origin}, frame(json(hello)), "<html>", 1,
         "not a JSON object with a type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostSandbox sandbox;
        FakeCorvane corvane;
        ASSERT_TRUE(corvane.listen(sandbox.socketPath()));
        QProcess host;
        sandbox.start(host, c.arguments);
        toHost(host, c.fromExtension);
        if (!c.fromCorvane.isEmpty()) {
            ASSERT_TRUE(corvane.waitForHost());
            corvane.send(c.fromCorvane);
        }
        ASSERT_TRUE(host.waitForFinished(8000));
        EXPECT_EQ(host.exitCode(), c.status);
        EXPECT_TRUE(host.readAllStandardError().contains(c.message.toUtf8()));
        EXPECT_TRUE(framesFrom(host, 1, 100).isEmpty()) << "nothing reached the extension";
    }
}

// Firefox runs a process per profile and holds the profile's lock file open;
// here a shell plays that Firefox and starts the host as Firefox would.
TEST(ExtensionHost, TellsAFirefoxProfileByTheLockItsFirefoxHolds)
{
    HostSandbox sandbox;
    sandbox.write(".mozilla/firefox/profiles.ini",
                  "[Profile0]\nName=Personal\nIsRelative=1\nPath=aa11.Personal\n\n"
                  "[Profile1]\nName=Work\nIsRelative=1\nPath=bb22.Work\n");
    sandbox.write(".mozilla/firefox/aa11.Personal/.parentlock", "");
    sandbox.write(".mozilla/firefox/bb22.Work/.parentlock", "");
    sandbox.write("bin/firefox-of-work",
                  "#!/bin/sh\nexec 3<'" + sandbox.path(".mozilla/firefox/bb22.Work/.parentlock").toUtf8() +
                      "'\n'" + hostBinary().toUtf8() + "' \"$@\"\nexit $?\n",
                  true);
    FakeCorvane corvane;
    ASSERT_TRUE(corvane.listen(sandbox.socketPath()));
    QProcess firefox;
    sandbox.start(firefox,
                  {sandbox.path(".mozilla/native-messaging-hosts/io.github.corvane.tabs.json"),
                   "route@corvane.invalid"},
                  sandbox.path("bin/firefox-of-work"));
    toHost(firefox, frame(R"({"type":"hello","token":""})"));
    ASSERT_TRUE(corvane.waitForHost());
    EXPECT_EQ(corvane.line(), (QJsonObject{{"type", "hello"}, {"browser", "firefox"}, {"profile", "Work"}}));
    firefox.closeWriteChannel();
    EXPECT_TRUE(firefox.waitForFinished(5000));
}

TEST(ExtensionHost, WritesAndRemovesTheManifestsOfTheBrowsersInstalledHere)
{
    HostSandbox sandbox;
    sandbox.write("bin/chromium", "#!/bin/sh\n", true);
    sandbox.write("bin/firefox-esr", "#!/bin/sh\n", true);
    const QString chromium = sandbox.path("config/chromium/NativeMessagingHosts/io.github.corvane.tabs.json");
    const QString firefox = sandbox.path(".mozilla/native-messaging-hosts/io.github.corvane.tabs.json");
    const QString chrome = sandbox.path("config/google-chrome/NativeMessagingHosts/io.github.corvane.tabs.json");

    QProcess install;
    sandbox.start(install, {"--install-manifests"});
    ASSERT_TRUE(install.waitForFinished(5000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const auto read = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    };
    const QJsonObject forChromium = read(chromium);
    EXPECT_EQ(forChromium.value("name").toString(), "io.github.corvane.tabs");
    EXPECT_EQ(forChromium.value("type").toString(), "stdio");
    EXPECT_EQ(forChromium.value("path").toString(), QFileInfo(hostBinary()).canonicalFilePath());
    EXPECT_EQ(forChromium.value("allowed_origins").toArray(), QJsonArray{origin});
    EXPECT_FALSE(forChromium.contains("allowed_extensions"));
    const QJsonObject forFirefox = read(firefox);
    EXPECT_EQ(forFirefox.value("allowed_extensions").toArray(), QJsonArray{"route@corvane.invalid"});
    EXPECT_FALSE(forFirefox.contains("allowed_origins"));
    EXPECT_FALSE(QFile::exists(chrome)) << "only installations found here";

    QProcess remove;
    sandbox.start(remove, {"--remove-manifests"});
    ASSERT_TRUE(remove.waitForFinished(5000));
    EXPECT_EQ(remove.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(chromium));
    EXPECT_FALSE(QFile::exists(firefox));
}

// Chromium derives an unpacked extension's id from the key in its manifest;
// the host and its manifests allow that id alone.
TEST(ExtensionHost, TheShippedExtensionHasTheIdTheHostAllows)
{
    QFile file(QStringLiteral(CORVANE_TEST_SOURCE_DIR "/resources/extension/manifest.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject manifest = QJsonDocument::fromJson(file.readAll()).object();
    const QByteArray key = QByteArray::fromBase64(manifest.value("key").toString().toLatin1());
    QByteArray id = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
    for (char& c : id)
        c = static_cast<char>('a' + QByteArray(1, c).toInt(nullptr, 16));
    EXPECT_EQ("chrome-extension://" + id + "/", origin.toLatin1());
    EXPECT_EQ(manifest.value("browser_specific_settings").toObject().value("gecko").toObject().value("id"),
              "route@corvane.invalid");
    // The link menu, the port to the host, tab switching and the profile's mark.
    EXPECT_EQ(manifest.value("permissions").toArray(),
              (QJsonArray{"contextMenus", "nativeMessaging", "tabs", "storage"}));
}

} // namespace
