#include "app/model.h"
#include "app/tab_relay.h"
#include "page_fixture.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/icon.h"
#include "ui/kit/preferences.h"
#include "ui/kit/segmented.h"
#include "ui/kit/toggle.h"
#include "ui/pages/setting_row.h"
#include "ui/pages/settings_page.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLocalSocket>
#include <QMenu>
#include <QSettings>
#include <QTest>

namespace corvane::testing {
namespace {

class SettingsPageTest : public PageTest {
protected:
    SettingsPage* makePage()
    {
        if (!model)
            model = makeModel();
        auto* page = new SettingsPage(*model, host->vantraPalette());
        host->setPage(page);
        host->show();
        return page;
    }

    static void choose(VantraDropdown* dropdown, const QString& label)
    {
        std::unique_ptr<QMenu> menu(dropdown->buildMenu(nullptr));
        for (QAction* action : menu->actions())
            if (action->text() == label)
                return action->trigger();
        FAIL() << "no option " << label.toStdString();
    }

    static QStringList labels(VantraDropdown* dropdown)
    {
        QStringList found;
        for (const auto& option : dropdown->options())
            found << option.second;
        return found;
    }

    // What another reader of the user-defaults file sees now.
    QVariant storedDefault(const QString& key)
    {
        model->userDefaults().sync();
        return QSettings(env.userDefaultsPath, QSettings::IniFormat).value(key);
    }
};

TEST_F(SettingsPageTest, SectionsAndRowsInOrder)
{
    SettingsPage* page = makePage();
    QStringList titles;
    for (SettingsSection* section : page->sections()) {
        titles << section->title() + ":";
        for (SettingRow* row : section->rows())
            titles << row->title();
    }
    EXPECT_EQ(titles, (QStringList{"Connection:", "Not connected to Chromium", "Default browser",
                                   "Routing:", "Unmatched links", "Reuse open tabs", "Links inside Chromium",
                                   "Appearance:", "Color mode", "Show in tray", "About:", "Version 1.2.0",
                                   "Feedback", "Settings file:", "Stored on this computer"}));
    EXPECT_EQ(page->row("Not connected to Chromium")->detail(),
              "Open a Chromium window, then connect to list your profiles.");
}

TEST_F(SettingsPageTest, RefreshConnectsAndListsTheProfiles)
{
    SettingsPage* page = makePage();
    auto* refresh = qobject_cast<VantraButton*>(page->row("Not connected to Chromium")->control());
    ASSERT_TRUE(refresh);
    EXPECT_EQ(refresh->text(), "Refresh");
    QTest::mouseClick(refresh, Qt::LeftButton);
    EXPECT_EQ(page->row("Not connected to Chromium")->control()->property("text"), "Connecting\u2026");
    EXPECT_FALSE(page->row("Not connected to Chromium")->control()->isEnabled());
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(page->row("Connected to Chromium"));
    EXPECT_EQ(page->row("Connected to Chromium")->detail(), "Work  \u00b7  Personal");
}

TEST_F(SettingsPageTest, TheDefaultBrowserRowInItsThreeWordings)
{
    struct Case {
        bool isDefault;
        bool linkRouter;
        std::optional<QString> other;
        const char* detail;
    };
    const std::vector<Case> cases{
        {true, false, std::nullopt, "Corvane receives links opened from other apps."},
        {false, true, "Junction",
         "Junction is your default browser. Choose Corvane as its browser so your rules apply."},
        {false, true, std::nullopt,
         "Your link router is your default browser. Choose Corvane as its browser so your rules apply."},
        {false, false, "Firefox ESR",
         "Links from other apps go to Firefox ESR now. Make Corvane the default so your rules apply."},
        {false, false, std::nullopt,
         "Links from other apps go to another browser now. Make Corvane the default so your rules apply."},
    };
    SettingsPage* page = makePage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        model->setOtherDefaultBrowser(c.other);
        model->setDefaultIsLinkRouter(c.linkRouter);
        model->setIsDefaultBrowser(c.isDefault);
        SettingRow* row = page->row("Default browser");
        EXPECT_EQ(row->detail(), c.detail);
        EXPECT_EQ(row->control()->objectName(), c.isDefault ? "Default" : "Set as default\u2026");
    }
    QTest::mouseClick(page->row("Default browser")->control(), Qt::LeftButton);
    EXPECT_EQ(platform.makeDefaultCalls, 1);
}

// "Default" is a 12-point medium label; its check mark must read as ink, not
// as a grey hairline, in both schemes.
TEST_F(SettingsPageTest, TheDefaultCheckMarkIsDrawnInInk)
{
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        host = std::make_unique<PageHost>();
        host->setDark(dark);
        SettingsPage* page = makePage();
        model->setIsDefaultBrowser(true);
        QWidget* mark = page->row("Default browser")->control();
        ASSERT_EQ(mark->objectName(), "Default");
        auto* check = mark->findChild<Icon*>();
        ASSERT_TRUE(check);
        QImage image(check->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(host->vantraPalette().card());
        check->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        // How much of the square is ink, in square points: a line 1.4 points
        // wide along the check's two strokes, not the artwork's hairline.
        const QColor ink = host->vantraPalette().ink();
        const QColor card = host->vantraPalette().card();
        double covered = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                covered += std::clamp(double(qGray(image.pixel(x, y)) - qGray(card.rgb())) /
                                          double(qGray(ink.rgb()) - qGray(card.rgb())),
                                      0.0, 1.0);
        const double strokes = 12 * 0.8 * 1.2;
        EXPECT_GT(covered / 4, strokes * 1.05);
    }
}

TEST_F(SettingsPageTest, AskEveryTimeRemovesTheDefaultProfileFromTheSavedFile)
{
    writeFile(env.settingsPath, R"({"version":1,"rules":[],"defaultProfile":"Old"})");
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    SettingsPage* page = makePage();
    auto* unmatched = page->findChild<VantraDropdown*>("unmatched");
    EXPECT_EQ(labels(unmatched), (QStringList{"Ask every time", "Old", "Personal", "Work"}));
    EXPECT_EQ(unmatched->title(), "Old");

    choose(page->findChild<VantraDropdown*>("unmatched"), "Work");
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(env.settingsPath).contains("\"Work\""); }, 5000));

    choose(page->findChild<VantraDropdown*>("unmatched"), "Ask every time");
    EXPECT_EQ(model->config().defaultProfile, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !readFile(env.settingsPath).contains("Work"); }, 5000));
    const QJsonObject saved = QJsonDocument::fromJson(readFile(env.settingsPath)).object();
    EXPECT_FALSE(saved.contains("defaultProfile"));
    EXPECT_EQ(page->findChild<VantraDropdown*>("unmatched")->title(), "Ask every time");
}

