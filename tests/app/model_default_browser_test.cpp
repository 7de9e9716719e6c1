#include "model_fixture.h"

#include <QTest>

namespace corvane::testing {
namespace {

using ModelDefaultBrowserTest = ModelTest;

TEST_F(ModelDefaultBrowserTest, TheCheckDescribesWhoHandlesWebLinksWhenTheAnswerArrives)
{
    const struct {
        const char* name;
        std::optional<WebHandler> handler;
        bool fromBundle;
        bool isDefault;
        std::optional<QString> other;
        bool linkRouter;
    } cases[] = {
        {"no handler", std::nullopt, true, false, std::nullopt, false},
        {"another browser", WebHandler{"firefox-esr.desktop", "Firefox.app ESR.app"}, true, false,
         "Firefox ESR", false},
        {"a link router", WebHandler{"re.sonny.Junction.desktop", "Junction"}, true, false, "Junction", true},
        {"ourselves, installed", WebHandler{"corvane.desktop", "Corvane"}, true, true, std::nullopt, false},
        {"ourselves, not installed", WebHandler{"corvane.desktop", "Corvane"}, false, false, "Corvane",
         false},
    };
    platform.holdAnswers = true;
    for (const auto& c : cases) {
        platform.handler = c.handler;
        platform.fromBundle = c.fromBundle;
        auto model = makeModel(); // the check starts with the model, which does not wait for it
        ASSERT_EQ(platform.heldAnswers.size(), 1) << c.name;
        EXPECT_FALSE(model->isDefaultBrowser()) << c.name;
        EXPECT_EQ(model->otherDefaultBrowser(), std::nullopt) << c.name;
        platform.answerHeld();
        EXPECT_EQ(model->isDefaultBrowser(), c.isDefault) << c.name;
        EXPECT_EQ(model->otherDefaultBrowser(), c.other) << c.name;
        EXPECT_EQ(model->defaultIsLinkRouter(), c.linkRouter) << c.name;
    }
}

TEST_F(ModelDefaultBrowserTest, SetDefaultChecksAgainAndReports)
{
    const struct {
        QString error;
        bool takesEffect;
        QString status;
        bool isDefault;
    } cases[] = {
        {"", true, "Corvane is now your default browser.", true},
        {"", false, "Confirm Corvane in your desktop's default-applications settings.", false},
        {"Install Corvane first (make install), then start the installed copy.", false,
         "Default-browser setup: Install Corvane first (make install), then start the installed copy.",
         false},
    };
    for (const auto& c : cases) {
        platform.handler = WebHandler{"firefox-esr.desktop", "Firefox ESR"};
        platform.makeDefaultError = c.error;
        platform.makeDefaultTakesEffect = c.takesEffect;
        auto model = makeModel();
        model->setDefault();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->status().isEmpty(); }, 5000));
        EXPECT_EQ(model->status(), c.status);
        EXPECT_EQ(model->isDefaultBrowser(), c.isDefault);
        EXPECT_EQ(model->otherDefaultBrowser().has_value(), !c.isDefault);
    }
}

// Becoming active again and again must not start a tool each time, and a
// report after setDefault must never rest on an answer given before it.
TEST_F(ModelDefaultBrowserTest, OneQuestionAtATimeAndEachRequestWaitsForALaterAnswer)
{
    platform.holdAnswers = true;
    platform.handler = WebHandler{"firefox-esr.desktop", "Firefox ESR"};
    auto model = makeModel();
    for (int i = 0; i < 5; ++i)
        model->checkDefaultBrowser();
    model->setDefault();
    ASSERT_TRUE(QTest::qWaitFor([&] { return platform.handler->desktopId == "corvane.desktop"; }, 5000));
    EXPECT_EQ(platform.handlerQueries, 1);

    platform.answerHeld(); // asked at start-up, before the change
    EXPECT_EQ(model->otherDefaultBrowser(), "Firefox ESR");
    EXPECT_TRUE(model->status().isEmpty());
    EXPECT_EQ(platform.handlerQueries, 2) << "one more for everything asked meanwhile";

    platform.answerHeld();
    EXPECT_TRUE(model->isDefaultBrowser());
    EXPECT_EQ(model->status(), "Corvane is now your default browser.");
    QTest::qWait(50);
    EXPECT_EQ(platform.handlerQueries, 2);
}

} // namespace
} // namespace corvane::testing
