// The Debian package made from this build: its control fields and files, and
// the programs unpacked from it (dpkg -x) into a folder of their own, which
// must find their helper and their resources from the /usr layout alone.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Output {
    int code = -1;
    QString out;
    QString err;
};

Output run(const QString& program, const QStringList& arguments, const QString& folder = {},
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    Output result;
    if (process.waitForFinished(240000) && process.exitStatus() == QProcess::NormalExit)
        result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class Package : public ::testing::Test {
protected:
    // CTest makes the package once for all these tests (see tests/CMakeLists.txt);
    // run by hand, the binary makes it itself.
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        const QString build = qEnvironmentVariable("CORVANE_BUILD_DIR");
        QString folder = build + "/package-test";
        if (QDir(folder).entryList({"corvane_*.deb"}).isEmpty()) {
            folder = s_dir->filePath("out");
            const Output made = run("cpack", {"-G", "DEB", "-B", folder}, build);
            s_made = made.out + made.err;
        }
        const QStringList debs = QDir(folder).entryList({"corvane_*.deb"});
        if (debs.size() != 1)
            return;
        s_deb = folder + "/" + debs.first();
        s_root = s_dir->filePath("root");
        if (run("dpkg", {"-x", s_deb, s_root}).code != 0)
            s_root.clear();
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        ASSERT_FALSE(s_deb.isEmpty()) << s_made.toStdString();
        ASSERT_FALSE(s_root.isEmpty()) << "dpkg -x failed";
    }

    static QString field(const QString& name) { return run("dpkg-deb", {"-f", s_deb, name}).out.trimmed(); }
    static QString installed(const QString& path) { return s_root + path; }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_made, s_deb, s_root;
};

TEST_F(Package, ControlFieldsNameTheLibrariesAndSuggestTheBrowsers)
{
    EXPECT_EQ(field("Package"), "corvane");
    EXPECT_EQ(field("Version"), CORVANE_VERSION);
    EXPECT_EQ(QFileInfo(s_deb).fileName(), "corvane_" CORVANE_VERSION "_" + field("Architecture") + ".deb");
    const QString depends = field("Depends");
    // From dpkg-shlibdeps: what the programs load, with versions.
    for (const char* library : {"libc6 (>=", "libqt6widgets6 (>=", "libqt6network6 (>=", "liburiparser1",
                                "libsodium23", "libarchive13"})
        EXPECT_TRUE(depends.contains(library)) << library << " in " << depends.toStdString();
    EXPECT_TRUE(depends.contains(QRegularExpression("(^|, )xdg-utils(,|$)"))) << depends.toStdString();
    EXPECT_FALSE(depends.contains("chromium")) << "a browser is the user's choice";
    EXPECT_TRUE(field("Suggests").startsWith("chromium | ")) << field("Suggests").toStdString();
    EXPECT_FALSE(field("Description").isEmpty());

    const QString scripts = run("dpkg-deb", {"-I", s_deb}).out;
    for (const char* script : {"postinst", "postrm"})
        EXPECT_TRUE(
            scripts.contains(QRegularExpression(QString(R"(\d+ bytes, +\d+ lines +\* +%1 )").arg(script))))
            << script << " is an executable control script:\n"
            << scripts.toStdString();
}

