#include "app/updater.h"
#include "update_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace corvane::testing {
namespace {

using Updater::Failure;

// An installed Corvane.app (version 1.0) in a folder of its own, a web server
// for the downloads, test keys, and home and XDG folders in the sandbox so the
// Trash is the sandbox's.
class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            m_saved.append(
                {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            QDir().mkpath(path(QString("env/") + name));
            qputenv(name, path(QString("env/") + name).toUtf8());
        }
        writeApplication(installed(), "1.0", "old");
        QDir().mkpath(path("tmp"));
        QDir().mkpath(path("www"));
        options.publicKey = keys.publicKey();
        options.tempFolder = path("tmp");
    }

    void TearDown() override
    {
        QFile::setPermissions(path("apps"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name.constData(), *value);
            else
                qunsetenv(name.constData());
        }
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString installed() const { return path("apps/Corvane.app"); }
    QString trashed() const { return path("env/XDG_DATA_HOME/Trash/files/Corvane.app"); }

    // Serves an archive of these entries under /name, signed by `key` (none:
    // no signature at all) with a release's trusted comment naming the
    // archive's version, or `comment`; returns its address.
    QString publish(const QString& name, const std::vector<ZipEntry>& entries, const QString& key = "trusted",
                    std::optional<QString> comment = std::nullopt)
    {
        const QString file = path("www/" + name);
        writeZip(file, entries);
        QFile zip(file);
        zip.open(QIODevice::ReadOnly);
        server.route("/" + name, 200, zip.readAll());
        if (!comment) {
            comment = "Corvane 2.0";
            for (const ZipEntry& entry : entries)
                if (entry.name.endsWith("/version"))
                    comment = "Corvane " + QString::fromUtf8(entry.content).trimmed();
        }
        if (!key.isEmpty())
            server.route("/" + name + ".minisig", 200, keys.sign(file, key, *comment));
        return server.url("/" + name);
    }

    Updater::Result install(const QString& zip, const QString& expected = "2.0",
                            std::function<void(Updater::Cancel)> meanwhile = {})
    {
        std::optional<Updater::Result> result;
        const Updater::Cancel cancel = Updater::install(
            QUrl(zip), expected, current.value_or(installed()), options, &context,
            [this](int percent) { progress << percent; }, [&](const Updater::Result& r) { result = r; });
        if (meanwhile)
            meanwhile(cancel);
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 30000));
        return result.value_or(Updater::Result{});
    }

    static std::optional<Failure> failureOf(const Updater::Result& result)
    {
        return result.error ? result.error->failure : std::nullopt;
    }

    QTemporaryDir dir;
    SigningKeys keys;
    FileServer server;
    Updater::Options options;
    QObject context;
    QList<int> progress;
    std::optional<QString> current; // none: installed()

private:
    QList<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};

TEST_F(UpdaterTest, MessagesAreTheInstallersOwn)
{
    const std::vector<std::pair<Failure, const char*>> expected{
        {Failure::download, "The update couldn't be downloaded. Check your connection and try again."},
        {Failure::unzip, "The update file couldn't be opened."},
        {Failure::missingApp, "The update file doesn't contain Corvane."},
        {Failure::signature, "The update isn't signed by Corvane's developer, so it wasn't installed."},
        {Failure::notNewer, "The download isn't newer than this version."},
        {Failure::notWritable,
         "Corvane can't replace itself in this folder. Download the update from the website instead."},
    };
    for (const auto& [failure, text] : expected)
        EXPECT_EQ(Updater::message(failure), text);
}

