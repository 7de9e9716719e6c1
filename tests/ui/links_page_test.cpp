#include "app/model.h"
#include "page_fixture.h"
#include "ui/kit/button_style.h"
#include "ui/pages/links_page.h"
#include "ui/pages/menu_button.h"
#include "ui/pages/page_card.h"
#include "ui/pages/pending_row.h"
#include "ui/pages/recent_row.h"

#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

namespace corvane::testing {
namespace {

class LinksPageTest : public PageTest {
protected:
    LinksPage* makePage()
    {
        if (!model)
            model = makeModel();
        auto* page = new LinksPage(*model, host->vantraPalette());
        host->setPage(page);
        host->show();
        return page;
    }

    // Types as a person does, one keystroke at a time.
    void type(LinksPage* page, const QString& text)
    {
        page->testField()->setFocus();
        QTest::keyClicks(page->testField(), text);
    }

    static void trigger(MenuButton* button, const QString& title)
    {
        std::unique_ptr<QMenu> menu(button->buildMenu(nullptr));
        for (QAction* action : menu->actions())
            if (action->text() == title)
                return action->trigger();
        FAIL() << "no item " << title.toStdString();
    }
};

TEST_F(LinksPageTest, TheTesterShowsItsThreeResultsAndReturnOpensOnlyAWebLink)
{
    writeFile(env.settingsPath,
              R"({"version":1,"rules":[{"id":"6F9619FF-8B86-4011-B42D-00C04FC964FF","enabled":true,)"
              R"("kind":"domain","pattern":"github.com","profile":"Work"}]})");
    struct Case {
        const char* typed;
        const char* title;
        const char* detail;
        const char* button; // empty: hidden
        int queuedOrPicked; // what Return leaves behind: links routed or presented
    };
    const std::vector<Case> cases{
        {"not a link", "This isn't a web link", "Check the spelling, like example.com.", "", 0},
        {"github.com/x", "Opens in Work", "Rule 1: github.com", "Open in Chromium", 1},
        {"news.example.org", "No rule matches", "You'll be asked to pick a profile.", "Pick a profile", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        host = std::make_unique<PageHost>();
        model.reset();
        picker.presented.clear();
        QFile::remove(path("runner.log"));
        LinksPage* page = makePage();
        type(page, c.typed);
        EXPECT_EQ(model->testURL(), c.typed);
        EXPECT_TRUE(page->resultCard()->isVisible());
        EXPECT_EQ(page->resultTitle(), c.title);
        EXPECT_EQ(page->resultDetail(), c.detail);
        EXPECT_EQ(page->openTestButton()->isVisible(), *c.button != 0);
        if (*c.button) {
            EXPECT_EQ(page->openTestButton()->text(), c.button);
        }
        EXPECT_EQ(page->findChild<QWidget*>("failIcon")->isVisible(), *c.button == 0);

        QTest::keyClick(page->testField(), Qt::Key_Return);
        ASSERT_TRUE(waitIdle(*model));
        EXPECT_EQ(routedUrls().size() + picker.presented.size(), c.queuedOrPicked);
    }
}

TEST_F(LinksPageTest, EveryKeystrokeAndEveryRuleChangeRetestsAndClearEmptiesTheField)
{
    LinksPage* page = makePage();
    type(page, "git");
    EXPECT_EQ(page->resultTitle(), "No rule matches");
    EXPECT_TRUE(page->clearButton()->isVisible());
    type(page, "hub.com");
    EXPECT_EQ(page->resultTitle(), "No rule matches");

    model->setConfig(withRules({Rule::make(MatchKind::domain, "github.com", "Personal")}));
    EXPECT_EQ(page->resultTitle(), "Opens in Personal");

    QTest::mouseClick(page->clearButton(), Qt::LeftButton);
    EXPECT_EQ(model->testURL(), "");
    EXPECT_EQ(page->testField()->text(), "");
    EXPECT_FALSE(page->resultCard()->isVisible());
    EXPECT_FALSE(page->clearButton()->isVisible());
}

TEST_F(LinksPageTest, WhileALinkIsRoutingTheTesterHidesItsButtonAndRowsAreDisabled)
{
    model = makeModel();
    model->setPending({pendingLink("https://a.example/1"), pendingLink("https://b.example/2")});
    LinksPage* page = makePage();
    type(page, "example.net");
    ASSERT_TRUE(page->openTestButton()->isVisible());

    model->setIsRouting(true);
    EXPECT_FALSE(page->canOpenTest());
    EXPECT_FALSE(page->openTestButton()->isVisible());
    for (PendingRow* row : page->pendingRows())
        EXPECT_FALSE(row->controls()->isEnabled());
    QTest::keyClick(page->testField(), Qt::Key_Return);
    EXPECT_EQ(model->pending().size(), 2) << "Return does nothing while routing";

    model->setIsRouting(false);
    EXPECT_TRUE(page->openTestButton()->isVisible());
    for (PendingRow* row : page->pendingRows())
        EXPECT_TRUE(row->controls()->isEnabled());
}

TEST_F(LinksPageTest, AFailedAttemptTurnsOpenIntoRetryAndTheMenuRetriesInTheChosenProfile)
{
    useRunner("echo 'The browser did not answer.' >&2; exit 1");
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    LinksPage* page = makePage();
    model->setPending({pendingLink("https://docs.example/a")});
    page->rebuildLists();
    ASSERT_EQ(page->pendingRows().size(), 1);
    EXPECT_EQ(page->pendingRows()[0]->openMenu()->text(), "Open in\u2026");
    EXPECT_EQ(page->pendingRows()[0]->openMenu()->itemTitles(), (QStringList{"Work", "Personal"}));

    trigger(page->pendingRows()[0]->openMenu(), "Personal");
    ASSERT_TRUE(waitIdle(*model));
    page->rebuildLists();
    ASSERT_EQ(page->pendingRows().size(), 1);
    EXPECT_EQ(page->pendingRows()[0]->openMenu()->text(), "Retry in\u2026");
    EXPECT_EQ(page->pendingRows()[0]->findChild<QLabel*>("reason")->text(), "The browser did not answer.");

    useRunner(openedAnswer);
    trigger(page->pendingRows()[0]->openMenu(), "Work");
    ASSERT_TRUE(waitIdle(*model));
    page->rebuildLists();
    EXPECT_TRUE(page->pendingRows().isEmpty());
    ASSERT_EQ(page->recentRows().size(), 1);
    EXPECT_EQ(page->recentRows()[0]->outcome(), "Opened in Work \u00b7 The browser did not answer.");
    EXPECT_EQ(routedUrls(), (QStringList{"https://docs.example/a", "https://docs.example/a"}));
}

TEST_F(LinksPageTest, WithoutProfilesTheMenuOffersARefreshThatListsThem)
{
    model = makeModel();
    model->setPending({pendingLink("https://docs.example/a")});
    LinksPage* page = makePage();
    EXPECT_EQ(page->pendingRows()[0]->openMenu()->itemTitles(), QStringList{"Refresh profiles first"});
    trigger(page->pendingRows()[0]->openMenu(), "Refresh profiles first");
    ASSERT_TRUE(waitIdle(*model));
    page->rebuildLists();
    EXPECT_EQ(model->profiles(), (QStringList{"Work", "Personal"}));
    EXPECT_EQ(page->pendingRows()[0]->openMenu()->itemTitles(), (QStringList{"Work", "Personal"}));
}

TEST_F(LinksPageTest, CreateRuleIsPrefilledFromAPendingOrRecentLinkAndAbsentForARuleRoutedOne)
{
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    model->setPending({pendingLink("https://www.news.example.com/story?id=1")});
    model->setRecent({openedLink("https://shop.example/cart", "Personal", "Default profile"),
                      openedLink("https://github.com/x", "Work", "Rule 1: github.com"),
                      openedLink("https://mail.example/inbox", "Personal", "Picked", true)});
    LinksPage* page = makePage();
    QSignalSpy created(page, &LinksPage::createRule);

    QTest::mouseClick(page->pendingRows()[0]->findChild<VantraButton*>("createRule"), Qt::LeftButton);
    ASSERT_EQ(page->recentRows().size(), 3);
    QTest::mouseClick(page->recentRows()[0]->createButton(), Qt::LeftButton);
    EXPECT_EQ(page->recentRows()[1]->createButton(), nullptr) << "routed by a rule";
    EXPECT_EQ(page->recentRows()[2]->outcome(), "Switched to the open tab in Personal \u00b7 Picked");
    QTest::mouseClick(page->recentRows()[2]->createButton(), Qt::LeftButton);

    ASSERT_EQ(created.size(), 3);
    const auto rule = [&](int i) { return created[i][0].value<Rule>(); };
    EXPECT_EQ(rule(0).pattern, "news.example.com");
    EXPECT_EQ(rule(0).profile, "Work") << "the first profile";
    EXPECT_EQ(rule(1).pattern, "shop.example");
    EXPECT_EQ(rule(1).profile, "Personal");
    EXPECT_EQ(rule(2).pattern, "mail.example");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rule(i).kind, MatchKind::domain);
        EXPECT_TRUE(rule(i).enabled);
    }
    EXPECT_NE(rule(0).id, rule(1).id);
    EXPECT_TRUE(model->config().rules.empty()) << "nothing is saved before the editor's Done";
}

TEST_F(LinksPageTest, CopyLinkPutsTheExactTextOnTheClipboardAndDiscardDropsTheLink)
{
    model = makeModel();
    const QString link = "https://example.com/a%20b?q=%C3%A9&x=1#frag";
    model->setPending({pendingLink(link), pendingLink("https://other.example/")});
    LinksPage* page = makePage();
    // The link can be selected by hand too, once the pointer is on it.
    auto* url = page->pendingRows()[0]->findChild<QLabel*>("url");
    EXPECT_EQ(url->text(), link);
    EXPECT_FALSE(url->textInteractionFlags() & Qt::TextSelectableByMouse);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), url->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(url, &enter);
    EXPECT_TRUE(url->textInteractionFlags() & Qt::TextSelectableByMouse);