TEST_F(Package, EverythingLivesUnderUsrAndTheDesktopFindsIt)
{
    const QStringList listing = run("dpkg-deb", {"-c", s_deb}).out.split('\n', Qt::SkipEmptyParts);
    QStringList paths;
    for (const QString& line : listing) {
        const QString path = line.section(QRegularExpression(" +"), 5).section(" -> ", 0, 0);
        paths << path;
        EXPECT_TRUE(path == "./" || path.startsWith("./usr/")) << path.toStdString();
        EXPECT_TRUE(line.startsWith("-") || line.startsWith("d") || line.startsWith("l"))
            << line.toStdString();
        EXPECT_TRUE(line.contains(" root/root ")) << line.toStdString();
    }
    for (const char* expected : {"./usr/lib/Corvane.app/bin/corvane",
                                 "./usr/lib/Corvane.app/bin/corvane-app",
                                 "./usr/lib/Corvane.app/bin/corvane-route",
                                 "./usr/lib/Corvane.app/bin/corvane-bridge",
                                 "./usr/lib/Corvane.app/bin/corvane-extension-host",
                                 "./usr/lib/Corvane.app/version",
                                 "./usr/lib/Corvane.app/packaged",
                                 "./usr/lib/Corvane.app/share/corvane/extension/manifest.json",
                                 "./usr/bin/corvane",
                                 "./usr/bin/corvane-route",
                                 "./usr/share/applications/corvane.desktop",
                                 "./usr/share/icons/hicolor/scalable/apps/corvane.svg",
                                 "./usr/share/icons/hicolor/16x16/apps/corvane.png",
                                 "./usr/share/icons/hicolor/48x48/apps/corvane.png",
                                 "./usr/share/icons/hicolor/256x256/apps/corvane.png",
                                 "./usr/share/icons/hicolor/512x512/apps/corvane.png",
                                 "./usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml",
                                 "./usr/share/man/man1/corvane.1.gz",
                                 "./usr/share/man/man1/corvane-route.1.gz",
                                 "./usr/share/bash-completion/completions/corvane-route",
                                 "./usr/share/zsh/vendor-completions/_corvane-route",
                                 "./usr/share/fish/vendor_completions.d/corvane-route.fish",
                                 "./usr/share/doc/corvane/copyright",
                                 "./usr/share/doc/corvane/changelog.gz"})
        EXPECT_TRUE(paths.contains(expected)) << expected;
    EXPECT_FALSE(paths.contains("./usr/lib/Corvane.app/share/corvane/package/"))
        << "the packaging sources are not resources";

    // Relative links, so they hold in any root.
    EXPECT_EQ(QFile::symLinkTarget(installed("/usr/bin/corvane")),
              installed("/usr/lib/Corvane.app/bin/corvane"));
    EXPECT_EQ(QFileInfo(installed("/usr/bin/corvane-route")).symLinkTarget(),
              installed("/usr/lib/Corvane.app/bin/corvane-route"));
    EXPECT_EQ(read(installed("/usr/lib/Corvane.app/version")), CORVANE_VERSION "\n");
    EXPECT_EQ(read(installed("/usr/lib/Corvane.app/packaged")), "deb\n");

    const QByteArray entry = read(installed("/usr/share/applications/corvane.desktop"));
    EXPECT_TRUE(entry.contains("\nExec=/usr/bin/corvane %U\n")) << entry.toStdString();
    const Output entryCheck =
        run("desktop-file-validate", {installed("/usr/share/applications/corvane.desktop")});
    EXPECT_EQ(entryCheck.code, 0) << entryCheck.out.toStdString();
    EXPECT_TRUE(entryCheck.out.isEmpty()) << "no warnings either: " << entryCheck.out.toStdString();

    const Output metainfo =
        run("appstreamcli", {"validate", "--no-net", "--explain",
                             installed("/usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml")});
    EXPECT_EQ(metainfo.code, 0) << metainfo.out.toStdString() << metainfo.err.toStdString();
    const QByteArray metainfoText =
        read(installed("/usr/share/metainfo/io.github.corvane.Corvane.metainfo.xml"));
    EXPECT_TRUE(metainfoText.contains("<release version=\"" CORVANE_VERSION "\""));

    // The bitmaps are the size their folder says.
    const QByteArray png = read(installed("/usr/share/icons/hicolor/48x48/apps/corvane.png"));
    ASSERT_GE(png.size(), 24);
    EXPECT_EQ(png.mid(16, 8), QByteArray::fromHex("0000003000000030"));
}

TEST_F(Package, ManualPagesAreRoffThatManReadsWithoutComplaint)
{
    for (const char* page : {"corvane", "corvane-route"}) {
        SCOPED_TRACE(page);
        const QString file = installed(QString("/usr/share/man/man1/%1.1.gz").arg(page));
        const Output roff = run("gzip", {"-dc", file});
        EXPECT_TRUE(roff.out.contains(QString(".TH \"%1\" \"1\"").arg(page)))
            << roff.out.left(300).toStdString();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("MANWIDTH", "80");
        const Output shown = run("man", {"--warnings", "-l", file}, {}, env);
        EXPECT_EQ(shown.code, 0) << page;
        EXPECT_TRUE(shown.err.isEmpty()) << shown.err.toStdString();
        EXPECT_TRUE(shown.out.contains("EXIT STATUS"));

        // Every option the program's own help lists is described.
        const QString help = run(installed(QString("/usr/bin/") + page), {"--help"}).out;
        const QRegularExpression option(R"(^ +(--[a-z-]+))", QRegularExpression::MultilineOption);
        int options = 0;
        for (const QRegularExpressionMatch& match : option.globalMatch(help)) {
            ++options;
            EXPECT_TRUE(
                shown.out.contains(QRegularExpression("\\n {7}(-[a-z], )?" + match.captured(1) + "\\b")))
                << match.captured(1).toStdString();
        }
        EXPECT_GE(options, 4) << help.toStdString();
    }
}

