#include "model_fixture.h"
#include "update_fixture.h"

#include <QDateTime>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace corvane::testing {
namespace {

QByteArray feed(const QString& version, const QString& zip = {})
{
    QByteArray body = R"({"version":")" + version.toUtf8() + R"(","url":"https://example.com/release")";
    if (!zip.isEmpty())
        body += R"(,"zip":")" + zip.toUtf8() + '"';
    return body + "}";
}

class ModelUpdatesTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        env.alerts = &alerts;
        env.updates.feedURL = server.url("/latest.json");
        env.updates.version = "1.9";
        env.updates.application = path("apps/Corvane.app");
        env.updates.installer.publicKey = keys.publicKey();
        env.updates.installer.tempFolder = path("tmp");
        env.updates.relaunch = [this](const QString& application) { relaunched << application; };
        QDir().mkpath(path("tmp"));
        writeApplication(path("apps/Corvane.app"), "1.9", "old");
    }

    // A signed archive of Corvane `version` at /c.zip and a feed naming it.
    void publishRelease(const QString& version)
    {
        const QString file = path("c.zip");
        writeZip(file, applicationEntries(version));
        QFile zip(file);
        zip.open(QIODevice::ReadOnly);
        server.route("/c.zip", 200, zip.readAll());
        server.route("/c.zip.minisig", 200, keys.sign(file, "trusted", "Corvane " + version));
        server.route("/latest.json", 200, feed(version, server.url("/c.zip")));
    }

    // Runs the interactive check and waits for its alert.
    Alert check(Model& model)
    {
        const qsizetype before = alerts.shown.size();
        model.checkForUpdates();
        EXPECT_TRUE(QTest::qWaitFor([&] { return alerts.shown.size() > before; }, 20000));
        return alerts.shown.value(alerts.shown.size() - 1);
    }

    QSettings defaults() const { return QSettings(env.userDefaultsPath, QSettings::IniFormat); }

    FileServer server;
    SigningKeys keys;
    FakeAlerts alerts;
    QStringList relaunched;
};

const UpdateInfo announced{"3.0", QUrl("https://example.com/release"), QUrl("https://example.com/c.zip")};

