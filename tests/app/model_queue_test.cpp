#include "model_fixture.h"

#include "core/route_error.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace corvane::testing {
namespace {

using ModelQueueTest = ModelTest;

QStringList urlsOf(const QList<Pending>& links)
{
    QStringList urls;
    for (const Pending& link : links)
        urls << QString::fromStdString(link.url.absoluteString());
    return urls;
}

QStringList urlsOf(const QList<Opened>& links)
{
    QStringList urls;
    for (const Opened& link : links)
        urls << QString::fromStdString(link.url.absoluteString());
    return urls;
}

TEST_F(ModelQueueTest, ABatchOfThreeAt98WaitingQueuesTwoAndReportsTheThird)
{
    auto model = makeModel(); // no default profile: every link waits for a pick
    QStringList waiting;
    for (int i = 0; i < 98; ++i)
        waiting << QString("https://site.example/%1").arg(i);
    model->receive(waiting);
    ASSERT_EQ(model->pending().size(), 98);

    model->receive({"https://a.example/1", "https://a.example/2", "https://a.example/3"});

    EXPECT_EQ(model->pending().size(), 100);
    EXPECT_EQ(urlsOf(model->pending()).mid(98), (QStringList{"https://a.example/1", "https://a.example/2"}));
    EXPECT_EQ(model->status(), "Queue is full (100 links). Clear pending links before trying again.");
    EXPECT_GE(window.shown, 1);
}

TEST_F(ModelQueueTest, ARefusedLinkIsReportedAndTheRestOfTheBatchQueuesInOrder)
{
    auto model = makeModel();
    model->receive({"https://one.example/", "ftp://two.example/",
                    "corvane://open?url=https%3A%2F%2Fthree.example%2F", "corvane://open"});
    EXPECT_EQ(urlsOf(model->pending()), (QStringList{"https://one.example/", "https://three.example/"}));
    EXPECT_EQ(model->status(), Messages::invalidCorvaneLink); // the last refusal wins the status
    EXPECT_GE(window.shown, 2);
}

TEST_F(ModelQueueTest, LinksOpenStrictlyOneAfterAnother)
{
    useRunner("sleep 0.2; echo end >> \"$log\"; echo '{\"reused\":false}'");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://a.example/", "https://b.example/"});
    ASSERT_TRUE(model->isRouting());
    model->receive({"https://c.example/"}); // arriving meanwhile needs nobody's attention

    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));
    EXPECT_EQ(model->attentionCount(), 0);
    EXPECT_EQ(window.shown, 0);
    const QStringList log = requests();
    ASSERT_EQ(log.size(), 6);
    for (int i = 1; i < log.size(); i += 2)
        EXPECT_EQ(log[i], "end"); // each request came only after the one before had answered
    EXPECT_EQ(routedUrls(), (QStringList{"https://a.example/", "https://b.example/", "https://c.example/"}));
    EXPECT_EQ(urlsOf(model->recent()),
              (QStringList{"https://c.example/", "https://b.example/", "https://a.example/"}));
    EXPECT_EQ(model->recent()[0].reason, "Default profile");
    EXPECT_EQ(model->status(), "Opened in Work.");
}

TEST_F(ModelQueueTest, AFailedHeadStopsTheQueueUntilItIsDiscarded)
{
    useRunner("case \"$3\" in *fail.example*) echo 'Error: Chromium refused the link' >&2; exit 1;; esac; "
              "echo '{}'");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://fail.example/", "https://ok.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->attentionCount() > 0 && !model->isRouting(); }, 5000));

    const Pending head = model->pending().first();
    EXPECT_EQ(model->pending().size(), 2);
    EXPECT_TRUE(head.attempted);
    EXPECT_EQ(head.reason, "Chromium refused the link");
    EXPECT_EQ(model->status(), "Chromium refused the link");
    EXPECT_GE(window.shown, 1);

    const int attention = model->attentionCount();
    model->drain();
    EXPECT_EQ(model->attentionCount(), attention + 1);
    QTest::qWait(100);
    EXPECT_EQ(routedUrls(), QStringList{"https://fail.example/"});

    model->discard(head.id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));
    EXPECT_EQ(routedUrls(), (QStringList{"https://fail.example/", "https://ok.example/"}));
    EXPECT_EQ(urlsOf(model->recent()), QStringList{"https://ok.example/"});
}

TEST_F(ModelQueueTest, RetryingAFailedLinkKeepsItsFailureAsTheReason)
{
    useRunner("echo 'Error: Chromium refused the link' >&2; exit 1");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://a.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->attentionCount() > 0 && !model->isRouting(); }, 5000));

    useRunner(openedAnswer);
    model->retry(model->pending().first().id, "Personal");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));
    ASSERT_EQ(model->recent().size(), 1);
    EXPECT_EQ(model->recent()[0].profile, "Personal");
    EXPECT_EQ(model->recent()[0].reason, "Chromium refused the link");
}

