#include "app/favicons.h"
#include "app/model_fixture.h"
#include "ui/picker/picker_controller.h"
#include "ui/picker/picker_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::ModelTest;

// A private model whose picker is the real controller; the routing helper is
// the fixture's script, so a chosen link really goes out.
class PickerTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        // Site icons come from a folder of the test's own, never the network.
        icons = std::make_unique<Favicons>(path("icons"), Favicons::Fetch{}, true);
        Favicons::install(icons.get());
        env.picker = &controller;
        model = makeModel();
        controller.setModel(model.get());
        controller.setDarkMode([] { return false; });
    }
    void TearDown() override
    {
        controller.close();
        model.reset();
        Favicons::install(nullptr);
        ModelTest::TearDown();
    }

    // Receives an unmatched link; the model puts the picker up for it.
    void receive(const QStringList& profiles, const QString& link = "https://www.example.net/page")
    {
        model->setProfiles(profiles);
        model->receive({link});
        ASSERT_TRUE(controller.panel());
        ASSERT_TRUE(controller.panel()->isVisible());
    }

    // The profile the link ended up opened in; empty when nothing was opened.
    QString openedIn()
    {
        EXPECT_TRUE(waitIdle(*model));
        return model->recent().isEmpty() ? QString() : model->recent().first().profile;
    }

    void press(const QList<int>& keys)
    {
        for (int key : keys) {
            if (!controller.panel())
                return;
            // Keys go wherever the keyboard is: the panel must have taken it.
            QWidget* target = QApplication::focusWidget();
            ASSERT_EQ(target, controller.panel());
            const bool keypad = key == Qt::Key_Enter;
            QTest::keyClick(target, Qt::Key(key), keypad ? Qt::KeypadModifier : Qt::NoModifier);
        }
    }

    std::unique_ptr<Favicons> icons;
    PickerController controller;
    std::unique_ptr<Model> model;
};

TEST_F(PickerTest, PanelTakesTheKeyboardAtOnceAndIsNamed)
{
    receive({"Work", "Personal"});
    EXPECT_EQ(QApplication::activePopupWidget(), controller.panel());
    EXPECT_EQ(QApplication::focusWidget(), controller.panel());
    EXPECT_EQ(controller.panel()->windowTitle(), "Open link in profile");
    EXPECT_TRUE(controller.panel()->windowFlags().testFlag(Qt::Popup));
    EXPECT_EQ(controller.panel()->width(), 240);
}

TEST_F(PickerTest, KeyTableWithThreeProfiles)
{
    struct Case {
        const char* name;
        QList<int> keys;
        QString opened; // empty: the panel is still up, nothing chosen
        int selected = 0;
    };
    const QList<Case> cases{
        {"seven is past the list", {Qt::Key_7}, ""},
        {"two opens the second", {Qt::Key_2}, "Personal"},
        {"nine is past the list", {Qt::Key_9}, ""},
        {"zero, letters and tab do nothing", {Qt::Key_0, Qt::Key_A, Qt::Key_Tab, Qt::Key_Space}, ""},
        {"down stops at the last row", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}, "", 2},
        {"then return opens it", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, "Home"},
        {"up stops at the first row", {Qt::Key_Up, Qt::Key_Up}, "", 0},
        {"up from the bottom and return",
         {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return},
         "Personal"},
        {"keypad enter chooses", {Qt::Key_Down, Qt::Key_Enter}, "Personal"},
        {"return on the first row", {Qt::Key_Return}, "Work"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->setPending({});
        model->setRecent({});
        controller.close();
        receive({"Work", "Personal", "Home"});
        press(c.keys);
        if (c.opened.isEmpty()) {
            ASSERT_TRUE(controller.panel());
            EXPECT_TRUE(controller.panel()->isVisible());
            EXPECT_EQ(controller.state()->selected(), c.selected);
            EXPECT_TRUE(model->recent().isEmpty());
            EXPECT_FALSE(model->isRouting());
        } else {
            EXPECT_FALSE(controller.panel());
            EXPECT_EQ(openedIn(), c.opened);
            EXPECT_TRUE(model->pending().isEmpty());
        }
    }
}

