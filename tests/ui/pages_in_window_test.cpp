#include "app/model.h"
#include "core/router.h"
#include "ui/kit/appearance.h"
#include "ui/kit/button_style.h"
#include "ui/kit/segmented.h"
#include "ui/pages/links_page.h"
#include "ui/pages/pending_row.h"
#include "ui/pages/settings_page.h"
#include "window_fixture.h"

#include <QLabel>
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

} // namespace
} // namespace corvane::testing