TEST_F(Package, InstalledProgramsTellTheirVersion)
{
    for (const char* program : {"corvane", "corvane-route"}) {
        const Output version = run(installed(QString("/usr/bin/") + program), {"--version"});
        EXPECT_EQ(version.code, 0) << program;
        EXPECT_EQ(version.out, QString(program) + " " CORVANE_VERSION "\n");
    }
}

// The installed copy, in a home of its own: started for a link, it routes it
// through the helper beside it to a fake browser; started with --update-now,
// it sees it came from a package and leaves its files to the package manager.
class InstalledPackage : public Package {
protected:
    void SetUp() override
    {
        Package::SetUp();
        ASSERT_TRUE(m_home.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            const QString folder = m_home.filePath(QString("env/") + name);
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            m_env.insert(name, folder);
        }
        m_env.insert("QT_QPA_PLATFORM", "offscreen");
        m_env.insert("PATH", m_home.filePath("bin") + ":/usr/bin:/bin");
        write(config("corvane/settings.json"), R"({"version": 1, "rules": [
            {"id": "6F1C2A0E-5B7D-4E3A-9C11-2D8E4F6A7B01", "enabled": true, "kind": "domain",
             "pattern": "example.org", "profile": "Work"}]})");
        write(config("chromium/Local State"), R"({"profile": {"info_cache": {
            "Default": {"name": "Personal"}, "Profile 1": {"name": "Work"}}}})");
        write(m_home.filePath("bin/chromium"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" + m_home.filePath("opened").toUtf8() + "\"\n");
        QFile::setPermissions(m_home.filePath("bin/chromium"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void TearDown() override
    {
        m_corvane.terminate();
        if (!m_corvane.waitForFinished(5000)) {
            m_corvane.kill();
            m_corvane.waitForFinished(5000);
        }
    }

    QString config(const QString& name) const { return m_home.filePath("env/XDG_CONFIG_HOME/" + name); }
    void start(const QStringList& arguments)
    {
        m_corvane.setProcessEnvironment(m_env);
        m_corvane.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_corvane.setStandardOutputFile(QProcess::nullDevice());
        m_corvane.start(installed("/usr/bin/corvane"), arguments);
        ASSERT_TRUE(m_corvane.waitForStarted(10000));
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QProcess m_corvane;
};

TEST_F(InstalledPackage, RoutesALinkThroughItsOwnHelper)
{
    start({"https://example.org/page"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return read(m_home.filePath("opened")).count('\n') >= 2; }, 30000))
        << "the browser was never started";
    EXPECT_EQ(read(m_home.filePath("opened")), "--profile-directory=Profile 1\nhttps://example.org/page\n");
}

TEST_F(InstalledPackage, UpdateNowAnnouncesButNeverDownloads)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    QStringList requested;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                const QString path = QString::fromLatin1(socket->readAll().split(' ').value(1));
                requested << path;
                const QByteArray body = path == "/latest.json"
                                            ? R"({"version":"99.0","url":")" + base + R"(/release","zip":")" +
                                                  base + R"(/release.zip"})"
                                            : QByteArray("missing");
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });
    write(config("corvane/corvane.conf"), "[General]\nupdateFeedURL=" + base +
                                              "/latest.json\nlastUpdateCheck=" +
                                              QByteArray::number(QDateTime::currentSecsSinceEpoch()) + "\n");

    start({"--update-now"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !requested.isEmpty(); }, 30000)) << "the feed was never asked";
    // An unpackaged copy asks for the archive within a few polls of a quarter second.
    QTest::qWait(3000);
    EXPECT_EQ(requested, QStringList{"/latest.json"});
    EXPECT_EQ(m_corvane.state(), QProcess::Running);
    EXPECT_EQ(read(installed("/usr/lib/Corvane.app/version")), CORVANE_VERSION "\n");
}

} // namespace
