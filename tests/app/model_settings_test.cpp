#include "model_fixture.h"

#include "core/config_file.h"
#include "core/config_json.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

namespace corvane::testing {
namespace {

using ModelSettingsTest = ModelTest;

Configuration numbered(int n)
{
    return withDefault(QString("Profile %1").arg(n));
}

std::filesystem::path fsPath(const QString& path)
{
    return path.toStdString();
}

QString backupOf(const QString& path)
{
    return path + ".backup";
}

// A file as a person writes it: not in our formatting, so a save of ours
// would show.
QByteArray handWritten(const Configuration& config)
{
    return "  " + QByteArray::fromStdString(ConfigJson::encode(config)) + "\n\n";
}

// Saving as most editors do: a new file renamed over the old one.
void replaceFile(const QString& path, const QByteArray& bytes)
{
    writeFile(path + ".new~", bytes);
    std::filesystem::rename(fsPath(path + ".new~"), fsPath(path));
}

TEST_F(ModelSettingsTest, ABurstOfChangesIsWrittenOnce)
{
    // The burst lasts longer than the delay, so only a timer that restarts
    // on every change writes once.
    env.saveDelayMs = 600;
    ConfigFile::save(numbered(0), fsPath(env.settingsPath));
    const QByteArray original = readFile(env.settingsPath);
    auto model = makeModel();
    ASSERT_EQ(model->config(), numbered(0));

    for (int i = 1; i <= 10; ++i) {
        model->setConfig(numbered(i));
        QTest::qWait(100);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(env.settingsPath) != original; }, 5000));
    QTest::qWait(2 * env.saveDelayMs);

    EXPECT_EQ(ConfigFile::load(fsPath(env.settingsPath)), numbered(10));
    // A second write would have put an intermediate configuration here.
    EXPECT_EQ(readFile(backupOf(env.settingsPath)).toStdString(), original.toStdString());
    EXPECT_EQ(model->savedConfig(), numbered(10));
    EXPECT_FALSE(model->saveError());
}

TEST_F(ModelSettingsTest, NothingIsWrittenWhileTheConfigurationEqualsTheSavedOne)
{
    env.saveDelayMs = 50;
    auto model = makeModel();
    model->setConfig(Configuration());
    QTest::qWait(4 * env.saveDelayMs);
    EXPECT_FALSE(QFileInfo::exists(env.settingsPath));

    // A missing file is no failure: the first rule creates it.
    model->addRule(Rule::make(MatchKind::domain, "example.com", "Work"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(env.settingsPath); }, 5000));
    EXPECT_EQ(ConfigFile::load(fsPath(env.settingsPath)), model->config());
}

TEST_F(ModelSettingsTest, TwoSavesLeaveTheFirstAsBackup)
{
    env.saveDelayMs = 50;
    auto model = makeModel();
    model->setConfig(numbered(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->savedConfig() == numbered(1); }, 5000));
    const QByteArray first = readFile(env.settingsPath);
    model->setConfig(numbered(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->savedConfig() == numbered(2); }, 5000));

    EXPECT_EQ(readFile(backupOf(env.settingsPath)).toStdString(), first.toStdString());
    EXPECT_EQ(ConfigFile::load(fsPath(env.settingsPath)), numbered(2));
}

TEST_F(ModelSettingsTest, AnUnreadableFilePausesRoutingAndIsNeverWritten)
{
    env.saveDelayMs = 50;
    writeFile(env.settingsPath, "{ not json");
    auto model = makeModel();
    EXPECT_TRUE(model->loadFailure());
    EXPECT_TRUE(model->status().startsWith(
        "Settings could not be read. Routing is paused; use Reveal file in Settings to repair it. "));
    EXPECT_GT(model->status().size(), 90); // the cause follows
    EXPECT_EQ(model->config(), Configuration());

    model->setConfig(withDefault("Work"));
    model->save();
    model->receive({"https://a.example/"});
    QTest::qWait(4 * env.saveDelayMs);

    EXPECT_EQ(readFile(env.settingsPath), "{ not json");
    EXPECT_FALSE(QFileInfo::exists(backupOf(env.settingsPath)));
    EXPECT_EQ(model->pending().size(), 1); // queued, never opened
    EXPECT_FALSE(model->isRouting());
    EXPECT_TRUE(requests().isEmpty());
}