TEST_F(ModelUpdatesTest, TheCheckComparesVersionsByNumber)
{
    const struct {
        const char* feed;
        const char* running;
        std::optional<UpdateInfo> available;
        Alert alert;
    } cases[] = {
        {"v1.10",
         "1.9",
         UpdateInfo{"1.10", QUrl("https://example.com/release"), std::nullopt},
         {"Corvane 1.10 is available",
          "You have 1.9. Install it now; Corvane restarts by itself.",
          {"Install update", "Later"}}},
        {"1.9", "1.9", std::nullopt, {"You're up to date", "Corvane 1.9 is the latest version.", {}}},
        {"V1.8v", "1.9", std::nullopt, {"You're up to date", "Corvane 1.9 is the latest version.", {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.feed);
        env.updates.version = c.running;
        server.route("/latest.json", 200, feed(c.feed));
        const auto model = makeModel();
        model->setAvailableUpdate(announced); // a newer check replaces an older announcement
        EXPECT_EQ(check(*model), c.alert);
        EXPECT_EQ(model->availableUpdate(), c.available);
        EXPECT_EQ(model->appVersion(), c.running);
    }
}

TEST_F(ModelUpdatesTest, AFailedCheckSaysSoAndKeepsTheAnnouncement)
{
    const Alert failed{"Couldn't check for updates", "Check your connection and try again.", {}};
    const struct {
        const char* name;
        int status;
        QByteArray body;
    } cases[] = {
        {"204", 204, {}},
        {"304", 304, {}},
        {"500", 500, feed("5.0")},
        {"malformed", 200, "{\"version\":"},
        {"no url", 200, R"({"version":"5.0"})"},
        {"relative url", 200, R"({"version":"5.0","url":"release/5"})"},
        {"local page", 200, R"({"version":"5.0","url":"file:///etc/passwd"})"},
        // Versions are shown in alerts: a feed must not put markup or a link there.
        {"markup in the version", 200, feed("5.0 <a href='file:///etc/passwd'>now</a>")},
        {"a link as the version", 200, feed("<a href=corvane://open?url=x>9</a>")},
        {"letters in the version", 200, feed("5.0-beta")},
        {"a version too long", 200, feed("5." + QString(40, '1'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.route("/latest.json", c.status, c.body);
        const auto model = makeModel();
        model->setAvailableUpdate(announced);
        EXPECT_EQ(check(*model), failed);
        EXPECT_EQ(model->availableUpdate(), announced);
    }
    server.route("/latest.json", 200, feed("5.0"));
    env.updates.feedURL = "http://127.0.0.1:9/latest.json"; // nobody listens there
    const auto model = makeModel();
    EXPECT_EQ(check(*model), failed);
}

TEST_F(ModelUpdatesTest, AFeedWithoutArchiveAnnouncesTheUpdateAndInstallingOpensThePage)
{
    server.route("/latest.json", 200, feed("2.0", "file:///tmp/corvane.zip")); // never a local file
    const auto model = makeModel();
    alerts.answers = {AlertPresenter::firstButton}; // "Install update"
    check(*model);
    ASSERT_EQ(model->availableUpdate(),
              (UpdateInfo{"2.0", QUrl("https://example.com/release"), std::nullopt}));
    EXPECT_EQ(platform.openedUrls, QList<QUrl>{QUrl("https://example.com/release")});
    EXPECT_FALSE(model->installingUpdate());
    EXPECT_EQ(model->status(), "");
}

TEST_F(ModelUpdatesTest, TheUserDefaultReplacesTheFeedWhenItIsAnAddress)
{
    server.route("/latest.json", 200, feed("1.0"));
    server.route("/other.json", 200, feed("7.0"));
    const auto model = makeModel();
    for (const char* invalid : {"", "not a url", "http://bad host/x"}) {
        model->userDefaults().setValue("updateFeedURL", invalid);
        EXPECT_EQ(model->latestURL(), QUrl(server.url("/latest.json"))) << invalid;
    }
    model->userDefaults().setValue("updateFeedURL", server.url("/other.json"));
    EXPECT_EQ(check(*model).message, "Corvane 7.0 is available");
    EXPECT_EQ(server.hits("/latest.json"), 0);
}

TEST_F(ModelUpdatesTest, TheQuietCheckRunsOnceADayAndCountsAFailure)
{
    server.route("/latest.json", 200, feed("2.0"));
    const double now = double(QDateTime::currentSecsSinceEpoch());
    auto model = makeModel();

    model->userDefaults().setValue("lastUpdateCheck", now - 3600);
    model->checkForUpdatesQuietly();
    QTest::qWait(300);
    EXPECT_EQ(server.totalHits(), 0);
    EXPECT_EQ(model->userDefaults().value("lastUpdateCheck").toDouble(), now - 3600);

    model->userDefaults().setValue("lastUpdateCheck", now - 86401);
    model->checkForUpdatesQuietly();
    EXPECT_TRUE(QTest::qWaitFor([&] { return model->availableUpdate().has_value(); }, 20000));
    EXPECT_EQ(server.hits("/latest.json"), 1);
    EXPECT_GE(defaults().value("lastUpdateCheck").toDouble(), now);
    EXPECT_TRUE(alerts.shown.isEmpty()) << "the quiet check shows nothing";

    // Never checked, and the server is down: the time is stored all the same.
    env.updates.feedURL = "http://127.0.0.1:9/latest.json";
    model = makeModel();
    model->userDefaults().remove("lastUpdateCheck");
    model->checkForUpdatesQuietly();
    EXPECT_GE(defaults().value("lastUpdateCheck").toDouble(), now);
    QTest::qWait(300);
    EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(ModelUpdatesTest, InstallsDownloadsWithProgressAndRestarts)
{
    publishRelease("2.0");
    const auto model = makeModel();
    QStringList statuses;
    QObject::connect(model.get(), &Model::statusChanged, [&] { statuses << model->status(); });
    model->setAvailableUpdate(
        UpdateInfo{"2.0", QUrl("https://example.com/release"), QUrl(server.url("/c.zip"))});

    QList<int> progress;
    QObject::connect(model.get(), &Model::updateProgressChanged,
                     [&] { progress << model->updateProgress(); });

    model->installUpdate();
    EXPECT_TRUE(model->installingUpdate());
    model->installUpdate(); // one installation at a time
    ASSERT_TRUE(QTest::qWaitFor([&] { return !relaunched.isEmpty(); }, 30000));
    EXPECT_EQ(relaunched, QStringList{path("apps/Corvane.app")});
    EXPECT_EQ(server.hits("/c.zip"), 1);
    EXPECT_EQ(markerOf(path("apps/Corvane.app")), "new");
    // The status is set once, as the toast; progress goes to the banner's bar.
    EXPECT_EQ(statuses, (QStringList{"Downloading Corvane 2.0…", "Installed. Restarting…"}));
    EXPECT_TRUE(progress.contains(100)) << progress.size();
    EXPECT_EQ(progress.last(), -1);
    EXPECT_EQ(model->updateProgress(), -1);
    EXPECT_TRUE(alerts.shown.isEmpty()) << "no question without waiting links";
}

TEST_F(ModelUpdatesTest, CancellingADownloadStopsItQuietly)
{
    publishRelease("2.0");
    server.drip("/c.zip");
    const auto model = makeModel();
    model->setAvailableUpdate(
        UpdateInfo{"2.0", QUrl("https://example.com/release"), QUrl(server.url("/c.zip"))});
    model->installUpdate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->updateProgress() >= 0; }, 10000));
    model->cancelUpdate();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model->installingUpdate(); }, 10000));
    EXPECT_EQ(model->updateProgress(), -1);
    QTest::qWait(100);
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_EQ(markerOf(path("apps/Corvane.app")), "old");
    EXPECT_TRUE(QDir(path("tmp")).isEmpty());
    EXPECT_TRUE(model->availableUpdate()) << "it can be installed later";
}

TEST_F(ModelUpdatesTest, WaitingLinksAreAskedAbout)
{
    publishRelease("2.0");
    const auto model = makeModel();
    model->receive({"https://example.com/waits"});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->pending().size(), 1);
    model->setAvailableUpdate(
        UpdateInfo{"2.0", QUrl("https://example.com/release"), QUrl(server.url("/c.zip"))});

    alerts.answers = {AlertPresenter::firstButton + 1}; // "Cancel"
    model->installUpdate();
    const Alert question{"Install the update now?",
                         "Links waiting for a profile are kept in memory only and will be discarded.",
                         {"Install", "Cancel"}};
    EXPECT_EQ(alerts.shown, QList<Alert>{question});
    EXPECT_FALSE(model->installingUpdate());
    EXPECT_EQ(model->pending().size(), 1);
    QTest::qWait(200);
    EXPECT_EQ(server.totalHits(), 0);

    alerts.answers = {AlertPresenter::firstButton}; // "Install"
    model->installUpdate();
    EXPECT_TRUE(model->installingUpdate());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !relaunched.isEmpty(); }, 30000));
}