TEST_F(UpdaterTest, ReplacesTheFolderAndPutsTheOldOneInTheTrash)
{
    // A staged copy left behind by an earlier attempt.
    writeApplication(path("apps/.Corvane 2.0.app"), "0.5", "leftover");
    QFile::remove(path("apps/.Corvane 2.0.app/version"));
    const QString zip = publish("c.zip", applicationEntries("2.0"));

    // While it swaps, the work folder is the user's alone.
    QFile::Permissions workMode;
    options.moveIntoPlace = [&](const QString& staged, const QString& current) {
        const QStringList work = QDir(path("tmp")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (work.size() == 1)
            workMode = QFileInfo(path("tmp/" + work.front())).permissions();
        return QFile::rename(staged, current) ? QString() : QString("rename failed");
    };
    const Updater::Result result = install(zip);
    ASSERT_EQ(result.error, std::nullopt) << result.error->message.toStdString();
    EXPECT_EQ(workMode, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                            QFile::WriteUser | QFile::ExeUser);
    EXPECT_EQ(result.installed, installed());
    EXPECT_EQ(Updater::versionOf(installed()), "2.0");
    EXPECT_EQ(markerOf(installed()), "new");
    EXPECT_TRUE(QFileInfo(installed() + "/bin/corvane").isExecutable()) << "file modes are kept";
    EXPECT_FALSE(QFileInfo(installed() + "/version").isExecutable());
    EXPECT_EQ(markerOf(trashed()), "old");
    EXPECT_TRUE(QFile::exists(path("env/XDG_DATA_HOME/Trash/info/Corvane.app.trashinfo")));
    EXPECT_EQ(QDir(path("apps")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Corvane.app"})
        << "the staged copy became the application";
    EXPECT_TRUE(QDir(path("tmp")).isEmpty()) << "the work folder is removed";
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), 100);
}

TEST_F(UpdaterTest, FailuresLeaveTheInstalledFolderAsItWas)
{
    const auto app = [](const QString& version) { return applicationEntries(version); };
    QFile garbage(path("www/garbage"));
    garbage.open(QIODevice::WriteOnly);
    garbage.write("this is no zip archive");
    garbage.close();
    server.route("/bad-signature.zip.minisig", 200, "untrusted comment: x\nnot a signature\n");
    server.route("/forbidden.zip", 403, "no");
    server.route("/empty.zip", 204);

    const struct {
        const char* name;
        std::function<QString()> zip;
        QString expected;
        Failure failure;
    } cases[] = {
        {"no such archive", [&] { return server.url("/missing.zip"); }, "2.0", Failure::download},
        {"status 403", [&] { return server.url("/forbidden.zip"); }, "2.0", Failure::download},
        {"status 204", [&] { return server.url("/empty.zip"); }, "2.0", Failure::download},
        {"server gone", [] { return QString("http://127.0.0.1:9/c.zip"); }, "2.0", Failure::download},
        // A signature that cannot be downloaded is a failed download.
        {"unsigned", [&] { return publish("unsigned.zip", app("2.0"), ""); }, "2.0", Failure::download},
        {"another key", [&] { return publish("foreign.zip", app("2.0"), "foreign"); }, "2.0",
         Failure::signature},
        {"malformed signature", [&] { return publish("bad-signature.zip", app("2.0"), ""); }, "2.0",
         Failure::signature},
        {"not a zip",
         [&] {
             QFile::copy(path("www/garbage"), path("www/garbage.zip"));
             QFile in(path("www/garbage.zip"));
             in.open(QIODevice::ReadOnly);
             server.route("/garbage.zip", 200, in.readAll());
             server.route("/garbage.zip.minisig", 200, keys.sign(path("www/garbage.zip")));
             return server.url("/garbage.zip");
         },
         "2.0", Failure::unzip},
        {"named differently",
         [&] { return publish("other.zip", applicationEntries("2.0", "Corvane 2.app")); }, "2.0",
         Failure::missingApp},
        {"a file named like the folder",
         [&] {
             return publish("file.zip", {{"Corvane.app", ZipEntry::file, "x", 0644}});
         },
         "2.0", Failure::missingApp},
        {"same version", [&] { return publish("same.zip", app("1.0")); }, "1.0", Failure::notNewer},
        {"older version", [&] { return publish("older.zip", app("0.9")); }, "0.9", Failure::notNewer},
        {"older than announced", [&] { return publish("under.zip", app("1.5")); }, "1.10", Failure::notNewer},
        {"no version file",
         [&] {
             auto entries = app("2.0");
             entries.pop_back();
             return publish("noversion.zip", entries);
         },
         "2.0", Failure::notNewer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Updater::Result result = install(c.zip(), c.expected);
        EXPECT_EQ(failureOf(result), c.failure);
        EXPECT_EQ(result.error.value_or(Updater::Error{}).message, Updater::message(c.failure));
        EXPECT_EQ(markerOf(installed()), "old");
        EXPECT_EQ(Updater::versionOf(installed()), "1.0");
        EXPECT_FALSE(QFile::exists(trashed()));
        EXPECT_TRUE(QDir(path("tmp")).isEmpty()) << "the work folder is removed";
    }
    // Without a signature of ours, the archive is never downloaded.
    EXPECT_EQ(server.hits("/unsigned.zip"), 0);
    EXPECT_EQ(server.hits("/foreign.zip"), 0);
    EXPECT_EQ(server.hits("/bad-signature.zip"), 0);
}

// Each of these is signed with the trusted key, yet none is the release.
TEST_F(UpdaterTest, ASignatureMustNameCorvaneAndTheArchivesVersion)
{
    // A file the developer signed for something else, with minisign's own comment.
    const QString other = publish("other-purpose.zip", applicationEntries("2.0"), "trusted", "");
    // A valid release signature, of another archive, served beside this one.
    const QString swapped = publish("swapped.zip", applicationEntries("2.0", "Corvane.app", "evil"));
    publish("genuine.zip", applicationEntries("2.0"));
    QFile genuine(path("www/genuine.zip.minisig"));
    ASSERT_TRUE(genuine.open(QIODevice::ReadOnly));
    server.route("/swapped.zip.minisig", 200, genuine.readAll());
    const struct {
        const char* name;
        QString zip;
        QString expected;
    } cases[] = {
        {"signed for another purpose", other, "2.0"},
        {"another file's signature", swapped, "2.0"},
        {"signed as 3.0, unpacks as 2.0",
         publish("renamed.zip", applicationEntries("2.0"), "trusted", "Corvane 3.0"), "2.0"},
        {"signed as another product",
         publish("product.zip", applicationEntries("2.0"), "trusted", "Other 2.0"), "2.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Updater::Result result = install(c.zip, c.expected);
        EXPECT_EQ(failureOf(result), Failure::signature);
        EXPECT_EQ(markerOf(installed()), "old");
        EXPECT_TRUE(QDir(path("tmp")).isEmpty());
    }
    EXPECT_EQ(server.hits("/other-purpose.zip"), 0) << "refused before the archive is downloaded";
}

TEST_F(UpdaterTest, ADownloadThatDripsEndsAtItsDeadlineAndOneCanBeCancelled)
{
    publish("drip.zip", applicationEntries("2.0"));
    server.drip("/drip.zip");
    options.downloadDeadlineMs = 1500;
    const Updater::Result late = install(server.url("/drip.zip"));
    EXPECT_EQ(failureOf(late), Failure::download);
    EXPECT_FALSE(late.cancelled);
    EXPECT_TRUE(QDir(path("tmp")).isEmpty());

    options.downloadDeadlineMs = 60000;
    const Updater::Result stopped =
        install(server.url("/drip.zip"), "2.0", [&](const Updater::Cancel& cancel) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return server.hits("/drip.zip") == 2; }, 10000));
            QTest::qWait(200);
            cancel();
        });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.error, std::nullopt);
    EXPECT_EQ(markerOf(installed()), "old");
    EXPECT_TRUE(QDir(path("tmp")).isEmpty());

    // An archive larger than any release is cut off.
    options.maxDownloadBytes = 300;
    EXPECT_EQ(failureOf(install(publish("large.zip", applicationEntries("2.0")))), Failure::download);
    EXPECT_EQ(markerOf(installed()), "old");
}

