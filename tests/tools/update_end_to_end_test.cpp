// The whole update road: an installed Corvane, started with --update-now,
// finds a newer signed release on a feed served from 127.0.0.1, replaces its
// application folder and starts the new copy.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

int run(const QString& program, const QStringList& arguments, const QString& folder = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
               ? process.exitCode()
               : -1;
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

// Processes whose program is `binary` (the running executable, as /proc sees it).
QList<int> processesRunning(const QString& binary)
{
    QList<int> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (isPid && QFileInfo(QString("/proc/%1/exe").arg(pid)).symLinkTarget() == binary)
            found << pid;
    }
    return found;
}

TEST(UpdateEndToEnd, UpdateNowInstallsTheNewerReleaseAndStartsIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString prefix = dir.filePath("prefix");
    const QString app = prefix + "/lib/Corvane.app";
    ASSERT_EQ(run("cmake", {"--install", qEnvironmentVariable("CORVANE_BUILD_DIR"), "--prefix", prefix}), 0);
    ASSERT_TRUE(QFileInfo(prefix + "/bin/corvane").isSymLink());

    // A key pair of the test's own; the installed copy trusts it.
    ASSERT_EQ(run("minisign", {"-G", "-W", "-p", dir.filePath("test.pub"), "-s", dir.filePath("test.key")}),
              0);
    write(app + "/share/corvane/updates.pub", read(dir.filePath("test.pub")));

    // The "newer" release: the same install with a higher version, packed as a
    // release is.
    const QString stage = dir.filePath("stage");
    QDir().mkpath(stage);
    ASSERT_EQ(run("cp", {"-a", app, stage + "/Corvane.app"}), 0);
    write(stage + "/Corvane.app/version", "99.0\n");
    ASSERT_EQ(run("zip", {"-q", "-r", "-y", dir.filePath("release.zip"), "Corvane.app"}, stage), 0);
    ASSERT_EQ(run("minisign", {"-S", "-s", dir.filePath("test.key"), "-m", dir.filePath("release.zip"), "-t",
                               "corvane 99.0"}),
              0);

    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString base = QString("http://127.0.0.1:%1").arg(server.serverPort());
    const QHash<QString, QByteArray> files{
        {"/latest.json", R"({"version":"v99.0","url":")" + base.toUtf8() + R"(/release","zip":")" +
                             base.toUtf8() + R"(/release.zip"})"},
        {"/release.zip", read(dir.filePath("release.zip"))},
        {"/release.zip.minisig", read(dir.filePath("release.zip.minisig"))},
    };
    QStringList requested;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                const QByteArray head = socket->readAll();
                const QString path = QString::fromLatin1(head.split(' ').value(1));
                requested << path;
                const bool found = files.contains(path);
                const QByteArray body = files.value(path, "missing");
                socket->write("HTTP/1.1 " + QByteArray(found ? "200 OK" : "404 Not Found") +
                              "\r\nContent-Length: " + QByteArray::number(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = dir.filePath(QString("env/") + name);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(name, folder);
    }
    env.insert("QT_QPA_PLATFORM", "offscreen");
    write(dir.filePath("env/XDG_CONFIG_HOME/corvane/corvane.conf"),
          "[General]\nupdateFeedURL=" + base.toUtf8() + "/latest.json\nlastUpdateCheck=" +
              QByteArray::number(QDateTime::currentSecsSinceEpoch()) + "\n");

    QProcess corvane;
    corvane.setProcessEnvironment(env);
    corvane.setProcessChannelMode(QProcess::ForwardedChannels);
    corvane.start(prefix + "/bin/corvane", {"--update-now"});
    ASSERT_TRUE(corvane.waitForStarted(10000));

    // The old process ends by itself; the new one runs from the same folder
    // (the launcher it is started through becomes the application).
    QList<int> relaunched;
    const bool updated = QTest::qWaitFor(
        [&] {
            relaunched = processesRunning(app + "/bin/corvane-app");
            return corvane.state() == QProcess::NotRunning && !relaunched.isEmpty();
        },
        45000); // about 3 s on a quiet machine; room for a loaded one
    for (int pid : relaunched)
        ::kill(pid, SIGTERM);
    if (corvane.state() != QProcess::NotRunning) {
        corvane.kill();
        corvane.waitForFinished(5000);
    }
    EXPECT_TRUE(updated) << requested.join(", ").toStdString();
    EXPECT_EQ(read(app + "/version"), "99.0\n");
    EXPECT_EQ(read(dir.filePath("env/XDG_DATA_HOME/Trash/files/Corvane.app/version")), "0.1.0\n");
    EXPECT_EQ(corvane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(requested, (QStringList{"/latest.json", "/release.zip.minisig", "/release.zip"}));
}

} // namespace