TEST_F(ModelSettingsTest, AFailedSaveIsReportedUntilTheNextSaveSucceeds)
{
    env.saveDelayMs = 50;
    auto model = makeModel();
    Configuration invalid;
    invalid.rules.push_back(Rule::make(MatchKind::domain, "example.com", ""));
    model->setConfig(invalid);
    const QString message = "Couldn't save: Choose a destination profile for each enabled rule.";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->saveError().has_value(); }, 5000));
    EXPECT_EQ(model->saveError(), message);
    EXPECT_EQ(model->status(), message);
    EXPECT_EQ(model->config(), invalid); // the edit stays in memory
    EXPECT_FALSE(QFileInfo::exists(env.settingsPath));

    model->setConfig(withDefault("Work"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->saveError().has_value(); }, 5000));
    EXPECT_EQ(ConfigFile::load(fsPath(env.settingsPath)), withDefault("Work"));
}

TEST_F(ModelSettingsTest, HandEditsAreLoadedAndNeverWrittenBack)
{
    env.saveDelayMs = 50;
    ConfigFile::save(numbered(0), fsPath(env.settingsPath));
    auto model = makeModel();
    const struct {
        const char* how;
        std::function<void(const QString&, const QByteArray&)> write;
    } edits[] = {{"rewritten in place", writeFile},
                 {"replaced by a rename", replaceFile},
                 {"in place again, after the rename", writeFile}};
    int n = 0;
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.how);
        const Configuration edited = numbered(++n);
        edit.write(env.settingsPath, handWritten(edited));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->config() == edited; }, 5000));
        EXPECT_EQ(model->savedConfig(), edited);
        EXPECT_FALSE(model->loadFailure());
    }
    QTest::qWait(4 * env.saveDelayMs);
    EXPECT_EQ(readFile(env.settingsPath), handWritten(numbered(n)));
    EXPECT_FALSE(QFileInfo::exists(backupOf(env.settingsPath))) << "nothing was saved";
    EXPECT_TRUE(model->status().isEmpty());
}

TEST_F(ModelSettingsTest, AnUnusableHandEditPausesRoutingAndIsNeverOverwrittenUntilRepaired)
{
    env.saveDelayMs = 50;
    ConfigFile::save(withDefault("Work"), fsPath(env.settingsPath));
    auto model = makeModel();

    writeFile(env.settingsPath, "{ broken");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->loadFailure(); }, 5000));
    EXPECT_TRUE(model->status().startsWith(
        "Settings could not be read. Routing is paused; use Reveal file in Settings to repair it. "));
    model->setConfig(withDefault("Other"));
    model->save();
    model->receive({"https://a.example/"});
    QTest::qWait(4 * env.saveDelayMs);
    EXPECT_EQ(readFile(env.settingsPath), "{ broken");
    EXPECT_TRUE(routedUrls().isEmpty());
    EXPECT_EQ(model->pending().size(), 1);

    replaceFile(env.settingsPath, handWritten(withDefault("Home")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->loadFailure(); }, 5000));
    EXPECT_EQ(model->config(), withDefault("Home"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return routedUrls() == QStringList{"https://a.example/"}; }, 5000));
    QTest::qWait(4 * env.saveDelayMs);
    EXPECT_EQ(readFile(env.settingsPath), handWritten(withDefault("Home")));
}

// Whatever replaced the file last (our own save, an editor that keeps the old
// file as its backup), the watch follows the file now at the path: a later
// edit in place is seen.
TEST_F(ModelSettingsTest, AnEditInPlaceIsSeenAfterTheFileWasReplaced)
{
    env.saveDelayMs = 50;
    env.reloadDelayMs = 50;
    ConfigFile::save(numbered(0), fsPath(env.settingsPath));
    auto model = makeModel();
    const auto keepingBackup = [](const QString& path, const QByteArray& bytes) {
        std::filesystem::remove(fsPath(path + "~"));
        std::filesystem::create_hard_link(fsPath(path), fsPath(path + "~"));
        replaceFile(path, bytes);
    };
    const struct {
        const char* how;
        std::function<void()> replace;
        Configuration replaced;
    } cases[] = {
        {"our own save", [&] { model->setConfig(numbered(1)); }, numbered(1)},
        {"an editor keeping a backup", [&] { keepingBackup(env.settingsPath, handWritten(numbered(2))); },
         numbered(2)},
    };
    int n = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        c.replace();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->savedConfig() == c.replaced; }, 5000));
        QTest::qWait(200); // every report of the replacement has been handled
        const Configuration edited = numbered(++n);
        writeFile(env.settingsPath, handWritten(edited));
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->config() == edited; }, 5000));
    }
}