    QApplication::clipboard()->setText("something else");
    QTest::mouseClick(page->pendingRows()[0]->findChild<VantraButton*>("copyLink"), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), link);

    QTest::mouseClick(page->pendingRows()[0]->findChild<VantraButton*>("discard"), Qt::LeftButton);
    page->rebuildLists();
    ASSERT_EQ(page->pendingRows().size(), 1);
    EXPECT_EQ(page->pendingRows()[0]->link().url.text, "https://other.example/");
    EXPECT_EQ(page->pendingBadge()->count(), 1);
}

TEST_F(LinksPageTest, RowsAreRebuiltFromTheListsAndTheEmptyStatesShow)
{
    model = makeModel();
    LinksPage* page = makePage();
    EXPECT_TRUE(page->findChild<PageCard*>("nothingWaiting")->isVisible());
    EXPECT_TRUE(page->recentRows().isEmpty());
    EXPECT_EQ(page->pendingBadge(), nullptr);

    QList<Pending> pending;
    for (int i = 0; i < Model::maxPending; ++i)
        pending << pendingLink(QString("https://site%1.example/page").arg(i));
    model->setPending(pending);
    page->rebuildLists();
    ASSERT_EQ(page->pendingRows().size(), Model::maxPending);
    PendingRow* first = page->pendingRows()[0];
    pending.removeFirst();
    model->setPending(pending);
    page->rebuildLists();
    EXPECT_NE(page->pendingRows()[0], first) << "rebuilt, not edited";
    EXPECT_EQ(page->pendingRows()[0]->link().url.text, "https://site1.example/page");
    EXPECT_EQ(
        page->findChild<QLabel*>("waitingNote")->text(),
        "They open in order, so the first one needs a profile before the rest. If Chromium didn't answer, "
        "check it before retrying.");
}

TEST_F(LinksPageTest, ABatchOfLinksIsShownOnceItIsIn)
{
    model = makeModel();
    LinksPage* page = makePage();
    QStringList batch;
    for (int i = 0; i < 30; ++i)
        batch << QString("https://batch%1.example.net/").arg(i);
    model->receive(batch);
    EXPECT_TRUE(page->pendingRows().isEmpty()) << "not rebuilt for every link of the batch";
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->pendingRows().size() == 30; }, 5000));
    EXPECT_EQ(page->pendingBadge()->count(), 30);
}

} // namespace
} // namespace corvane::testing
