#include "app/model_fixture.h"
#include "core/router.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"
#include "ui/shell/app_delegate.h"
#include "ui/shell/dropdown_panel.h"
#include "ui/shell/panel_placement.h"
#include "ui/shell/run_in_front.h"
#include "ui/window/content_view.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::ModelTest;

// ---- Where the panel goes ------------------------------------------------

const ScreenArea laptop{QRect(0, 0, 1280, 800), QRect(0, 24, 1280, 776)};       // bar on top
const ScreenArea right{QRect(1280, 0, 1920, 1080), QRect(1280, 0, 1920, 1040)}; // bar at the bottom
const QSize panel(900, 640);

struct Placement {
    const char* name;
    std::optional<QRect> icon;
    QPoint pointer;
    QPoint expected;
    friend void PrintTo(const Placement& c, std::ostream* os) { *os << c.name; }
};

class PanelPlacement : public ::testing::TestWithParam<Placement> {};

TEST_P(PanelPlacement, FollowsTheIconOrFallsBack)
{
    const Placement& c = GetParam();
    EXPECT_EQ(positionUnderIcon(panel, c.icon, {laptop, right}, c.pointer), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Shell, PanelPlacement,
    ::testing::Values(
        // Centred under an icon in the top bar, 6 below it.
        Placement{"middle of the top bar", QRect(600, 1, 22, 22), {0, 0}, {611 - 450, 29}},
        // Near the right edge the panel stops 8 inside the free area ...
        Placement{"right end of the top bar", QRect(1250, 1, 22, 22), {0, 0}, {1280 - 900 - 8, 29}},
        // ... and near the left edge too.
        Placement{"left end of the top bar", QRect(2, 1, 22, 22), {0, 0}, {8, 29}},
        // A bar along the bottom: the panel stands 6 above the icon.
        Placement{"bottom bar of the second screen",
                  QRect(3000, 1050, 24, 24),
                  {0, 0},
                  {3200 - 900 - 8, 1050 - 640 - 6}},
        // The desktop does not say where the icon is: the panel hangs from the
        // edge of the screen nearest the pointer, centred on it along that edge.
        Placement{"unknown place, pointer in the top bar", QRect(), {700, 12}, {700 - 450, 24 + 6}},
        Placement{"unknown place, far from the edges", QRect(), {2000, 500}, {2000 - 450, 6}},
        // A tray in a bottom bar gets the panel above the bar ...
        Placement{"unknown place, bottom bar", QRect(), {3000, 1060}, {3200 - 900 - 8, 1040 - 640 - 6}},
        // ... and above the icon when the bar reserves no space.
        Placement{
            "unknown place, bottom bar over the free area", QRect(), {700, 795}, {700 - 450, 795 - 18 - 640}},
        // Side bars: beside the icon, kept inside the free area.
        Placement{"unknown place, left bar", QRect(), {5, 400}, {5 + 18, 400 - 320}},
        Placement{"unknown place, right bar", QRect(), {1275, 700}, {1275 - 18 - 900, 800 - 640 - 8}},
        // An icon inside the free area is not in a bar: same fallback.
        Placement{"icon in the middle of a screen", QRect(600, 400, 22, 22), {10, 10}, {8, 24 + 6}},
        // No tray icon at all: centred on the screen under the pointer.
        Placement{"no tray icon", std::nullopt, {2000, 500}, {1280 + (1920 - 900) / 2, (1040 - 640) / 2}}),
    [](const ::testing::TestParamInfo<Placement>& info) { return "case" + std::to_string(info.index); });

TEST(PanelPlacementEdges, NoScreenAtAllUsesALaptopSizedArea)
{
    EXPECT_EQ(positionUnderIcon(panel, QRect(), {}, {0, 0}), QPoint(8, 18));
}

TEST(PanelPlacementEdges, OnAScreenNarrowerThanThePanelTheRightBoundWins)
{
    const ScreenArea narrow{QRect(0, 0, 800, 600), QRect(0, 0, 800, 600)};
    EXPECT_EQ(positionUnderIcon(panel, QRect(), {narrow}, {0, 0}).x(), 800 - 900 - 8);
}

// Alerts answered at once with their last button, and recorded.
class FakeAlertsForShell : public AlertPresenter {
public:
    QList<Alert> shown;
    void run(const Alert& alert, std::function<void(int)> done) override
    {
        shown << alert;
        if (done)
            done(firstButton + int(std::max<qsizetype>(alert.buttons.size(), 1)) - 1);
    }
};

// Reports every widget that is shown, anywhere in the application.
class ShowSpy : public QObject {
public:
    explicit ShowSpy(std::function<void(QWidget*)> shown) : m_shown(std::move(shown))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            m_shown(static_cast<QWidget*>(watched));
        return false;
    }

private:
    std::function<void(QWidget*)> m_shown;
};