TEST_F(SettingsPageTest, SwitchesWriteTheSharedUserDefaults)
{
    SettingsPage* page = makePage();
    QTest::mouseClick(page->findChild<VantraToggle*>("reuseOpenTabs"), Qt::LeftButton);
    QTest::mouseClick(page->findChild<VantraToggle*>("showInMenuBar"), Qt::LeftButton);
    EXPECT_EQ(storedDefault("reuseOpenTabs").toBool(), false);
    EXPECT_EQ(storedDefault("showInMenuBar").toBool(), false);

    // A change made elsewhere shows here too.
    Preferences::of(*model).setShowInMenuBar(true);
    EXPECT_TRUE(page->findChild<VantraToggle*>("showInMenuBar")->isOn());
}

TEST_F(SettingsPageTest, ColorModeSwitchesThePaletteOfTheWholeWindow)
{
    SettingsPage* page = makePage();
    // The window follows the preference, as the window does.
    QObject::connect(&Preferences::of(*model), &Preferences::appearanceChanged, host.get(),
                     [&] { host->setDark(Preferences::of(*model).appearance() == "dark"); });
    auto* mode = page->findChild<VantraSegmented*>("colorMode");
    EXPECT_EQ(mode->selection(), "system");
    QTest::mouseClick(mode->segments()[2], Qt::LeftButton);
    EXPECT_EQ(storedDefault("colorScheme"), "dark");
    EXPECT_TRUE(host->vantraPalette().dark);
    EXPECT_EQ(page->row("Color mode")->findChild<QLabel*>("title")->palette().color(QPalette::WindowText),
              host->vantraPalette().ink());
    QTest::mouseClick(mode->segments()[0], Qt::LeftButton);
    EXPECT_EQ(storedDefault("colorScheme"), "system");
    EXPECT_FALSE(host->vantraPalette().dark);
}