TEST_F(PickerTest, WithoutProfilesOnlyTheConnectRowActs)
{
    receive({});
    PickerView* view = controller.view();
    ASSERT_EQ(view->rows().size(), 1);
    EXPECT_EQ(view->rows().first()->accessibleName(), "Connect to Chromium first");
    EXPECT_EQ(view->rows().first()->property("key").toString(), "");
    EXPECT_FALSE(view->checkbox());

    press({Qt::Key_1, Qt::Key_Return, Qt::Key_Down, Qt::Key_Enter, Qt::Key_Up});
    ASSERT_TRUE(controller.panel());
    EXPECT_FALSE(model->isRouting());

    QTest::mouseClick(static_cast<QAbstractButton*>(view->rows().first()), Qt::LeftButton);
    EXPECT_FALSE(controller.panel());
    EXPECT_EQ(window.shown, 1);
    // Opening the window is not setting the link aside.
    EXPECT_FALSE(model->dismissedPicker());
    EXPECT_EQ(model->pending().size(), 1);
}

TEST_F(PickerTest, EscapeAndAClickOutsideLeaveTheLinkWaiting)
{
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "escape" : "click outside");
        model->setPending({});
        model->setDismissedPicker(std::nullopt);
        model->setStatus("");
        receive({"Work", "Personal"});
        const Uuid id = model->pending().first().id;
        if (escape)
            press({Qt::Key_Escape});
        else
            QTest::mouseClick(controller.panel(), Qt::LeftButton, {}, QPoint(-30, -30));
        QTRY_VERIFY_WITH_TIMEOUT(!controller.panel(), 5000);
        EXPECT_EQ(model->dismissedPicker(), id);
        EXPECT_EQ(model->status(), "The link is waiting under Links.");
        ASSERT_EQ(model->pending().size(), 1);
        EXPECT_FALSE(model->pending().first().profile);
        // The queue does not bring the picker back for it by itself.
        model->drain();
        EXPECT_FALSE(controller.panel());
    }
}

TEST_F(PickerTest, TickedBoxClosesThenAddsTheRuleThenRetries)
{
    receive({"Work", "Personal"});
    QWidget* box = controller.view()->checkbox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->accessibleName(), "Always use for this site");
    QTest::mouseClick(static_cast<QAbstractButton*>(box), Qt::LeftButton);
    EXPECT_TRUE(controller.state()->always());

    QStringList events;
    QObject::connect(model.get(), &Model::configChanged,
                     [&] { events << QString("rule, panel %1").arg(controller.panel() ? "up" : "gone"); });
    QObject::connect(model.get(), &Model::pendingChanged, [&] {
        if (!model->pending().isEmpty() && model->pending().first().profile)
            events << QString("retry with %1 rules").arg(model->config().rules.size());
    });
    press({Qt::Key_2});
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events.mid(0, 2).join(" | ").toStdString(), "rule, panel gone | retry with 1 rules");

    ASSERT_EQ(model->config().rules.size(), 1u);
    const Rule& rule = model->config().rules.front();
    EXPECT_TRUE(rule.enabled);
    EXPECT_EQ(rule.kind, MatchKind::domain);
    EXPECT_EQ(rule.pattern, "example.net");
    EXPECT_EQ(rule.profile, "Personal");
    EXPECT_EQ(openedIn(), "Personal");
}

TEST_F(PickerTest, UntickedBoxAddsNoRule)
{
    receive({"Work", "Personal"});
    press({Qt::Key_1});
    EXPECT_EQ(openedIn(), "Work");
    EXPECT_TRUE(model->config().rules.empty());
}

TEST_F(PickerTest, LinkWithoutHostOpensWithoutARule)
{
    const std::optional<Url> url = Url::parse("https:///no-host");
    ASSERT_TRUE(url);
    ASSERT_EQ(url->host.value_or(""), "");
    const Pending link{Uuid::random(), *url, std::nullopt, "No matching rule. Pick a profile.", false, {}};
    model->setProfiles({"Work", "Personal"});
    model->setPending({link});
    controller.present(link, model->profiles());
    ASSERT_TRUE(controller.view());
    EXPECT_EQ(controller.view()->accessibleName(), "Open this link in");
    // No box to tick; a box ticked anyway (a state left over) adds nothing.
    EXPECT_FALSE(controller.view()->checkbox());
    controller.state()->setAlways(true);
    press({Qt::Key_2});
    EXPECT_EQ(openedIn(), "Personal");
    EXPECT_TRUE(model->config().rules.empty());
}

