#include "app/model.h"
#include "core/route_error.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/toggle.h"
#include "ui/pages/rule_editor.h"
#include "ui/pages/rule_row.h"
#include "ui/pages/rules_logic.h"
#include "ui/pages/rules_page.h"
#include "window_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace corvane::testing {
namespace {

class RulesPageTest : public WindowTest {
protected:
    // Twelve rules over two profiles; "Work" holds rules 3, 7 and 9.
    void makeSample()
    {
        model = makeModel();
        model->setProfiles({"Work", "Personal"});
        std::vector<Rule> rules;
        for (int i = 1; i <= 12; ++i) {
            const bool work = i == 3 || i == 7 || i == 9;
            rules.push_back(
                rule(QString("site%1.example.com").arg(i).toUtf8().constData(), work ? "Work" : "Personal"));
        }
        setRules(rules);
        makeView();
    }
    RulesPage& page() { return *view->rulesPage(); }
    QStringList shownPatterns()
    {
        QStringList patterns;
        for (RuleRow* row : page().visibleRows())
            patterns << QString::fromStdString(row->rule().pattern);
        return patterns;
    }
    QList<int> shownPositions()
    {
        QList<int> positions;
        for (RuleRow* row : page().visibleRows())
            positions << row->position();
        return positions;
    }
    QStringList storedPatterns() const
    {
        QStringList patterns;
        for (const Rule& r : model->config().rules)
            patterns << QString::fromStdString(r.pattern);
        return patterns;
    }
    void type(const QString& text)
    {
        page().searchField()->clear();
        QTest::keyClicks(page().searchField(), text);
    }
    // The row's "…" menu as a click opens it: parented to the row, on screen.
    QMenu* openMenu(RuleRow* row)
    {
        QTest::mouseClick(row->actionsButton(), Qt::LeftButton);
        auto* menu = row->findChild<QMenu*>();
        if (menu) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
        }
        return menu;
    }
    static QAction* named(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    QAction* menuAction(RuleRow* row, const QString& text, std::unique_ptr<QMenu>& menu)
    {
        menu.reset(row->buildMenu(nullptr));
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
};

TEST_F(RulesPageTest, TheThreeStatesOfThePage)
{
    makeView();
    EXPECT_EQ(page().shown(), RulesPage::Shown::firstRule);
    EXPECT_EQ(page().header()->title(), "Routing rules");
    EXPECT_EQ(page().header()->detail(), "Links you click in other apps open in the profile of the first "
                                         "rule that matches, from the top down.");

    setRules({rule("example.com", "Work")});
    EXPECT_EQ(page().shown(), RulesPage::Shown::rows);
    type("nothing-like-it");
    EXPECT_EQ(page().shown(), RulesPage::Shown::noMatch);
    EXPECT_EQ(page().noMatchState()->detail(), "Try another domain or profile.");
    EXPECT_EQ(page().countText(), "0 of 1");

    view->state().setQuery("");
    view->state().setProfileFilter("Personal");
    EXPECT_EQ(page().shown(), RulesPage::Shown::noMatch);
    EXPECT_EQ(page().noMatchState()->detail(), "No rules open in Personal yet.");
    EXPECT_EQ(page().header()->title(), "Personal");
    EXPECT_EQ(page().header()->detail(), "Rules that open in Personal, in their overall order.");
}

TEST_F(RulesPageTest, SearchMatchesPatternsAndProfilesIgnoringCase)
{
    makeSample();
    EXPECT_EQ(page().countText(), "");
    EXPECT_FALSE(page().clearButton()->isVisible());

    type("WORK");
    EXPECT_EQ(shownPositions(), QList<int>({3, 7, 9}));
    EXPECT_EQ(page().countText(), "3 of 12");
    EXPECT_TRUE(page().clearButton()->isVisible());

    type("SITE1");
    EXPECT_EQ(shownPatterns(), QStringList({"site1.example.com", "site10.example.com", "site11.example.com",
                                            "site12.example.com"}));
    // Used as typed: a leading space matches nothing here.
    type(" site1");
    EXPECT_TRUE(shownPatterns().isEmpty());

    QTest::mouseClick(page().clearButton(), Qt::LeftButton);
    EXPECT_EQ(view->state().query(), "");
    EXPECT_EQ(page().searchField()->text(), "");
    EXPECT_EQ(page().visibleRows().size(), 12);
}

TEST_F(RulesPageTest, UnderAFilterPositionsAndMovesAreThoseOfTheWholeList)
{
    makeSample();
    view->state().setProfileFilter("Work");
    EXPECT_EQ(shownPositions(), QList<int>({3, 7, 9}));
    EXPECT_EQ(page().countText(), "3 of 12");

    RuleRow* first = page().visibleRows().first();
    EXPECT_TRUE(first->canMoveEarlier());
    std::unique_ptr<QMenu> menu;
    QAction* earlier = menuAction(first, "Move earlier", menu);
    ASSERT_NE(earlier, nullptr);
    EXPECT_TRUE(earlier->isEnabled());
    earlier->trigger();
    // It swapped with its overall neighbour, a rule of another profile.
    EXPECT_EQ(storedPatterns().mid(1, 2), QStringList({"site3.example.com", "site2.example.com"}));
    EXPECT_EQ(shownPositions(), QList<int>({2, 7, 9}));

    // The ends of the whole list.
    view->state().setProfileFilter("");
    RuleRow* top = page().visibleRows().first();
    RuleRow* bottom = page().visibleRows().last();
    EXPECT_FALSE(menuAction(top, "Move earlier", menu)->isEnabled());
    EXPECT_TRUE(menuAction(top, "Move later", menu)->isEnabled());
    EXPECT_FALSE(menuAction(bottom, "Move later", menu)->isEnabled());
    const auto before = model->config().rules;
    EXPECT_EQ(RulesLogic::move(before, before.front().id, -1), std::nullopt);
    EXPECT_EQ(RulesLogic::move(before, before.back().id, +1), std::nullopt);
    EXPECT_EQ(RulesLogic::move(before, Uuid::random(), +1), std::nullopt);
}

TEST_F(RulesPageTest, ToggleAndDeleteChangeTheConfigurationAndTheFile)
{
    makeSample();
    RuleRow* row = page().visibleRows()[1];
    EXPECT_EQ(row->toggle()->accessibleName(), "Enable site2.example.com");
    EXPECT_EQ(row->actionsButton()->accessibleName(), "Actions for site2.example.com");
    EXPECT_EQ(row->accessibleName(), "Edit rule 2, site2.example.com, Personal");
    QTest::mouseClick(row->toggle(), Qt::LeftButton);
    EXPECT_FALSE(model->config().rules[1].enabled);

    std::unique_ptr<QMenu> menu;
    menuAction(page().visibleRows()[0], "Delete rule", menu)->trigger();
    ASSERT_EQ(model->config().rules.size(), 11u);
    EXPECT_EQ(model->config().rules[0].pattern, "site2.example.com");
    EXPECT_EQ(page().visibleRows().size(), 11);
    EXPECT_EQ(page().visibleRows()[0]->position(), 1);

    // The debounced save writes what the page did.
    QTRY_VERIFY_WITH_TIMEOUT(
        !readFile(env.settingsPath).isEmpty() &&
            QJsonDocument::fromJson(readFile(env.settingsPath)).object().value("rules").toArray().size() ==
                11,
        5000);
    const QJsonObject stored =
        QJsonDocument::fromJson(readFile(env.settingsPath)).object().value("rules").toArray()[0].toObject();
    EXPECT_EQ(stored.value("pattern").toString(), "site2.example.com");
    EXPECT_EQ(stored.value("enabled").toBool(), false);
}

// "Delete rule" on the last row (or the only one) takes that row away, and with
// it the menu that is still handling the choice: the row must go only once
// the menu is done.
TEST_F(RulesPageTest, DeleteRuleFromTheMenuOfTheLastRowLetsTheMenuFinish)
{
    model = makeModel();
    for (int count : {1, 3}) {
        SCOPED_TRACE(count);
        std::vector<Rule> rules;
        for (int i = 1; i <= count; ++i)
            rules.push_back(rule(QString("site%1.example.com").arg(i).toUtf8().constData(), "Work"));
        setRules(rules);
        makeView();
        QPointer<QMenu> menu = openMenu(page().visibleRows().back());
        ASSERT_TRUE(menu);
        QAction* remove = named(menu, "Delete rule");
        ASSERT_TRUE(remove);
        bool menuLivedThroughTheAction = false;
        QObject::connect(remove, &QAction::triggered, remove,
                         [&] { menuLivedThroughTheAction = !menu.isNull(); });
        menu->setActiveAction(remove);
        QTest::keyClick(menu, Qt::Key_Return);
        EXPECT_TRUE(menuLivedThroughTheAction);
        EXPECT_EQ(model->config().rules.size(), std::size_t(count - 1));
        EXPECT_EQ(page().visibleRows().size(), count - 1);
        EXPECT_EQ(page().shown(), count == 1 ? RulesPage::Shown::firstRule : RulesPage::Shown::rows);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(menu.isNull()) << "the menu goes with its row";
    }
}

// Menus are windows of their own: they take the page's colours, so the arrows
// drawn in ink stay visible in dark mode, and "Delete rule" reads red.
TEST_F(RulesPageTest, TheRowMenuIsDrawnInThePagesColours)
{
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        SCOPED_TRACE(scheme == ColorScheme::dark ? "dark" : "light");
        model = makeModel();
        setRules(
            {rule("a.example.com", "Work"), rule("b.example.com", "Work"), rule("c.example.com", "Work")});
        makeView(scheme);
        const VantraPalette palette{scheme == ColorScheme::dark};
        QMenu* menu = openMenu(page().visibleRows()[1]);
        ASSERT_TRUE(menu);
        const QImage shot = menu->grab().toImage();
        const auto distance = [](QColor a, QColor b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                   std::abs(a.blue() - b.blue());
        };
        const QRect edit = menu->actionGeometry(named(menu, "Edit rule"));
        const QColor background = shot.pixelColor(edit.right() - 6, edit.center().y());
        EXPECT_LT(distance(background, palette.card()), 30) << background.name().toStdString();

        // Pixels in a part of an item that stand out from the menu, and red ones.
        const auto count = [&](const QRect& area, auto&& wanted) {
            int n = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    n += wanted(shot.pixelColor(x, y));
            return n;
        };
        for (const char* move : {"Move earlier", "Move later"}) {
            const QRect item = menu->actionGeometry(named(menu, move));
            const QRect symbol(item.left(), item.top(), 30, item.height());
            EXPECT_GT(count(symbol, [&](QColor c) { return distance(c, background) > 180; }), 8) << move;
        }
        const QRect remove = menu->actionGeometry(named(menu, "Delete rule"));
        EXPECT_GT(count(remove, [](QColor c) { return c.red() > 150 && c.green() < 110 && c.blue() < 110; }),
                  15);
        EXPECT_EQ(count(edit, [](QColor c) { return c.red() > 150 && c.green() < 110 && c.blue() < 110; }),
                  0);
        menu->close();
    }
}

TEST_F(RulesPageTest, ReturnInThePatternFieldCommitsOnce)
{
    makeSample();
    QTest::mouseClick(page().addButton(), Qt::LeftButton);
    RuleEditor* editor = view->editor();
    ASSERT_NE(editor, nullptr);
    QSignalSpy committed(editor, &RuleEditor::committed);
    QTest::keyClicks(editor->patternField(), "once.example.com");
    QTest::keyClick(editor->patternField(), Qt::Key_Return);
    EXPECT_EQ(committed.size(), 1);
    EXPECT_EQ(view->editor(), nullptr);
    EXPECT_EQ(model->config().rules.size(), 13u);
}

// A refusal sits in its own section: 20 points from the section above and
// from the buttons below, no more.
TEST_F(RulesPageTest, TheValidationMessageTakesOnlyItsOwnRoom)
{
    makeSample();
    view->editRule(RulesLogic::newRule("Work"));
    RuleEditor* editor = view->editor();
    ASSERT_NE(editor, nullptr);
    const int closedHeight = editor->height();
    QTest::keyClicks(editor->patternField(), "bad host");
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    ASSERT_FALSE(editor->error().isEmpty());
    QCoreApplication::processEvents();
    auto* message = editor->findChild<PaletteLabel*>("error");
    ASSERT_TRUE(message);
    const QRect shown = message->geometry();
    EXPECT_EQ(shown.top() -
                  editor->enabledToggle()->mapTo(editor, QPoint(0, editor->enabledToggle()->height())).y(),
              20);
    EXPECT_EQ(editor->doneButton()->mapTo(editor, QPoint(0, 0)).y() - shown.bottom() - 1, 20);
    EXPECT_EQ(shown.height(), message->heightForWidth(shown.width())) << "the text's own height";
    EXPECT_EQ(editor->height(), closedHeight + 20 + shown.height());
}

TEST_F(RulesPageTest, AProfileIsMarkedMissingOnlyOnceTheBrowserReportedSome)
{
    model = makeModel();
    setRules({rule("a.com", "Gone"), rule("b.com", "Work")});
    makeView();
    EXPECT_FALSE(page().visibleRows()[0]->profileMissing());
    model->setProfiles({"Work"});
    EXPECT_TRUE(page().visibleRows()[0]->profileMissing());
    EXPECT_FALSE(page().visibleRows()[1]->profileMissing());
    EXPECT_EQ(page().visibleRows()[0]->chipToolTip(),
              "Gone was not found in Dia. Links for this rule will wait in Pending.");
}

TEST_F(RulesPageTest, EditingReplacesInPlaceAndANewRuleIsAppended)
{
    makeSample();
    QTest::mouseClick(page().visibleRows()[4], Qt::LeftButton, {}, QPoint(60, 20));
    RuleEditor* editor = view->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->patternField()->text(), "site5.example.com");
    editor->patternField()->selectAll();
    QTest::keyClicks(editor->patternField(), "https://WWW.Example.org/path");
    QTest::keyClick(editor->patternField(), Qt::Key_Return);
    EXPECT_EQ(view->editor(), nullptr);
    ASSERT_EQ(model->config().rules.size(), 12u);
    EXPECT_EQ(model->config().rules[4].pattern, "example.org");
    EXPECT_EQ(model->config().rules[4].profile, "Personal");

