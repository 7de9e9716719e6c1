// The model with the real routing helper and a fake browser on its PATH: what
// the user reads depends on what the browser did with the link.

#include "model_fixture.h"

#include <QFile>
#include <QTest>

namespace corvane::testing {
namespace {

class ModelBrowserTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        const QString helper = qEnvironmentVariable("CORVANE_BUILD_DIR") + "/bin/corvane-bridge";
        ASSERT_TRUE(QFile::exists(helper)) << helper.toStdString();
        // The helper reads the browser's profiles where the model's sandbox
        // puts the user's configuration, and finds only our browser.
        writeFile(
            path("env/XDG_CONFIG_HOME/chromium/Local State"),
            R"({"profile":{"info_cache":{"Default":{"name":"Personal"},"Profile 1":{"name":"Work"}}}})");
        writeFile(path("runner.sh"), QString("#!/bin/sh\nPATH='%1:/usr/bin:/bin' exec '%2' \"$@\"\n")
                                         .arg(path("bin"), helper)
                                         .toUtf8());
        QFile::setPermissions(path("runner.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        platform.runner = path("runner.sh");
        env.bridgeTimeoutMs = 25000;
    }

    // A browser that runs `body` with the link in $url; its records go to $log.
    void browser(const QByteArray& body)
    {
        writeFile(path("bin/chromium"),
                  "#!/bin/sh\nlog='" + path("browser.log").toUtf8() + "'\nfor url; do :; done\n" + body);
        QFile::setPermissions(path("bin/chromium"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QStringList browserLog() const
    {
        return QString::fromUtf8(readFile(path("browser.log"))).split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(ModelBrowserTest, ABrowserThatFailsLeavesTheLinkAtTheHeadWithItsReason)
{
    browser("echo \"started $url\" >> \"$log\"\n"
            "echo 'loading profile' >&2\necho 'Missing X server or $DISPLAY' >&2\nexit 1\n");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://one.example/", "https://two.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isRouting(); }, 15000));

    EXPECT_EQ(model->status().toStdString(), "Missing X server or $DISPLAY");
    ASSERT_EQ(model->pending().size(), 2);
    EXPECT_EQ(model->pending()[0].url.absoluteString(), "https://one.example/");
    EXPECT_EQ(model->pending()[0].reason, "Missing X server or $DISPLAY");
    EXPECT_TRUE(model->recent().isEmpty());
    EXPECT_EQ(browserLog(), QStringList{"started https://one.example/"}) << "the next link waits behind it";
    EXPECT_GE(model->attentionCount(), 1);
}

TEST_F(ModelBrowserTest, ASilentFailureNamesTheBrowserAndItsStatus)
{
    browser("exit 3\n");
    auto model = makeModel();
    model->setConfig(withDefault("Personal"));
    model->receive({"https://one.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isRouting(); }, 15000));
    EXPECT_EQ(model->status(), "Chromium exited with status 3.");
    EXPECT_EQ(model->pending().size(), 1);
}

// Each launch hands its link to the running browser and exits, the first the
// slowest: only waiting for each launch keeps them in order.
TEST_F(ModelBrowserTest, ABatchReachesTheBrowserInArrivalOrderHoweverLongEachLaunchTakes)
{
    browser("n=$(cat \"$log.count\" 2>/dev/null || echo 0)\necho $((n + 1)) > \"$log.count\"\n"
            "case $n in 0) sleep 0.6 ;; 1) sleep 0.3 ;; esac\necho \"$url\" >> \"$log\"\n");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    const QStringList batch{"https://a.example/1", "https://b.example/2", "https://c.example/3"};
    model->receive(batch);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 20000))
        << model->status().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return browserLog().size() == 3; }, 5000));
    EXPECT_EQ(browserLog().join(' ').toStdString(), batch.join(' ').toStdString());
    EXPECT_EQ(model->recent().size(), 3);
    EXPECT_EQ(model->status(), "Opened in Work.");
}

} // namespace
} // namespace corvane::testing