TEST_F(SettingsPageTest, TheVersionRowOffersTheUpdateAndCannotBePressedWhileInstalling)
{
    SettingsPage* page = makePage();
    const QString title = "Version 1.2.0";
    const auto action = [&] { return qobject_cast<VantraButton*>(page->row(title)->control()); };
    EXPECT_EQ(action()->text(), "Check for updates");

    model->setAvailableUpdate(UpdateInfo{"2.4.0", QUrl("https://example.invalid/release"), std::nullopt});
    VantraButton* install = action();
    EXPECT_EQ(install->text(), "Install 2.4.0");
    EXPECT_TRUE(install->isEnabled());
    EXPECT_TRUE(install->style().primary);
    EXPECT_EQ(page->row(title)->detail(),
              "Version 2.4.0 is available. Installing takes a few seconds and restarts the app.");

    model->setInstallingUpdate(true);
    install = action();
    EXPECT_EQ(install->text(), "Installing\u2026");
    EXPECT_FALSE(install->isEnabled());
}

TEST_F(SettingsPageTest, APackagedCopySaysUpdatesComeFromThePackageAndNeverOffersToInstall)
{
    env.updates.package = "deb";
    SettingsPage* page = makePage();
    const QString title = "Version 1.2.0";
    const auto action = [&] { return qobject_cast<VantraButton*>(page->row(title)->control()); };
    EXPECT_EQ(action()->text(), "Check for updates");
    EXPECT_EQ(
        page->row(title)->detail(),
        "Updates come from the package. Corvane checks updates.example.net for new versions once a day.");

    model->setAvailableUpdate(
        UpdateInfo{"2.4.0", QUrl("https://example.invalid/release"), QUrl("https://example.invalid/c.zip")});
    EXPECT_EQ(action()->text(), "Open website");
    EXPECT_EQ(page->row(title)->detail(),
              "Version 2.4.0 is available. Updates come from the package: install "
              "the new package from the website.");
    QTest::mouseClick(action(), Qt::LeftButton);
    EXPECT_EQ(platform.openedUrls, QList<QUrl>{QUrl("https://example.invalid/release")});
    EXPECT_FALSE(model->installingUpdate());
}

TEST_F(SettingsPageTest, TheBrowserChoiceAppearsWithTwoBrowsersAndRefreshesFromTheChosenOne)
{
    SettingsPage* single = makePage();
    EXPECT_EQ(single->row("Browser"), nullptr);

    host = std::make_unique<PageHost>();
    platform.installed = {{"chromium", "Chromium", true, "chrome://extensions"},
                          {"brave", "Brave", true, "brave://extensions"}};
    model->setProfiles({"Old"});
    SettingsPage* page = makePage();
    SettingRow* browser = page->row("Browser");
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->detail(), "Links open in this browser's profiles.");
    EXPECT_EQ(labels(qobject_cast<VantraDropdown*>(browser->control())), (QStringList{"Chromium", "Brave"}));

    choose(qobject_cast<VantraDropdown*>(browser->control()), "Brave");
    // The fake names one browser whatever it is asked; what was asked is checked below.
    platform.browser = platform.installed[1];
    EXPECT_EQ(storedDefault("browser"), "brave");
    EXPECT_TRUE(model->busy()) << "the profiles are listed again at once";
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->profiles(), (QStringList{"Work", "Personal"}));
    EXPECT_EQ(platform.preferredIds.last(), "brave");
    ASSERT_TRUE(page->row("Links inside Brave"));
    EXPECT_TRUE(
        page->row("Links inside Brave")->detail().contains("In Brave, open brave://extensions, turn on"));

    // Switching back while a refresh runs: the list is asked for again once
    // that refresh is over, so the old browser's answer is not the last word.
    useRunner(openedAnswer, "if [ ! -e \"$log.slow\" ]; then touch \"$log.slow\"; sleep 0.3; "
                            "echo '[\"Brave One\"]'; else " +
                                QString(profilesAnswer) + "; fi");
    model->refresh(true);
    ASSERT_TRUE(model->busy());
    choose(qobject_cast<VantraDropdown*>(page->row("Browser")->control()), "Chromium");
    platform.browser = platform.installed[0];
    EXPECT_TRUE(model->profiles().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->profiles() == QStringList{"Work", "Personal"}; }, 10000));
    EXPECT_EQ(storedDefault("browser"), "chromium");
    ASSERT_TRUE(page->row("Links inside Chromium"));
}

} // namespace
} // namespace corvane::testing