    // "Add rule" under a filter starts with that profile; Done appends.
    view->state().setProfileFilter("Work");
    QTest::mouseClick(page().addButton(), Qt::LeftButton);
    editor = view->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->rule().profile, "Work");
    EXPECT_EQ(editor->rule().kind, MatchKind::domain);
    EXPECT_TRUE(editor->rule().enabled);
    QTest::keyClicks(editor->patternField(), "new.example.com");
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    ASSERT_EQ(model->config().rules.size(), 13u);
    EXPECT_EQ(model->config().rules.back().pattern, "new.example.com");
    EXPECT_EQ(model->config().rules.back().profile, "Work");
}

TEST_F(RulesPageTest, DoneWithAnInvalidRuleShowsTheMessageAndStaysOpen)
{
    makeSample();
    view->editRule(RulesLogic::newRule("Work"));
    RuleEditor* editor = view->editor();
    ASSERT_NE(editor, nullptr);
    // A path for a host kind: normalised first, so the hostname check runs on "bad host".
    QTest::keyClicks(editor->patternField(), "bad host/x");
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    ASSERT_EQ(view->editor(), editor);
    EXPECT_EQ(editor->patternField()->text(), "bad host");
    EXPECT_EQ(editor->error().toStdString(), Messages::hostname);
    EXPECT_EQ(model->config().rules.size(), 12u);

    // Typing removes the message.
    QTest::keyClick(editor->patternField(), Qt::Key_Backspace);
    EXPECT_EQ(editor->error(), "");

    // A valid host and no profile: the profile message.
    std::unique_ptr<QMenu> menu(editor->profileDropdown()->buildMenu(nullptr));
    menu->actions()[0]->trigger(); // "Choose a profile"
    editor->patternField()->setText("good.example.com");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(editor->error().toStdString(), Messages::chooseProfile);
    ASSERT_EQ(view->editor(), editor);
}