// A link that arrives while a broken file pauses routing is routed by the
// rules of the repaired file, not by the ones in force before it broke; one
// the person chose a profile for meanwhile keeps that choice.
TEST_F(ModelSettingsTest, LinksWaitingOutAPauseAreRoutedByTheRepairedRules)
{
    env.reloadDelayMs = 50;
    useRunner(openedAnswer);
    ConfigFile::save(withRules({Rule::make(MatchKind::domain, "a.example", "Work")}),
                     fsPath(env.settingsPath));
    auto model = makeModel();
    model->setProfiles({"Work", "Personal", "Home"});

    writeFile(env.settingsPath, "{ broken");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->loadFailure(); }, 5000));
    model->receive({"https://a.example/1", "https://b.example/2", "https://c.example/3"});
    ASSERT_EQ(model->pending().size(), 3);
    model->retry(model->pending()[2].id, "Home");

    replaceFile(env.settingsPath,
                handWritten(withRules({Rule::make(MatchKind::domain, "a.example", "Personal"),
                                       Rule::make(MatchKind::domain, "b.example", "Personal")})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->loadFailure(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty(); }, 5000));
    QStringList opened;
    for (const Opened& link : model->recent())
        opened.prepend(QString::fromStdString(link.url.text) + " " + link.profile);
    EXPECT_EQ(opened, (QStringList{"https://a.example/1 Personal", "https://b.example/2 Personal",
                                   "https://c.example/3 Home"}));
    EXPECT_TRUE(picker.presented.isEmpty());
}

TEST_F(ModelSettingsTest, OurOwnSavesAreNotTakenForOutsideEdits)
{
    env.saveDelayMs = 1000;
    env.reloadDelayMs = 50;
    auto model = makeModel();
    model->setConfig(numbered(1));
    model->save();
    // Not yet saved when the watcher reports the save above.
    model->setConfig(numbered(2));
    QTest::qWait(300);
    EXPECT_EQ(model->config(), numbered(2));
    EXPECT_EQ(model->savedConfig(), numbered(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->savedConfig() == numbered(2); }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(model->config(), numbered(2));
    EXPECT_EQ(ConfigFile::load(fsPath(env.settingsPath)), numbered(2));
    EXPECT_TRUE(model->status().isEmpty());
}

TEST_F(ModelSettingsTest, AnEditNotYetReportedWinsOverTheNextSave)
{
    env.reloadDelayMs = 60000; // the watcher is too late here
    ConfigFile::save(numbered(0), fsPath(env.settingsPath));
    auto model = makeModel();
    model->setConfig(numbered(1));
    writeFile(env.settingsPath, handWritten(numbered(2)));
    model->save();
    EXPECT_EQ(model->config(), numbered(2));
    EXPECT_EQ(readFile(env.settingsPath), handWritten(numbered(2)));
}

TEST_F(ModelSettingsTest, ALinkedSettingsFileStaysALinkAndItsTargetIsWatched)
{
    env.saveDelayMs = 50;
    const QString target = path("dotfiles/corvane.json");
    writeFile(target, handWritten(numbered(0)));
    QDir().mkpath(QFileInfo(env.settingsPath).absolutePath());
    ASSERT_TRUE(QFile::link("../../dotfiles/corvane.json", env.settingsPath));
    const QString leftOver = QFileInfo(env.settingsPath).absolutePath() + "/.settings.json.Ab12Cd";
    writeFile(leftOver, "{");
    auto model = makeModel();
    EXPECT_EQ(model->config(), numbered(0));
    EXPECT_FALSE(QFileInfo::exists(leftOver)) << "a killed save's temporary file is cleaned up";

    model->setConfig(numbered(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->savedConfig() == numbered(1); }, 5000));
    EXPECT_TRUE(QFileInfo(env.settingsPath).isSymLink());
    EXPECT_EQ(ConfigFile::load(fsPath(target)), numbered(1));

    // The target replaced where it lives, as a checkout of the dotfiles does.
    replaceFile(target, handWritten(numbered(2)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->config() == numbered(2); }, 5000));
    EXPECT_TRUE(QFileInfo(env.settingsPath).isSymLink());
    EXPECT_TRUE(model->status().isEmpty());
}

TEST_F(ModelSettingsTest, AFifoAtTheSettingsPathDoesNotBlockStartUp)
{
    QDir().mkpath(QFileInfo(env.settingsPath).absolutePath());
    ASSERT_EQ(::mkfifo(env.settingsPath.toLocal8Bit().constData(), 0600), 0);
    auto model = makeModel();
    EXPECT_TRUE(model->loadFailure());
    EXPECT_TRUE(model->status().endsWith("it is not a regular file.")) << model->status().toStdString();
}