// ---- The shell over a private model --------------------------------------

class ShellTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        env.window = &delegate;
        model = makeModel();
        delegate.clock = [this] { return now; };
        delegate.terminate = [this] { ++terminated; };
        delegate.trayAvailable = [] { return false; };
    }
    void TearDown() override
    {
        if (auto* box = QApplication::activeModalWidget())
            box->close();
        ModelTest::TearDown();
    }

    void start(bool defaultLaunch = false)
    {
        ASSERT_FALSE(delegate.start(*model, {{"corvane"}, defaultLaunch}));
    }
    DropdownPanel& panel() { return *delegate.window(); }
    void addPending()
    {
        Pending link;
        link.id = Uuid::random();
        link.url = *Url::parse("https://unmatched.example.net/");
        model->setPending({link});
    }
    void setDefault(const QString& key, const QVariant& value)
    {
        model->userDefaults().setValue(key, value);
        delegate.applyMenuBarVisibility();
    }
    // Answers the next alert with the button titled `answer`, once it shows,
    // and records what it said.
    void answerAlertWith(const QString& answer)
    {
        QTimer::singleShot(0, [this, answer] { answerWhenShown(answer); });
    }

    AppDelegate delegate;
    std::unique_ptr<Model> model;
    qint64 now = 100000;
    int terminated = 0;
    QString alertText;
    QStringList alertButtons;

private:
    void answerWhenShown(const QString& answer)
    {
        // Answered only once the alert has taken the focus from the panel
        // and the panel had its turn to react, as a person would.
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || QApplication::activeWindow() != box || !settled) {
            settled = box && QApplication::activeWindow() == box;
            QTimer::singleShot(20, [this, answer] { answerWhenShown(answer); });
            return;
        }
        settled = false;
        alertText = box->text() + "|" + box->informativeText();
        alertButtons.clear();
        for (QAbstractButton* button : box->buttons())
            alertButtons << button->text();
        // The panel sits under the alert while it runs.
        panelOnTopDuringAlert = panel().onTop();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == answer)
                button->click();
    }

    bool settled = false;

public:
    std::optional<bool> panelOnTopDuringAlert;
};

TEST_F(ShellTest, PanelIsAFramelessToolWindowNamedCorvane)
{
    start();
    EXPECT_EQ(panel().windowTitle(), "Corvane");
    EXPECT_EQ(panel().size(), QSize(900, 640));
    EXPECT_TRUE(panel().windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(panel().windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel().testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(panel().content());
}

TEST_F(ShellTest, OrdinaryLaunchOpensThePanelAndALaunchForALinkDoesNot)
{
    start(false);
    QTest::qWait(2 * AppDelegate::showDelayMs);
    EXPECT_FALSE(panel().isVisible());

    AppDelegate other;
    other.trayAvailable = [] { return false; };
    ASSERT_FALSE(other.start(*model, {{"corvane"}, true}));
    EXPECT_FALSE(other.window()->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return other.window()->isVisible(); }, 5000));
}

