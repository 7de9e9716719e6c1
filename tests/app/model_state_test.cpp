#include "model_fixture.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace corvane::testing {
namespace {

using ModelStateTest = ModelTest;

TEST_F(ModelStateTest, AMissingSettingsFileStartsEmptyAndCreatesNothing)
{
    auto model = makeModel();
    EXPECT_FALSE(model->loadFailure());
    EXPECT_EQ(model->config(), Configuration());
    EXPECT_EQ(model->status(), "");
    EXPECT_FALSE(model->toast());
    EXPECT_FALSE(model->busy());
    EXPECT_FALSE(model->isRouting());
    EXPECT_EQ(model->attentionCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(env.settingsPath));
}

TEST_F(ModelStateTest, ANewerMessageKeepsItsFullTimeAndARepeatRestartsIt)
{
    env.toastMs = 150;
    for (const QStringList& messages : {QStringList{"First", "Second"}, QStringList{"Same", "Same"}}) {
        auto model = makeModel();
        QStringList seen;
        QObject::connect(model.get(), &Model::toastChanged, [&] { seen << model->toast().value_or("-"); });
        QSignalSpy statusSpy(model.get(), &Model::statusChanged);

        model->setStatus(messages[0]);
        model->setStatus(messages[1]);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->toast(); }));
        QTest::qWait(2 * env.toastMs); // an older timer would clear once more

        EXPECT_EQ(seen, (QStringList{messages[0], messages[1], "-"}));
        EXPECT_EQ(statusSpy.count(), 2);
    }
}

TEST_F(ModelStateTest, EmptyStatusShowsNoToastAndFlashLeavesStatusAlone)
{
    auto model = makeModel();
    model->setStatus("");
    EXPECT_FALSE(model->toast());
    model->flash("Only a toast");
    EXPECT_EQ(model->toast(), "Only a toast");
    EXPECT_EQ(model->status(), "");
}

TEST_F(ModelStateTest, RefreshReportsTheProfileCount)
{
    const struct {
        const char* answer;
        QStringList profiles;
        const char* status;
    } cases[] = {
        {"echo '[\"Work\"]'", {"Work"}, "Connected to Chromium. 1 profile found."},
        {"echo '[]'", {}, "Connected to Chromium. 0 profiles found."},
        {"echo '[\"A\",\"B\",\"C\"]'", {"A", "B", "C"}, "Connected to Chromium. 3 profiles found."},
    };
    for (const auto& c : cases) {
        useRunner(openedAnswer, c.answer);
        auto model = makeModel();
        model->refresh(false);
        ASSERT_TRUE(waitIdle(*model));
        EXPECT_EQ(model->profiles(), c.profiles);
        EXPECT_EQ(model->status(), c.status);
        EXPECT_TRUE(model->userDefaults().value("connectedBefore").toBool());
    }
}

TEST_F(ModelStateTest, QuietRefreshChangesProfilesButShowsNothing)
{
    auto model = makeModel();
    model->refresh(true);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->profiles(), (QStringList{"Work", "Personal"}));
    EXPECT_EQ(model->status(), "");
    EXPECT_FALSE(model->toast());
    EXPECT_TRUE(QSettings(env.userDefaultsPath, QSettings::IniFormat).value("connectedBefore").toBool());
}

// The first link of a fresh start may bring up the picker before the
// profiles are known: it is shown them once a refresh has them.
TEST_F(ModelStateTest, ARefreshOffersTheNewProfilesToAWaitingPicker)
{
    env.picker = &picker;
    auto model = makeModel();
    model->receive({"https://no-rule.example.net/"});
    ASSERT_EQ(picker.profiles, QList<QStringList>{QStringList{}});
    model->refresh(true);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(picker.profiles, (QList<QStringList>{{}, {"Work", "Personal"}}));
    EXPECT_EQ(picker.presented.last().id, model->pending().first().id);

    // Not once the person has set the link aside.
    model->setDismissedPicker(model->pending().first().id);
    model->refresh(true);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(picker.profiles.size(), 2);
}

TEST_F(ModelStateTest, ASecondRefreshWhileOneRunsStartsNoSecondCall)
{
    useRunner(openedAnswer, "sleep 0.3; echo '[\"Work\"]'");
    auto model = makeModel();
    model->refresh(false);
    model->refresh(false);
    EXPECT_TRUE(model->busy());
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(requests().size(), 1);
    EXPECT_EQ(model->profiles(), QStringList{"Work"});
}

TEST_F(ModelStateTest, AFailedRefreshKeepsTheProfilesAndShowsTheCause)
{
    const struct {
        const char* answer;
        const char* status;
    } cases[] = {
        {"echo 'Error: Chromium has no profiles folder' >&2; exit 1", "Chromium has no profiles folder"},
        {"echo 'not json'", "The data couldn't be read because it isn't in the correct format."},
        {"echo '[\"Work\", 3]'", "The data couldn't be read because it isn't in the correct format."},
    };
    for (const auto& c : cases) {
        useRunner(openedAnswer, c.answer);
        auto model = makeModel();
        model->setProfiles({"Old"});
        model->refresh(false);
        ASSERT_TRUE(waitIdle(*model));
        EXPECT_EQ(model->profiles(), QStringList{"Old"});
        EXPECT_EQ(model->status(), c.status); // no permission hint on this desktop
        EXPECT_FALSE(model->userDefaults().contains("connectedBefore"));
    }
}

} // namespace
} // namespace corvane::testing