// Each archive is signed by the trusted key: the unpacking itself must refuse
// to write anywhere but its own folder.
TEST_F(UpdaterTest, RefusesArchivesThatReachOutOfTheirFolder)
{
    const QString outside = path("outside");
    const struct {
        const char* name;
        ZipEntry entry;
    } cases[] = {
        {"parent folder", {"Corvane.app/../../../../outside", ZipEntry::file, "escaped", 0644}},
        {"leading parent", {"../outside", ZipEntry::file, "escaped", 0644}},
        {"absolute path", {outside, ZipEntry::file, "escaped", 0644}},
        {"link to an absolute path", {"Corvane.app/share/out", ZipEntry::link, outside.toUtf8(), 0777}},
        {"link up and out", {"Corvane.app/share/out", ZipEntry::link, "../../../outside", 0777}},
        {"climbing after a name", {"Corvane.app/share/out", ZipEntry::link, "here/../../../outside", 0777}},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ZipEntry> entries = applicationEntries("2.0");
        entries.insert(entries.begin() + 2, c.entry);
        // A file written through the link, should the link have been made.
        entries.push_back({"Corvane.app/share/out/written", ZipEntry::file, "escaped", 0644});
        const Updater::Result result = install(publish(QString("evil%1.zip").arg(index++), entries));
        EXPECT_EQ(failureOf(result), Failure::unzip);
        EXPECT_FALSE(QFileInfo::exists(outside));
        EXPECT_FALSE(QFileInfo::exists(path("written")));
        EXPECT_EQ(markerOf(installed()), "old");
        EXPECT_TRUE(QDir(path("tmp")).isEmpty());
    }
}

TEST_F(UpdaterTest, LinksInsideTheFolderAreKept)
{
    std::vector<ZipEntry> entries = applicationEntries("2.0");
    entries.push_back({"Corvane.app/bin/corvane-link", ZipEntry::link, "corvane", 0777});
    entries.push_back({"Corvane.app/share/up", ZipEntry::link, "../bin", 0777});
    const Updater::Result result = install(publish("links.zip", entries));
    ASSERT_EQ(result.error, std::nullopt) << result.error->message.toStdString();
    EXPECT_EQ(QFileInfo(installed() + "/bin/corvane-link").symLinkTarget(), installed() + "/bin/corvane");
    EXPECT_TRUE(QFileInfo(installed() + "/share/up").isSymLink());
}

