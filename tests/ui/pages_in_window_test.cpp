#include "app/model.h"
#include "core/router.h"
#include "ui/kit/appearance.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/segmented.h"
#include "ui/pages/links_page.h"
#include "ui/pages/pending_row.h"
#include "ui/pages/rule_row.h"
#include "ui/pages/rules_page.h"
#include "ui/pages/setting_row.h"
#include "ui/pages/settings_page.h"
#include "ui/window/nav_row.h"
#include "ui/window/sidebar.h"
#include "window_fixture.h"

#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTest>

namespace corvane::testing {
namespace {

class PagesInWindow : public WindowTest {};

TEST_F(PagesInWindow, ColorModeSwitchesTheWholeWindowAtOnce)
{
    Appearance::shared().setSystemDark(false);
    ContentView& window = makeView(std::nullopt);
    window.state().setTab(AppTab::settings);
    auto* page = qobject_cast<SettingsPage*>(window.page(AppTab::settings));
    ASSERT_TRUE(page);
    auto* mode = page->findChild<VantraSegmented*>("colorMode");
    // A label on another page: every widget of the window follows.
    auto* rulesLabel = window.page(AppTab::rules)->findChild<QLabel*>();
    ASSERT_TRUE(rulesLabel);

    const auto click = [&](int segment) { QTest::mouseClick(mode->segments()[segment], Qt::LeftButton); };
    click(2);
    EXPECT_TRUE(window.dark());
    EXPECT_EQ(window.palette().card(), QColor(11, 11, 11));
    EXPECT_EQ(rulesLabel->QWidget::palette().color(QPalette::Window), QColor(11, 11, 11));
    click(1);
    EXPECT_FALSE(window.dark());
    Appearance::shared().setSystemDark(true);
    EXPECT_FALSE(window.dark()) << "light stays light";
    click(0);
    EXPECT_TRUE(window.dark()) << "system follows the desktop again";
    Appearance::shared().setSystemDark(false);
    EXPECT_FALSE(window.dark());
    EXPECT_EQ(model->userDefaults().value("colorScheme"), "system");
}

TEST_F(PagesInWindow, CreateRuleOpensTheEditorPrefilledAndTheNamesAreTheTargetBrowsers)
{
    model = makeModel();
    model->setProfiles({"Work"});
    model->setPending({Pending{Uuid::random(),
                               Router::incoming("https://www.example.com/a"),
                               std::nullopt,
                               "No matching rule. Pick a profile.",
                               false,
                               {}}});
    ContentView& window = makeView();
    window.state().setTab(AppTab::links);
    auto* links = qobject_cast<LinksPage*>(window.page(AppTab::links));
    ASSERT_TRUE(links);
    model->setTestURL("example.com/x");
    EXPECT_EQ(links->openTestButton()->text(), "Pick a profile");
    model->setConfig(withDefault("Work"));
    EXPECT_EQ(links->openTestButton()->text(), "Open in Dia");

    QTest::mouseClick(links->pendingRows()[0]->findChild<VantraButton*>("createRule"), Qt::LeftButton);
    ASSERT_TRUE(window.state().editing());
    EXPECT_EQ(window.state().editing()->pattern, "example.com");
    EXPECT_EQ(window.state().editing()->profile, "Work");
    EXPECT_TRUE(window.editor());

    auto* settings = qobject_cast<SettingsPage*>(window.page(AppTab::settings));
    EXPECT_TRUE(settings->row("Connected to Dia"));
    EXPECT_TRUE(settings->row("Links inside Dia"));
}

// Another browser chosen in Settings: every name shown for the browser
// follows at once, not when something else happens to change.
TEST_F(PagesInWindow, NamesOfTheBrowserFollowTheChoiceInSettings)
{
    platform.installed = {platform.browser, {"firefox", "Firefox", true, "about:addons"}};
    model = makeModel();
    model->setProfiles({"Work"});
    model->setConfig(withDefault("Work"));
    Configuration config = model->config();
    config.rules = {rule("a.com", "Work"), rule("b.com", "Gone")};
    model->setConfig(config);
    ContentView& window = makeView();
    auto* links = qobject_cast<LinksPage*>(window.page(AppTab::links));
    model->setTestURL("example.com/x");
    ASSERT_EQ(links->openTestButton()->text(), "Open in Dia");
    RuleRow* missing = window.rulesPage()->visibleRows()[1];
    ASSERT_EQ(missing->chipToolTip(), "Gone was not found in Dia. Links for this rule will wait in Pending.");

    auto* settings = qobject_cast<SettingsPage*>(window.page(AppTab::settings));
    auto* choice = qobject_cast<VantraDropdown*>(settings->row("Browser")->control());
    ASSERT_TRUE(choice);
    std::unique_ptr<QMenu> menu(choice->buildMenu(nullptr));
    menu->actions()[1]->trigger();
    ASSERT_EQ(model->targetBrowser().displayName, "Firefox");
    EXPECT_EQ(links->openTestButton()->text(), "Open in Firefox");
    // The new browser's profiles arrive.
    model->setProfiles({"Work"});
    EXPECT_EQ(window.rulesPage()->visibleRows()[1]->chipToolTip(),
              "Gone was not found in Firefox. Links for this rule will wait in Pending.");
    EXPECT_EQ(window.sidebar()->profileRows()[0]->toolTip(), "Gone was not found in Firefox");
}

} // namespace
} // namespace corvane::testing