TEST_F(ModelQueueTest, ADismissedPickerIsNotShownAgainAndAPickOpensTheLink)
{
    auto model = makeModel();
    model->setProfiles({"Work", "Personal"});
    model->receive({"https://a.example/"});
    ASSERT_EQ(picker.presented.size(), 1);
    EXPECT_EQ(picker.profiles[0], (QStringList{"Work", "Personal"}));
    const Uuid id = picker.presented[0].id;

    model->setDismissedPicker(id);
    model->drain();
    model->receive({"https://b.example/"});
    EXPECT_FALSE(picker.presented.isEmpty());
    EXPECT_EQ(model->pending().size(), 2);

    model->retry(id, "Work");
    EXPECT_EQ(model->pending()[0].reason, "Picked Work");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().size() == 1 && !model->isRouting(); }, 5000));
    EXPECT_EQ(routedUrls(), QStringList{"https://a.example/"});
    EXPECT_EQ(model->recent()[0].reason, "Picked Work");
    // The next link without a profile asks for itself.
    ASSERT_EQ(picker.presented.size(), 2);
    EXPECT_EQ(QString::fromStdString(picker.presented[1].url.absoluteString()), "https://b.example/");
}

TEST_F(ModelQueueTest, RetryAndDiscardDoNothingWhileALinkIsBeingOpened)
{
    useRunner("sleep 0.3; echo '{}'");
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://a.example/", "https://b.example/"});
    ASSERT_TRUE(model->isRouting());
    const QList<Pending> before = model->pending();

    for (const Pending& link : before) {
        model->retry(link.id, "Personal");
        model->discard(link.id);
    }
    EXPECT_EQ(model->pending(), before);

    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));
    EXPECT_EQ(model->recent()[0].profile, "Work");
    EXPECT_EQ(model->recent()[1].profile, "Work");
}

TEST_F(ModelQueueTest, The51stOpenedLinkPushesOutTheOldest)
{
    auto model = makeModel();
    QList<Opened> full;
    for (int i = 0; i < Model::maxRecent; ++i)
        full << Opened{Uuid::random(), *Url::parse(QString("https://old.example/%1").arg(i).toStdString()),
                       "Work", "Default profile", false};
    model->setRecent(full);
    model->setConfig(withDefault("Work"));
    model->receive({"https://new.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));

    const QStringList urls = urlsOf(model->recent());
    EXPECT_EQ(urls.size(), Model::maxRecent);
    EXPECT_EQ(urls.first(), "https://new.example/");
    EXPECT_EQ(urls[1], "https://old.example/0");
    EXPECT_EQ(urls.last(), "https://old.example/48");
}

TEST_F(ModelQueueTest, FileLinksGoStraightToTheBrowserAndNeverQueue)
{
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"file:///tmp/page.html", "https://a.example/", "FILE:///tmp/other.html"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));
    ASSERT_EQ(platform.openedFiles.size(), 1);
    EXPECT_EQ(platform.openedFiles[0],
              (QList<QUrl>{QUrl("file:///tmp/page.html"), QUrl("FILE:///tmp/other.html")}));
    EXPECT_EQ(routedUrls(), QStringList{"https://a.example/"});
    EXPECT_EQ(urlsOf(model->recent()), QStringList{"https://a.example/"});
}

TEST_F(ModelQueueTest, AFileLinkForAMissingBrowserIsReportedNotDropped)
{
    platform.browser.installed = false;
    auto model = makeModel();
    model->receive({"file:///tmp/page.html"});
    EXPECT_TRUE(platform.openedFiles.isEmpty());
    EXPECT_TRUE(model->pending().isEmpty());
    EXPECT_EQ(model->status(), "Chromium is not installed.");
    EXPECT_EQ(window.shown, 1);
}

TEST_F(ModelQueueTest, TheRouteRequestCarriesReuseAndTheAnswerPicksTheMessage)
{
    const struct {
        std::optional<bool> reuseSetting;
        const char* answer;
        const char* reuse;
        const char* status;
    } cases[] = {
        {std::nullopt, "echo '{\"reused\":true}'", "1", "Switched to the open tab in Work."},
        {false, "echo '{\"reused\":false}'", "0", "Opened in Work."},
        {true, "echo '{\"reused\":\"yes\"}'", "1", "Opened in Work."},
        {true, "true", "1", "Opened in Work."},
    };
    for (const auto& c : cases) {
        QFile::remove(path("runner.log"));
        useRunner(c.answer);
        auto model = makeModel();
        model->userDefaults().remove("reuseOpenTabs");
        if (c.reuseSetting)
            model->userDefaults().setValue("reuseOpenTabs", *c.reuseSetting);
        model->setConfig(withDefault("Work"));
        model->receive({"https://a.example/?q=1"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty() && !model->isRouting(); }, 5000));

        ASSERT_EQ(requests().size(), 1);
        const QJsonObject request = QJsonDocument::fromJson(requests()[0].toUtf8()).object();
        EXPECT_EQ(request.value("action"), "route");
        EXPECT_EQ(request.value("profile"), "Work");
        EXPECT_EQ(request.value("url"), "https://a.example/?q=1");
        EXPECT_EQ(request.value("reuse"), c.reuse);
        EXPECT_EQ(model->status(), c.status);
        EXPECT_EQ(model->recent()[0].reused, QString(c.status).startsWith("Switched"));
    }
}