TEST_F(UpdaterTest, SizeLimitsStopAnArchiveThatUnpacksTooLarge)
{
    options.maxUnpackedBytes = 1000;
    std::vector<ZipEntry> entries = applicationEntries("2.0");
    entries.push_back({"Corvane.app/big", ZipEntry::file, QByteArray(5000, 'z'), 0644});
    EXPECT_EQ(failureOf(install(publish("big.zip", entries))), Failure::unzip);
    options.maxUnpackedBytes = qint64(1) << 30;
    options.maxEntries = 3;
    EXPECT_EQ(failureOf(install(publish("many.zip", applicationEntries("2.0")))), Failure::unzip);
    EXPECT_EQ(markerOf(installed()), "old");
}

TEST_F(UpdaterTest, AFolderTheUserCannotWriteIsLeftAlone)
{
    const QString zip = publish("c.zip", applicationEntries("2.0"));
    ASSERT_TRUE(QFile::setPermissions(path("apps"), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                        QFile::ExeGroup | QFile::ReadOther |
                                                        QFile::ExeOther));
    const Updater::Result result = install(zip);
    EXPECT_EQ(failureOf(result), Failure::notWritable);
    EXPECT_EQ(markerOf(installed()), "old");

    // Not running from an application folder at all (a build folder).
    current = QString();
    EXPECT_EQ(failureOf(install(zip)), Failure::notWritable);
}

TEST_F(UpdaterTest, AFailedFinalMoveBringsTheOldFolderBack)
{
    options.moveIntoPlace = [](const QString&, const QString& current) {
        return current + ": Input/output error";
    };
    const Updater::Result result = install(publish("c.zip", applicationEntries("2.0")));
    ASSERT_TRUE(result.error.has_value());
    EXPECT_EQ(result.error->failure, std::nullopt);
    EXPECT_EQ(result.error->message, installed() + ": Input/output error. The previous version was put back, "
                                                   "so Corvane is unchanged.");
    EXPECT_EQ(markerOf(installed()), "old");
    EXPECT_FALSE(QFile::exists(trashed()));
    EXPECT_FALSE(QFile::exists(path("env/XDG_DATA_HOME/Trash/info/Corvane.app.trashinfo")));
    EXPECT_EQ(QDir(path("apps")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Corvane.app"});
}

TEST_F(UpdaterTest, WhenTheOldFolderCannotComeBackTheNewOneStays)
{
    // The move fails, and something now stands at the install path, so the
    // old folder cannot be put back either.
    options.moveIntoPlace = [](const QString&, const QString& current) {
        QFile blocker(current);
        blocker.open(QIODevice::WriteOnly);
        return current + ": Input/output error";
    };
    const Updater::Result result = install(publish("c.zip", applicationEntries("2.0")));
    ASSERT_TRUE(result.error.has_value());
    const QString staged = path("apps/.Corvane 2.0.app");
    EXPECT_EQ(result.error->message, installed() +
                                         ": Input/output error. The previous version is in the Trash (" +
                                         trashed() + ") and the new one is at " + staged +
                                         ": move either to " + installed() + " to use Corvane again.");
    EXPECT_EQ(markerOf(staged), "new");
    EXPECT_EQ(Updater::versionOf(staged), "2.0");
    EXPECT_EQ(markerOf(trashed()), "old");
}

TEST_F(UpdaterTest, RelaunchStartsTheNewProgramDetached)
{
    const QString app = path("relaunch/Corvane.app");
    QDir().mkpath(app + "/bin");
    QFile program(app + "/bin/corvane");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\necho \"$0 $(ps -o sid= -p $$)\" > \"$(dirname \"$0\")/started\"\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // The old process, still ending: the new program waits for it.
    QProcess old;
    old.start("sleep", {"3"});
    ASSERT_TRUE(old.waitForStarted(5000));
    ASSERT_TRUE(Updater::startRelaunch(app, old.processId()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(app + "/bin/started").size() > 0; }, 15000));
    EXPECT_EQ(old.state(), QProcess::NotRunning) << "started only once the old process was gone";
    QFile started(app + "/bin/started");
    started.open(QIODevice::ReadOnly);
    const QStringList fields = QString::fromUtf8(started.readAll()).simplified().split(' ');
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0], app + "/bin/corvane");
    EXPECT_NE(fields[1].toInt(), int(::getsid(0))) << "the program runs in a session of its own";
    EXPECT_FALSE(Updater::startRelaunch(app, 0, path("no-such-shell")));
}

} // namespace
} // namespace corvane::testing