namespace corvane::testing {
namespace {

TEST_F(SettingsPageTest, AFirefoxTargetExplainsItsExtensionAndWhereTabsAreReused)
{
    platform.browser = {"firefox-snap", "Firefox (Snap)", true, "about:debugging", true};
    platform.installed = {platform.browser};
    SettingsPage* page = makePage();
    ASSERT_TRUE(page->row("Reuse open tabs"));
    EXPECT_EQ(page->row("Reuse open tabs")->detail(),
              "If the page is already open in that profile, switch to it instead of opening a new tab. This needs "
              "the extension below; it is connected in no profile now, so links open in a new tab.");
    SettingRow* extension = page->row("Links inside Firefox (Snap)");
    ASSERT_TRUE(extension);
    EXPECT_EQ(extension->detail(),
              "The optional extension adds \u201cRoute with Corvane\u201d to a link\u2019s right-click menu. In "
              "Firefox (Snap), open about:debugging, choose This Firefox, then Load Temporary Add-on and pick "
              "manifest.json in the folder this button shows. It stays only until Firefox (Snap) restarts "
              "unless it is signed.");
}

// The row says where a tab can be reused: the profiles whose extension is
// connected now, and follows them as they come and go.
TEST_F(SettingsPageTest, TheReuseRowSaysWhereTheExtensionIsConnected)
{
    TabRelay relay;
    ASSERT_TRUE(relay.listen(path("tabs.sock")));
    env.tabs = &relay;
    model = makeModel();
    model->setProfiles({"Work", "Personal", "Play"});
    SettingsPage* page = makePage();
    const QString what = "If the page is already open in that profile, switch to it instead of opening a new tab.";
    const auto detail = [&] { return page->row("Reuse open tabs")->detail(); };
    EXPECT_EQ(detail(), what + " This needs the extension below; it is connected in no profile now, so links "
                               "open in a new tab.");

    std::vector<std::unique_ptr<QLocalSocket>> hosts;
    const auto connectHost = [&](const QString& browser, const QString& profile) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(relay.path());
        socket->write(R"({"type":"hello","browser":")" + browser.toUtf8() + R"(","profile":")" +
                      profile.toUtf8() + "\"}\n");
        socket->flush();
        hosts.push_back(std::move(socket));
    };
    connectHost("chromium", "Work");
    connectHost("firefox", "Personal"); // another browser's profile of that name
    ASSERT_TRUE(QTest::qWaitFor([&] { return detail().contains("Works in"); }, 2000));
    EXPECT_EQ(detail(), what + " Works in Work, where the extension is connected; other profiles open a new tab.");

    connectHost("chromium", "Play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return detail().contains("Play"); }, 2000));
    EXPECT_EQ(detail(),
              what + " Works in Work and Play, where the extension is connected; other profiles open a new tab.");
    connectHost("chromium", "Personal");
    ASSERT_TRUE(QTest::qWaitFor([&] { return detail().contains("every"); }, 2000));
    EXPECT_EQ(detail(), what + " Works in every profile: the extension is connected in each.");

    hosts.clear(); // the browser quit
    EXPECT_TRUE(QTest::qWaitFor([&] { return detail().contains("no profile"); }, 2000));
}

// The chosen browser is gone: it stays chosen and says so, beside the ones
// that are there.
TEST_F(SettingsPageTest, AChosenBrowserThatIsGoneIsListedAsNotInstalled)
{
    platform.browser = {"firefox-flatpak", "Firefox", false, "about:debugging", true};
    platform.installed = {{"chromium", "Chromium", true, "chrome://extensions"}};
    SettingsPage* page = makePage();
    SettingRow* browser = page->row("Browser");
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->detail(),
              "Firefox is not installed. Links wait until it is back or you choose another browser.");
    EXPECT_EQ(labels(qobject_cast<VantraDropdown*>(browser->control())),
              (QStringList{"Firefox (not installed)", "Chromium"}));
}

} // namespace
} // namespace corvane::testing