TEST_F(ModelQueueTest, ABrowserThatIsNotRunningIsStartedFirst)
{
    const struct {
        bool installed;
        QString launchError;
        int launches;
        QStringList routed;
        QString status;
    } cases[] = {
        {true, "", 1, {"https://a.example/"}, "Opened in Work."},
        {true, "Chromium could not be started.", 1, {}, "Chromium could not be started."},
        {false, "", 0, {}, "Chromium is not installed."},
    };
    for (const auto& c : cases) {
        QFile::remove(path("runner.log"));
        platform.running = false;
        platform.launches = 0;
        platform.browser.installed = c.installed;
        platform.launchError = c.launchError;
        auto model = makeModel();
        model->setConfig(withDefault("Work"));
        model->receive({"https://a.example/"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isRouting(); }, 5000));

        EXPECT_EQ(platform.launches, c.launches);
        EXPECT_EQ(routedUrls(), c.routed);
        EXPECT_EQ(model->status(), c.status);
        EXPECT_EQ(model->pending().size(), c.routed.isEmpty() ? 1 : 0);
        if (c.routed.isEmpty()) {
            EXPECT_EQ(model->pending()[0].reason, c.status);
        }
    }
}

TEST_F(ModelQueueTest, AStartedBrowserThatNeverAnswersLeavesTheLinkFailedWithTheTimeOut)
{
    env.bridgeTimeoutMs = 300;
    env.bridgeGraceMs = 100;
    useRunner("sleep 10");
    platform.running = false;
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    model->receive({"https://a.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->attentionCount() > 0 && !model->isRouting(); }, 10000));
    EXPECT_EQ(platform.launches, 1);
    EXPECT_TRUE(model->status().startsWith("Chromium timed out.")) << model->status().toStdString();
    EXPECT_EQ(model->pending()[0].reason, model->status());
}

TEST_F(ModelQueueTest, ABatchWaitsForUnwrappingAndKeepsItsOrder)
{
    QStringList asked;
    env.resolver = [&](const Url& url, QObject* context, std::function<void(const Url&)> done) {
        asked << QString::fromStdString(url.absoluteString());
        const std::string real =
            url.host == "bit.ly" ? "https://real.example" + url.path : url.absoluteString();
        QTimer::singleShot(20, context, [done, real] { done(*Url::parse(real)); });
    };
    auto model = makeModel();
    model->receive({"https://bit.ly/abc", "https://plain.example/"});
    EXPECT_TRUE(model->pending().isEmpty());
    model->receive({"https://later.example/"}); // nothing to unwrap: queued at once
    EXPECT_EQ(urlsOf(model->pending()), QStringList{"https://later.example/"});

    ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().size() == 3; }, 5000));
    EXPECT_EQ(asked, (QStringList{"https://bit.ly/abc", "https://plain.example/"}));
    EXPECT_EQ(urlsOf(model->pending()),
              (QStringList{"https://later.example/", "https://real.example/abc", "https://plain.example/"}));
}

TEST_F(ModelQueueTest, TheLinkTestPreviewsTheDecision)
{
    const struct {
        QString text;
        QStringList profiles;
        std::optional<PreviewResult> preview;
    } cases[] = {
        {"", {}, std::nullopt},
        {" \t ", {}, std::nullopt},
        {"ftp://example.com/", {}, PreviewResult{std::nullopt, Messages::webLink, true}},
        {"example.com/page", {}, PreviewResult{"Work", "Rule 1: example.com", false}},
        {" www.example.com ", {"Work"}, PreviewResult{"Work", "Rule 1: example.com", false}},
        {"example.com",
         {"Personal"},
         PreviewResult{"Work", "Rule 1: example.com. This profile was not found in Chromium", false}},
        {"other.example", {"Work"}, PreviewResult{std::nullopt, "No matching rule. Pick a profile.", false}},
    };
    auto model = makeModel();
    model->setConfig(withRules({Rule::make(MatchKind::domain, "example.com", "Work")}));
    for (const auto& c : cases) {
        model->setProfiles(c.profiles);
        model->setTestURL(c.text);
        model->test();
        EXPECT_EQ(model->preview(), c.preview) << c.text.toStdString();
    }
    model->setTestURL("Example.com/page");
    EXPECT_EQ(model->testHost(), "Example.com");
    model->setTestURL("https://");
    EXPECT_EQ(model->testHost(), "");
}