TEST_F(ShellTest, ClickOnTheIconTogglesThePanelWithAGuardAfterAClose)
{
    start();
    delegate.statusItemClicked(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(panel().isVisible());

    // Clicking the icon of an open panel closes it and records when.
    now += 5000;
    delegate.statusItemClicked(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(delegate.closedAt(), now);

    // The same press arriving right after a close (the panel lost the focus
    // to the icon) must not reopen it, up to and including 0.3 s.
    now += AppDelegate::clickGuardMs;
    delegate.statusItemClicked(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(panel().isVisible());

    now += 1;
    delegate.statusItemClicked(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(panel().isVisible());

    // Other clicks leave it alone: the context menu opens by itself.
    delegate.statusItemClicked(QSystemTrayIcon::Context);
    delegate.statusItemClicked(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(panel().isVisible());
}

TEST_F(ShellTest, EscapeClosesThePanelUnlessTheRuleEditorIsUp)
{
    start();
    auto* view = qobject_cast<ContentView*>(panel().content());
    ASSERT_TRUE(view);
    delegate.show();
    now += 1000;

    Rule rule;
    rule.id = Uuid::random();
    view->editRule(rule);
    ASSERT_TRUE(view->editor());
    QTest::keyClick(&panel(), Qt::Key_Escape);
    EXPECT_TRUE(panel().isVisible());

    view->state().setEditing(std::nullopt);
    ASSERT_FALSE(view->editor());
    QTest::keyClick(&panel(), Qt::Key_Escape);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(delegate.closedAt(), now); // every closing path records the close
}

TEST_F(ShellTest, ShortcutsOfTheMainMenu)
{
    start();
    delegate.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));

    auto* view = qobject_cast<ContentView*>(panel().content());
    ASSERT_TRUE(view);
    QTest::keyClick(&panel(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(view->state().tab(), AppTab::settings);

    QTest::keyClick(&panel(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(terminated, 1);

    now += 1000;
    QTest::keyClick(&panel(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(panel().isVisible());
    EXPECT_EQ(delegate.closedAt(), now);
}

TEST_F(ShellTest, QuitWithoutPendingLinksAsksNothing)
{
    start();
    delegate.quit();
    EXPECT_EQ(terminated, 1);
    EXPECT_TRUE(alertText.isEmpty());
}

TEST_F(ShellTest, QuitWithPendingLinksAsksAndKeepRunningKeepsThem)
{
    start();
    delegate.show();
    addPending();

    answerAlertWith("Keep running");
    delegate.quit();
    EXPECT_EQ(alertText, "Discard pending links and quit?|Pending links are kept in memory only.");
    EXPECT_EQ(alertButtons, QStringList({"Keep running", "Discard and quit"}));
    EXPECT_EQ(terminated, 0);
    EXPECT_EQ(model->pending().size(), 1);
    // The panel gave up the top for the alert and has it back.
    EXPECT_EQ(panelOnTopDuringAlert, false);
    EXPECT_TRUE(panel().onTop());
    EXPECT_TRUE(panel().isVisible()); // the alert taking the focus is no click away

    answerAlertWith("Discard and quit");
    delegate.quit();
    EXPECT_EQ(terminated, 1);
}

TEST_F(ShellTest, PinningKeepsThePanelAsAnOrdinaryWindowThatAClickAwayLeavesOpen)
{
    start();
    EXPECT_TRUE(panel().onTop());
    delegate.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));

    setDefault("pinWindow", true);
    EXPECT_FALSE(panel().onTop());
    EXPECT_FALSE(panel().windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(panel().isVisible());

    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    QTest::qWait(50);
    EXPECT_TRUE(panel().isVisible());

    setDefault("pinWindow", false);
    EXPECT_TRUE(panel().onTop());
    EXPECT_TRUE(panel().windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(ShellTest, ClickingAwayClosesTheUnpinnedPanel)
{
    start();
    delegate.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));
    now += 1000;

    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel().isVisible(); }, 5000));
    EXPECT_EQ(delegate.closedAt(), now);
}

TEST_F(ShellTest, ShowInMenuBarRemovesTheIconAtOnceAndBringsBackAFreshOne)
{
    start();
    ASSERT_TRUE(delegate.statusItem());
    EXPECT_EQ(delegate.statusItem()->toolTip(), "Corvane");
    EXPECT_FALSE(delegate.statusItem()->icon().isNull());
    const QStringList menu = [&] {
        QStringList titles;
        for (QAction* action : delegate.statusMenu()->actions())
            titles << (action->isSeparator() ? "-" : action->text() + " " + action->shortcut().toString());
        return titles;
    }();
    EXPECT_EQ(menu, QStringList({"Open Corvane ", "Settings… Ctrl+,", "Check for Updates… ",
                                 "Send Feedback… ", "-", "Quit Corvane Ctrl+Q"}));

    QPointer<QSystemTrayIcon> first = delegate.statusItem();
    setDefault("showInMenuBar", false);
    EXPECT_FALSE(delegate.statusItem());
    EXPECT_FALSE(first);

    // Anything but a stored false shows it.
    setDefault("showInMenuBar", "maybe");
    EXPECT_TRUE(delegate.statusItem());
    setDefault("showInMenuBar", true);
    EXPECT_TRUE(delegate.statusItem());

    // Without an icon the model can still bring the panel up (a reopen).
    setDefault("showInMenuBar", false);
    model->showWindow();
    EXPECT_TRUE(panel().isVisible());
}

// Every entry of the tray menu, triggered as a person would, does its work.
TEST_F(ShellTest, EveryTrayMenuEntryDoesWhatItSays)
{
    FakeAlertsForShell alerts;
    env.alerts = &alerts;
    env.updates.feedURL = "http://127.0.0.1:1/latest.json"; // nothing listens there
    model = makeModel();
    start();
    auto* view = qobject_cast<ContentView*>(panel().content());
    ASSERT_TRUE(view);
    const auto trigger = [&](const QString& title) {
        for (QAction* action : delegate.statusMenu()->actions())
            if (action->text() == title) {
                action->trigger();
                return true;
            }
        return false;
    };

    ASSERT_TRUE(trigger("Open Corvane"));
    EXPECT_TRUE(panel().isVisible());
    delegate.hidePanel();

    ASSERT_TRUE(trigger("Settings…"));
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(view->state().tab(), AppTab::settings);

    ASSERT_TRUE(trigger("Check for Updates…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.shown.isEmpty(); }, 10000))
        << "the interactive check reports its outcome";
    EXPECT_EQ(alerts.shown.first().message, "Couldn't check for updates");

    ASSERT_TRUE(trigger("Send Feedback…"));
    ASSERT_EQ(platform.openedUrls.size(), 1);
    EXPECT_EQ(platform.openedUrls.first().scheme(), "mailto");

    ASSERT_TRUE(trigger("Quit Corvane"));
    EXPECT_EQ(terminated, 1);
}

// No piece of the window ever shows as a window of its own: a stray
// top-level window would take the keyboard from a picker that is up.
TEST_F(ShellTest, NothingButThePanelBecomesAWindow)
{
    platform.handler = WebHandler{"other.desktop", "Other"}; // the default-browser banner shows
    model = makeModel();
    QList<QWidget*> shownWindows;
    ShowSpy spy([&](QWidget* w) {
        if (w->isWindow())
            shownWindows << w;
    });
    start(true);
    model->setStatus("A message for the toast.");
    QTest::qWait(2 * AppDelegate::showDelayMs);
    ASSERT_TRUE(panel().isVisible());
    EXPECT_EQ(shownWindows, QList<QWidget*>{&panel()});
}

// The first click of the day: links received while Corvane starts are taken
// once the panel and the picker exist, so the picker they bring up stays up.
TEST_F(ShellTest, LinksHeldDuringStartUpReachThePickerAfterThePanelIsBuilt)
{
    PickerController realPicker;
    env.picker = &realPicker;
    model = makeModel();
    realPicker.setModel(model.get());
    bool panelExisted = false;
    AppDelegate::Launch launch{{"corvane"}, false};
    launch.receiveHeld = [&] {
        panelExisted = delegate.window() != nullptr;
        model->receive({"https://no-rule.example.net/"});
    };
    PickerController* picker = &realPicker;
    ASSERT_FALSE(delegate.start(*model, launch));
    EXPECT_TRUE(panelExisted);
    ASSERT_TRUE(picker->panel());
    QTest::qWait(300);
    ASSERT_TRUE(picker->panel()) << "the picker is still up";
    EXPECT_TRUE(picker->panel()->isVisible());
    EXPECT_FALSE(model->dismissedPicker());
}

// The picker takes the keyboard: an unpinned panel closes as it does on
// losing the focus, and stays closed once the link has been opened.
TEST_F(ShellTest, ThePickerTakingTheKeyboardClosesAnUnpinnedPanel)
{
    useRunner(openedAnswer);
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    PickerController realPicker(model.get());
    delegate.attachPicker(realPicker);
    start();
    for (const bool pinned : {true, false}) {
        SCOPED_TRACE(pinned ? "pinned" : "unpinned");
        setDefault("pinWindow", pinned);
        delegate.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));
        Pending link;
        link.id = Uuid::random();
        link.url = *Url::parse("https://no-rule.example.net/");
        model->setPending({link});
        realPicker.present(link, model->profiles());
        ASSERT_TRUE(realPicker.panel());
        QTest::qWait(100);
        EXPECT_EQ(panel().isVisible(), pinned);

        QTest::keyClick(realPicker.panel(), Qt::Key_1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->pending().isEmpty(); }, 5000));
        QTest::qWait(100);
        EXPECT_EQ(panel().isVisible(), pinned);
        delegate.hidePanel();
    }
}

TEST_F(ShellTest, FeedbackMailNamesTheVersionAndTheSystem)
{
    start();
    delegate.sendFeedback();
    ASSERT_EQ(platform.openedUrls.size(), 1);
    const QUrl mail = platform.openedUrls.first();
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_FALSE(mail.path().isEmpty());

    const QUrl link = Model::feedbackLink("help@example.org", "1.2.3", "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(link.path(), "help@example.org");
    const QUrlQuery query(link);
    EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "Corvane feedback");
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
              "\n\n\nCorvane 1.2.3, Debian GNU/Linux 12 (bookworm)");
    // Characters that mean something in a query stay data.
    const QUrl odd = Model::feedbackLink("help@example.org", "1&2", "A=B #1");
    EXPECT_EQ(QUrlQuery(odd).queryItemValue("body", QUrl::FullyDecoded), "\n\n\nCorvane 1&2, A=B #1");
    EXPECT_FALSE(Model::feedbackLink("", "1", "x").isValid());
}

TEST_F(ShellTest, PreviewSwitchRendersAndStopsOrIsIgnoredWhenLast)
{
    QString folder;
    delegate.renderPreviews = [&](const QString& f) {
        folder = f;
        return 0;
    };
    EXPECT_EQ(delegate.start(*model, {{"corvane", "--render-previews", "/tmp/out"}, true}), 0);
    EXPECT_EQ(folder, "/tmp/out");
    EXPECT_FALSE(delegate.window());

    AppDelegate other;
    other.trayAvailable = [] { return false; };
    EXPECT_FALSE(other.start(*model, {{"corvane", "--render-previews"}, false}));
    EXPECT_TRUE(other.window());
}

} // namespace
} // namespace corvane