TEST_F(ModelSettingsTest, RevealSettingsShowsTheFileOrPreparesItsFolder)
{
    auto model = makeModel();
    model->revealSettings();
    const QString folder = QFileInfo(env.settingsPath).absolutePath();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(platform.openedFolders, QStringList{folder});
    EXPECT_EQ(model->status(), "No settings file yet. It is created when you add your first rule.");

    ConfigFile::save(Configuration(), fsPath(env.settingsPath));
    model->revealSettings();
    EXPECT_EQ(platform.revealedFiles, QStringList{env.settingsPath});
}

TEST_F(ModelSettingsTest, PreparingTheExtensionReplacesAnOlderCopy)
{
    env.extensionFolder = QFileInfo(__FILE__).absolutePath() + "/../../resources/extension";
    ASSERT_TRUE(QFileInfo(env.extensionFolder + "/manifest.json").isFile());
    const QString destination = QFileInfo(env.settingsPath).absolutePath() + "/Chromium Extension";
    writeFile(destination + "/stale/old.js", "old");
    auto model = makeModel();

    model->revealExtension();

    EXPECT_FALSE(QFileInfo::exists(destination + "/stale"));
    EXPECT_EQ(readFile(destination + "/manifest.json"), readFile(env.extensionFolder + "/manifest.json"));
    EXPECT_EQ(platform.revealedFiles, QStringList{destination});
    EXPECT_EQ(
        model->status(),
        "Extension folder ready. In Chromium, choose Load unpacked and pick \u201cChromium Extension\u201d.");
    EXPECT_EQ(platform.extensionHostInstalls, 1) << "the browsers are told where the extension's host is";

    // What the browser loads: a version 3 manifest whose worker is shipped.
    const QJsonObject manifest = QJsonDocument::fromJson(readFile(destination + "/manifest.json")).object();
    EXPECT_EQ(manifest.value("manifest_version").toInt(), 3);
    // A link from a private window must never reach a normal profile.
    EXPECT_EQ(manifest.value("incognito").toString(), "not_allowed");
    const QString worker = manifest.value("background").toObject().value("service_worker").toString();
    EXPECT_TRUE(readFile(destination + "/" + worker).contains("Route with Corvane"));
    // Firefox runs the same script as a background script, after the one the
    // worker imports itself, and needs an id of its own to load the folder.
    const QJsonArray scripts = manifest.value("background").toObject().value("scripts").toArray();
    ASSERT_FALSE(scripts.isEmpty());
    EXPECT_EQ(scripts.last().toString(), worker);
    for (const QJsonValue& script : scripts)
        EXPECT_TRUE(QFileInfo(destination + "/" + script.toString()).isFile()) << script.toString().toStdString();
    EXPECT_FALSE(manifest.value("browser_specific_settings")
                     .toObject()
                     .value("gecko")
                     .toObject()
                     .value("id")
                     .toString()
                     .isEmpty());
}

TEST_F(ModelSettingsTest, AnExtensionHostThatCannotBeRegisteredIsReported)
{
    env.extensionFolder = QFileInfo(__FILE__).absolutePath() + "/../../resources/extension";
    platform.extensionHostError = "The extension's host is missing. Rebuild or reinstall Corvane.";
    auto model = makeModel();
    model->revealExtension();
    EXPECT_EQ(model->status(),
              "Could not prepare the extension: The extension's host is missing. Rebuild or reinstall Corvane.");
    EXPECT_TRUE(platform.revealedFiles.isEmpty());
}

TEST_F(ModelSettingsTest, TheExtensionCannotBePreparedWithoutItsResourceOrOverAFile)
{
    auto model = makeModel();
    model->revealExtension();
    EXPECT_EQ(model->status(), "The extension is in the project's extension folder.");

    env.extensionFolder = path("extension");
    writeFile(env.extensionFolder + "/manifest.json", "{}");
    writeFile(QFileInfo(env.settingsPath).absolutePath(), "a file where the folder belongs");
    auto blocked = makeModel();
    blocked->revealExtension();
    EXPECT_TRUE(blocked->status().startsWith("Could not prepare the extension: "))
        << blocked->status().toStdString();
    EXPECT_TRUE(platform.revealedFiles.isEmpty());
}

} // namespace
} // namespace corvane::testing