TEST_F(ModelQueueTest, OpenTestQueuesTheTestedLink)
{
    auto model = makeModel();
    model->setTestURL("ftp://example.com/");
    model->openTest();
    EXPECT_TRUE(model->pending().isEmpty());
    EXPECT_TRUE(model->preview() && model->preview()->failed);

    model->setTestURL("example.com");
    model->openTest();
    ASSERT_EQ(model->pending().size(), 1);
    EXPECT_EQ(model->pending()[0].reason, "No matching rule. Pick a profile.");
    EXPECT_FALSE(picker.presented.isEmpty());

    QStringList more;
    for (int i = 1; i < Model::maxPending; ++i)
        more << QString("https://site.example/%1").arg(i);
    model->receive(more);
    model->setStatus("");
    model->openTest();
    EXPECT_EQ(model->pending().size(), Model::maxPending);
    EXPECT_EQ(model->status(), ""); // a full queue refuses the test link without a word
}

TEST_F(ModelQueueTest, AddRuleAppendsOnlyValidNewRules)
{
    auto model = makeModel();
    const Rule first = Rule::make(MatchKind::domain, "example.com", "Work");
    model->addRule(first);
    model->addRule(Rule::make(MatchKind::domain, "example.com", "Personal"));  // same kind and pattern
    model->addRule(Rule::make(MatchKind::domain, "example.com/path", "Work")); // invalid pattern
    model->addRule(Rule::make(MatchKind::exactHost, "example.com", ""));       // no profile
    const Rule second = Rule::make(MatchKind::exactHost, "example.com", "Personal");
    model->addRule(second);
    EXPECT_EQ(model->config().rules, (std::vector<Rule>{first, second}));

    Configuration full;
    for (int i = 0; i < Configuration::maxRules; ++i)
        full.rules.push_back(Rule::make(MatchKind::domain, "site" + std::to_string(i) + ".example", "Work"));
    model->setConfig(full);
    model->addRule(Rule::make(MatchKind::domain, "one-more.example", "Work"));
    EXPECT_EQ(model->config(), full); // one more would make every link fail validation
}

// The desktop's activation goes to the browser started for the first link of
// its batch; one that no browser will use (a refused link, a link left for the
// picker, a reopen, a link stuck behind a failure) ends at once, so no busy
// cursor lingers.
TEST_F(ModelQueueTest, ActivationGoesWithTheLinkThatOpensAndEndsOtherwise)
{
    const QString seen = path("seen");
    useRunner(QString("echo \"$(expr \"$3\" : '.*url\":\"\\([^\"]*\\)') startup=$DESKTOP_STARTUP_ID "
                      "token=$XDG_ACTIVATION_TOKEN\" >> '%1'; "
                      "case \"$3\" in *fail*) echo 'Error: no' >&2; exit 1;; esac; %2")
                  .arg(seen, openedAnswer));
    auto model = makeModel();
    model->setConfig(withRules({Rule::make(MatchKind::domain, "a.example", "Work"),
                                Rule::make(MatchKind::domain, "fail.example", "Work")}));
    const auto seenLines = [&] { return QString::fromUtf8(readFile(seen)).split('\n', Qt::SkipEmptyParts); };

    model->receive({"https://a.example/1", "https://a.example/2"}, {"click-1", ""});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(seenLines(), (QStringList{"https://a.example/1 startup=click-1 token=",
                                        "https://a.example/2 startup= token="}));
    EXPECT_TRUE(platform.endedActivations.isEmpty());

    model->receive({"ftp://refused.example/"}, {"refused", ""});
    model->receive({"https://nobody.example/"}, {"", "picker"});
    model->receive({}, {"reopen", ""});
    EXPECT_EQ(platform.endedActivations,
              (QList<Activation>{{"refused", ""}, {"", "picker"}, {"reopen", ""}}));
    EXPECT_FALSE(picker.presented.isEmpty());
    model->discard(model->pending().first().id);

    platform.endedActivations.clear();
    model->receive({"https://fail.example/", "https://a.example/3"}, {"click-2", ""});
    model->receive({"https://a.example/4"}, {"click-3", ""});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(seenLines().last(), "https://fail.example/ startup=click-2 token=");
    EXPECT_EQ(platform.endedActivations, (QList<Activation>{{"click-2", ""}, {"click-3", ""}}));

    model->receive({"file:///tmp/page.html", "https://a.example/5"}, {"files", ""});
    EXPECT_EQ(platform.fileActivations, (QList<Activation>{{"files", ""}}));
}

} // namespace
} // namespace corvane::testing