TEST_F(RulesPageTest, EscapeAndCloseLeaveTheConfigurationUntouched)
{
    makeSample();
    const Configuration before = model->config();
    view->editRule(before.rules[0]);
    RuleEditor* editor = view->editor();
    editor->patternField()->setText("changed.example.com");
    editor->enabledToggle()->click();
    QTest::keyClick(editor->patternField(), Qt::Key_Escape);
    EXPECT_EQ(view->editor(), nullptr);
    EXPECT_EQ(view->state().editing(), std::nullopt);
    EXPECT_EQ(model->config(), before);

    view->editRule(before.rules[0]);
    view->editor()->patternField()->setText("other.example.com");
    QTest::mouseClick(view->editor()->closeButton(), Qt::LeftButton);
    EXPECT_EQ(view->editor(), nullptr);
    EXPECT_EQ(model->config(), before);
}

TEST_F(RulesPageTest, TheEditorFollowsTheKindAndListsTheProfiles)
{
    makeSample();
    Rule own = rule("a.example.com", "Zed");
    view->editRule(own);
    RuleEditor* editor = view->editor();
    EXPECT_EQ(editor->patternLabel(), "Domain");
    EXPECT_EQ(editor->patternField()->placeholderText(), "example.com");
    EXPECT_EQ(editor->hint(),
              "Just the domain, like example.com. No https:// needed. Subdomains are included.");
    EXPECT_FALSE(editor->showsConnectLine());

    QStringList labels;
    for (const auto& option : editor->profileDropdown()->options())
        labels << option.second;
    EXPECT_EQ(labels, QStringList({"Choose a profile", "Personal", "Work", "Zed"}));
    EXPECT_EQ(editor->profileDropdown()->title(), "Zed");

    QStringList kinds;
    for (const auto& option : editor->kindDropdown()->options())
        kinds << option.second;
    EXPECT_EQ(kinds, QStringList({"Domain + subdomains", "Exact host", "URL path prefix"}));
    std::unique_ptr<QMenu> menu(editor->kindDropdown()->buildMenu(nullptr));
    menu->actions()[2]->trigger();
    EXPECT_EQ(editor->rule().kind, MatchKind::urlPrefix);
    EXPECT_EQ(editor->patternLabel(), "URL path");
    EXPECT_EQ(editor->patternField()->placeholderText(), "example.com/work");
    EXPECT_EQ(editor->hint(), "A link and its path, like example.com/work. https:// is added for you.");
    menu.reset(editor->kindDropdown()->buildMenu(nullptr));
    menu->actions()[1]->trigger();
    EXPECT_EQ(editor->patternLabel(), "Domain");
    EXPECT_EQ(editor->hint(), "Just the hostname, like docs.example.com. No https:// needed.");
}

TEST_F(RulesPageTest, WithoutProfilesTheEditorSaysHowToGetThem)
{
    makeView();
    QTest::mouseClick(page().firstRuleButton(), Qt::LeftButton);
    RuleEditor* editor = view->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->rule().profile, "");
    EXPECT_TRUE(editor->showsConnectLine());
    EXPECT_EQ(editor->profileDropdown()->options().size(), 1);
}

TEST_F(RulesPageTest, TheSiteIconHostOfEachKind)
{
    EXPECT_EQ(RulesLogic::iconHost(rule("example.com", "W")), "example.com");
    EXPECT_EQ(RulesLogic::iconHost(rule("a.example.com", "W", MatchKind::exactHost)), "a.example.com");
    EXPECT_EQ(RulesLogic::iconHost(rule("https://docs.example.com/work", "W", MatchKind::urlPrefix)),
              "docs.example.com");
    EXPECT_EQ(RulesLogic::iconHost(rule("https://[bad", "W", MatchKind::urlPrefix)), "");
}

} // namespace
} // namespace corvane::testing