TEST_F(PickerTest, PresentingTheSameLinkKeepsItsPanelAnotherReplacesIt)
{
    receive({"Work", "Personal", "Home"});
    const Pending first = model->pending().first();
    PickerPanel* panel = controller.panel();
    press({Qt::Key_Down});
    QTest::mouseClick(static_cast<QAbstractButton*>(controller.view()->checkbox()), Qt::LeftButton);

    controller.present(first, model->profiles());
    EXPECT_EQ(controller.panel(), panel);
    EXPECT_EQ(controller.state()->selected(), 1);
    EXPECT_TRUE(controller.state()->always());

    Pending other = first;
    other.id = Uuid::random();
    controller.present(other, model->profiles());
    ASSERT_TRUE(controller.panel());
    EXPECT_NE(controller.panel(), panel);
    EXPECT_EQ(controller.presentedID(), other.id);
    EXPECT_EQ(controller.state()->selected(), 0);
    EXPECT_FALSE(controller.state()->always());
    // Replacing is not the user setting the first link aside.
    EXPECT_FALSE(model->dismissedPicker());
    EXPECT_EQ(model->status(), "");

    // The profiles arriving after the picker (a fresh start) give the link on
    // screen a panel that lists them.
    controller.present(other, {"Work", "Personal", "Home", "Travel"});
    ASSERT_TRUE(controller.panel());
    EXPECT_EQ(controller.presentedID(), other.id);
    EXPECT_EQ(controller.view()->rows().size(), 4);
    EXPECT_FALSE(model->dismissedPicker());
}

TEST_F(PickerTest, TwelveProfilesHaveKeycapsOnTheFirstNineOnly)
{
    QStringList profiles;
    for (int i = 1; i <= 12; ++i)
        profiles << QString("Profile %1").arg(i);
    receive(profiles);
    const QList<QWidget*> rows = controller.view()->rows();
    ASSERT_EQ(rows.size(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(rows[i]->accessibleName(), profiles[i]);
        EXPECT_EQ(rows[i]->property("key").toString(), i < 9 ? QString::number(i + 1) : QString());
    }

    // Rows past the ninth are reached with the pointer and with the arrows.
    QTest::mouseMove(rows[10]);
    QTRY_COMPARE_WITH_TIMEOUT(controller.state()->selected(), 10, 5000);
    press({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    EXPECT_EQ(openedIn(), "Profile 12");
}

TEST_F(PickerTest, AClickOnARowChoosesIt)
{
    receive({"Work", "Personal", "Home"});
    QTest::mouseClick(static_cast<QAbstractButton*>(controller.view()->rows()[2]), Qt::LeftButton);
    EXPECT_FALSE(controller.panel());
    EXPECT_EQ(openedIn(), "Home");
}

TEST(PickerPlacement, EightPointsFromThePointerAndInsideTheScreen)
{
    const QRect screen(100, 50, 1280, 800); // right edge at 1380, bottom at 850
    const QSize size(240, 178);
    struct Case {
        const char* name;
        QPoint mouse;
        QPoint origin;
    };
    const QList<Case> cases{
        {"middle: right of and below the pointer", {600, 400}, {608, 408}},
        {"top-left corner", {100, 50}, {108, 58}},
        {"top-right corner: left of the pointer", {1379, 50}, {1132, 58}},
        {"bottom-left corner: above the pointer", {100, 849}, {108, 664}},
        {"bottom-right corner: above and left", {1379, 849}, {1132, 664}},
        {"pointer off the screen to the top-left", {0, 0}, {108, 58}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PickerController::origin(c.mouse, size, screen), c.origin);
    }
    // A screen too small for the panel: the right and top bounds win.
    EXPECT_EQ(PickerController::origin({10, 10}, QSize(240, 178), QRect(0, 0, 200, 150)), QPoint(-48, 8));
}

} // namespace
} // namespace corvane