TEST_F(ModelUpdatesTest, AFailedInstallationOffersTheWebsite)
{
    publishRelease("2.0");
    server.remove("/c.zip.minisig");
    const auto model = makeModel();
    model->setAvailableUpdate(
        UpdateInfo{"2.0", QUrl("https://example.com/release"), QUrl(server.url("/c.zip"))});
    alerts.answers = {AlertPresenter::firstButton}; // "Open website"
    model->installUpdate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.shown.isEmpty(); }, 30000));
    // The missing signature is a failed download, and nothing else was fetched.
    EXPECT_EQ(alerts.shown.first(),
              (Alert{"Couldn't install the update",
                     "The update couldn't be downloaded. Check your connection and try again.",
                     {"Open website", "Close"}}));
    EXPECT_EQ(server.hits("/c.zip"), 0);
    EXPECT_FALSE(model->installingUpdate());
    EXPECT_EQ(platform.openedUrls, QList<QUrl>{QUrl("https://example.com/release")});
    EXPECT_EQ(markerOf(path("apps/Corvane.app")), "old");
    EXPECT_TRUE(relaunched.isEmpty());
}

TEST_F(ModelUpdatesTest, UpdateNowForgetsTheDaysCheckAndInstalls)
{
    publishRelease("2.0");
    env.updates.updateNowPollMs = 50;
    const auto model = makeModel();
    model->userDefaults().setValue("lastUpdateCheck", double(QDateTime::currentSecsSinceEpoch()));
    model->updateNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !relaunched.isEmpty(); }, 30000));
    EXPECT_EQ(server.hits("/latest.json"), 1);
    EXPECT_EQ(Updater::versionOf(path("apps/Corvane.app")), "2.0");

    // Nothing newer: it gives up after its looks and installs nothing.
    env.updates.version = "2.0";
    env.updates.updateNowPolls = 4;
    const auto current = makeModel();
    current->updateNow();
    QTest::qWait(800);
    EXPECT_EQ(server.hits("/latest.json"), 2);
    EXPECT_EQ(relaunched.size(), 1);
    EXPECT_FALSE(current->installingUpdate());
}

// A package manager owns a packaged copy: Corvane announces a newer version
// and opens its page, and never downloads or replaces anything.
TEST_F(ModelUpdatesTest, APackagedCopyAnnouncesUpdatesAndNeverInstallsThem)
{
    publishRelease("2.0");
    env.updates.package = "deb";
    env.updates.updateNowPollMs = 50;
    auto model = makeModel();
    EXPECT_TRUE(model->updatesFromPackage());

    alerts.answers = {AlertPresenter::firstButton}; // "Open website"
    const Alert found = check(*model);
    EXPECT_EQ(found,
              (Alert{"Corvane 2.0 is available",
                     "You have 1.9. Corvane was installed from a package: install the new package from "
                     "the website.",
                     {"Open website", "Later"}}));
    EXPECT_EQ(platform.openedUrls, QList<QUrl>{QUrl("https://example.com/release")});

    model = makeModel();
    model->updateNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->availableUpdate().has_value(); }, 20000));
    QTest::qWait(500); // ten polls of an unpackaged copy
    EXPECT_EQ(server.hits("/c.zip"), 0);
    EXPECT_FALSE(model->installingUpdate());
    EXPECT_TRUE(relaunched.isEmpty());
    EXPECT_EQ(markerOf(path("apps/Corvane.app")), "old");
}

TEST(UpdateSettings, OnlyAPackagedFileMarksACopyAsPackaged)
{
    QTemporaryDir dir;
    EXPECT_EQ(UpdateSettings::packageOf({}), "");
    EXPECT_EQ(UpdateSettings::packageOf(dir.path()), "");
    QFile file(dir.filePath("packaged"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("deb\n");
    file.close();
    EXPECT_EQ(UpdateSettings::packageOf(dir.path()), "deb");
}

} // namespace
} // namespace corvane::testing
