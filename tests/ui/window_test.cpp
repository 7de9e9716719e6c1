#include "app/model.h"
#include "ui/kit/appearance.h"
#include "ui/kit/button_style.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/preferences.h"
#include "ui/pages/rule_editor.h"
#include "ui/pages/rules_logic.h"
#include "ui/pages/rules_page.h"
#include "ui/window/banners.h"
#include "ui/window/nav_row.h"
#include "ui/window/sidebar.h"
#include "ui/window/toast.h"

#include "window_fixture.h"
#include <QProgressBar>

#include <QApplication>
#include <QBackingStore>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>

namespace corvane::testing {
namespace {

using WindowLayout = WindowTest;

TEST_F(WindowLayout, WithNothingKnownTheSidebarOffersOnlyToConnect)
{
    ContentView& v = makeView();
    EXPECT_EQ(v.size(), QSize(900, 640));
    Sidebar& bar = *v.sidebar();
    for (NavRow* row : {bar.rulesRow(), bar.linksRow(), bar.settingsRow()})
        EXPECT_EQ(row->count(), 0) << row->text().toStdString();
    EXPECT_TRUE(bar.rulesRow()->selected());
    EXPECT_TRUE(bar.profileRows().isEmpty());
    EXPECT_TRUE(bar.connectButton()->isVisible());
    EXPECT_EQ(bar.connectButton()->text(), "Connect to Dia");
    model->setBusy(true);
    EXPECT_EQ(bar.connectButton()->text(), "Connecting…");
    EXPECT_EQ(bar.refreshButton()->toolTip(), "Refresh profiles from Dia");
}

TEST_F(WindowLayout, ProfilesFromRulesAreListedAndMarkedWhenTheBrowserDoesNotKnowThem)
{
    model = makeModel();
    model->setProfiles({"Work", "Personal"});
    setRules({rule("a.com", "Work"), rule("b.com", "Old"), rule("c.com", "Old"), rule("d.com", "")});
    ContentView& v = makeView();
    Sidebar& bar = *v.sidebar();
    EXPECT_FALSE(bar.connectButton()->isVisible());
    ASSERT_EQ(bar.profileRows().size(), 3);
    struct Expected {
        const char* name;
        const char* icon;
        int count;
        const char* tip;
    };
    const Expected expected[] = {
        {"Old", "person.crop.circle.badge.questionmark", 2, "Old was not found in Dia"},
        {"Personal", "circle-user-round", 0, "Show rules for Personal"},
        {"Work", "circle-user-round", 1, "Show rules for Work"},
    };
    for (int i = 0; i < 3; ++i) {
        NavRow* row = bar.profileRows()[i];
        EXPECT_EQ(row->text(), expected[i].name);
        EXPECT_EQ(row->icon(), expected[i].icon);
        EXPECT_EQ(row->count(), expected[i].count);
        EXPECT_EQ(row->toolTip(), expected[i].tip);
    }
    EXPECT_EQ(bar.rulesRow()->count(), 4);
}

TEST_F(WindowLayout, KnownProfilesSortLikeTheFileBrowser)
{
    EXPECT_EQ(Sidebar::knownProfiles({"profile 10", "Profile 2", "alpha", ""},
                                     {Rule::make(MatchKind::domain, "x.com", "Beta"),
                                      Rule::make(MatchKind::domain, "y.com", "alpha")}),
              QStringList({"alpha", "Beta", "Profile 2", "profile 10"}));
}

TEST_F(WindowLayout, ASecondClickOnAProfileShowsAllRulesAgain)
{
    model = makeModel();
    model->setProfiles({"Work"});
    ContentView& v = makeView();
    v.state().setTab(AppTab::settings);
    NavRow* work = v.sidebar()->profileRows().value(0);
    ASSERT_NE(work, nullptr);
    QTest::mouseClick(work, Qt::LeftButton);
    EXPECT_EQ(v.state().tab(), AppTab::rules);
    EXPECT_EQ(v.state().profileFilter(), "Work");
    EXPECT_TRUE(work->selected());
    EXPECT_FALSE(v.sidebar()->rulesRow()->selected());
    QTest::mouseClick(work, Qt::LeftButton);
    EXPECT_EQ(v.state().profileFilter(), "");
    EXPECT_FALSE(work->selected());
    EXPECT_TRUE(v.sidebar()->rulesRow()->selected());
}

TEST_F(WindowLayout, TheLinksRowIsHighlightedWhileLinksWait)
{
    ContentView& v = makeView();
    model->receive({"https://example.com/a", "https://example.org/b"});
    NavRow* links = v.sidebar()->linksRow();
    QTRY_COMPARE_WITH_TIMEOUT(links->count(), 2, 5000);
    EXPECT_TRUE(links->highlight());
}

TEST_F(WindowLayout, AttentionAndRequestsChooseThePage)
{
    ContentView& v = makeView();
    v.state().setTab(AppTab::settings);
    model->setAttentionCount(model->attentionCount() + 1);
    EXPECT_EQ(v.state().tab(), AppTab::links);

    model->setRequestedTab(AppTab::settings);
    EXPECT_EQ(v.state().tab(), AppTab::settings);
    EXPECT_EQ(model->requestedTab(), std::nullopt);
    EXPECT_EQ(v.page(AppTab::settings)->isVisible(), true);

    // Links emptying is no attention: the page stays.
    model->setPending({});
    EXPECT_EQ(v.state().tab(), AppTab::settings);
}

TEST_F(WindowLayout, OneBannerAtATimeInItsOrder)
{
    env.updates.version = "1.0.0";
    model = makeModel();
    model->setIsDefaultBrowser(false);
    model->setDefaultIsLinkRouter(false);
    model->setAvailableUpdate(UpdateInfo{"9.9.9", QUrl("https://example.com"), std::nullopt});
    model->setLoadFailure(true);
    ContentView& v = makeView(std::nullopt);
    Banners& banners = *v.banners();
    EXPECT_EQ(banners.shown(), Banners::Kind::problem);
    EXPECT_EQ(banners.detail(), "Your settings file couldn't be read, so links aren't being routed. Fix or "
                                "restore it, then reopen the app.");
    EXPECT_TRUE(banners.button()->isVisible());

    model->setLoadFailure(false);
    model->setSaveError(QString("Couldn't save: disk full"));
    EXPECT_EQ(banners.shown(), Banners::Kind::problem);
    EXPECT_EQ(banners.detail(), "Couldn't save: disk full");
    EXPECT_FALSE(banners.button()->isVisible());

    model->setSaveError(std::nullopt);
    EXPECT_EQ(banners.shown(), Banners::Kind::defaultBrowser);
    EXPECT_EQ(banners.title(), "Links aren't reaching Corvane");
    EXPECT_EQ(banners.detail(), "Make it your default browser so your rules run.");
    model->setOtherDefaultBrowser(QString("Firefox"));
    EXPECT_EQ(banners.detail(), "Firefox is your default browser, so your rules don't run yet.");

    // Another link router as the default: the Settings page explains, no banner.
    model->setDefaultIsLinkRouter(true);
    EXPECT_EQ(banners.shown(), Banners::Kind::update);
    EXPECT_EQ(banners.title(), "Corvane 9.9.9 is available");
    EXPECT_EQ(banners.detail(), "You have 1.0.0. Installing takes a few seconds.");
    EXPECT_TRUE(banners.button()->isEnabled());
    model->setInstallingUpdate(true);
    EXPECT_EQ(banners.detail(), "Installing. Corvane restarts by itself.");
    EXPECT_EQ(banners.button()->text(), "Installing…");
    EXPECT_FALSE(banners.button()->isEnabled());
    // The download can be stopped; its progress is a bar once a length is known.
    EXPECT_TRUE(banners.cancelButton()->isVisible());
    EXPECT_TRUE(banners.cancelButton()->isEnabled());
    EXPECT_FALSE(banners.progress()->isVisible());
    model->setUpdateProgress(40);
    EXPECT_TRUE(banners.progress()->isVisible());
    EXPECT_EQ(banners.progress()->value(), 40);
    model->setInstallingUpdate(false);
    EXPECT_FALSE(banners.cancelButton()->isVisible());
    EXPECT_FALSE(banners.progress()->isVisible());
    model->setInstallingUpdate(true);

    model->setAvailableUpdate(std::nullopt);
    EXPECT_EQ(banners.shown(), Banners::Kind::none);
    EXPECT_FALSE(banners.isVisible());
}

TEST_F(WindowLayout, APreviewShowsTheDefaultBannerOnlyWhenAskedTo)
{
    model = makeModel();
    model->setIsDefaultBrowser(false);
    model->setDefaultIsLinkRouter(false);
    ContentView& v = makeView(ColorScheme::light);
    EXPECT_EQ(v.banners()->shown(), Banners::Kind::none);
    EXPECT_EQ(Banners::choose(*model, false), Banners::Kind::defaultBrowser);
    model->setPreviewDefaultBanner(true);
    EXPECT_EQ(Banners::choose(*model, true), Banners::Kind::defaultBrowser);
}

TEST_F(WindowLayout, TheToastShowsTheMessageAndAClickClearsIt)
{
    ContentView& v = makeView();
    model->flash("Opened in Work.");
    Toast& toast = *v.toast();
    EXPECT_TRUE(toast.isVisible());
    EXPECT_EQ(toast.message(), "Opened in Work.");
    QTRY_COMPARE_WITH_TIMEOUT(toast.progress(), 1.0, 5000);
    QTest::mouseClick(&toast, Qt::LeftButton, {}, toast.rect().center());
    EXPECT_EQ(model->toast().value_or(""), "");
    QTRY_VERIFY_WITH_TIMEOUT(!toast.isVisible(), 5000);
}

TEST_F(WindowLayout, ThePinButtonFlipsThePreference)
{
    ContentView& v = makeView();
    QAbstractButton* pin = v.sidebar()->pinButton();
    EXPECT_EQ(pin->accessibleName(), "Pin window");
    EXPECT_EQ(pin->toolTip(), "Keep this window open while you use other apps");
    QTest::mouseClick(pin, Qt::LeftButton);
    EXPECT_TRUE(Preferences::of(*model).pinWindow());
    EXPECT_TRUE(model->userDefaults().value("pinWindow").toBool());
    EXPECT_EQ(pin->accessibleName(), "Unpin window");
    EXPECT_EQ(pin->toolTip(), "Pinned: stays open. Click so it closes when you click away.");
}

TEST_F(WindowLayout, TheColourModeSwitchesTheWholeWindowAtOnce)
{
    model = makeModel();
    Preferences::of(*model).setAppearance("light");
    ContentView& v = makeView(std::nullopt);
    EXPECT_FALSE(v.dark());
    const QColor lightCard = v.grab().toImage().pixelColor(600, 630);

    Preferences::of(*model).setAppearance("dark");
    EXPECT_TRUE(v.dark());
    EXPECT_TRUE(Appearance::shared().dark());
    EXPECT_EQ(model->userDefaults().value("colorScheme").toString(), "dark");
    EXPECT_NE(v.grab().toImage().pixelColor(600, 630), lightCard);

    // A preview keeps its scheme whatever the application does.
    ContentView preview(*model, ColorScheme::light);
    Preferences::of(*model).setAppearance("dark");
    EXPECT_FALSE(preview.dark());
    Preferences::of(*model).setAppearance("system");
    Appearance::shared().setSystemDark(true);
    EXPECT_TRUE(v.dark());
    Appearance::shared().setSystemDark(false);
    EXPECT_FALSE(v.dark());
    EXPECT_FALSE(preview.dark());
}

TEST_F(WindowLayout, ALongToastWrapsWithinItsWidthAndKeepsEveryWord)
{
    ContentView& v = makeView();
    Toast& toast = *v.toast();
    model->flash("Opened in Work.");
    EXPECT_EQ(toast.lines(), QStringList{"Opened in Work."});
    const int oneLine = toast.height();

    // A routing error with its advice: the toast is the only place it is read.
    const QString advice = "Dia didn't answer within 25 seconds. Open a Dia window, check that the profile "
                           "\u201cWork\u201d still exists, then retry the link from Links.";
    model->flash(advice);
    const QStringList lines = toast.lines();
    EXPECT_GE(lines.size(), 2);
    EXPECT_LE(lines.size(), 3);
    EXPECT_EQ(lines.join(' '), advice) << "nothing is cut off";
    const QFontMetricsF metrics(UIFont::font(12, QFont::Medium));
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), 520 - 32) << line.toStdString();
    EXPECT_GT(toast.height(), oneLine + metrics.lineSpacing() / 2);
    // Its bottom edge stays 18 points above the card's.
    QTRY_COMPARE_WITH_TIMEOUT(toast.progress(), 1.0, 5000);

    // Past a few lines the last one ends in an ellipsis.
    model->flash(QString("A very long status. ").repeated(40));
    ASSERT_EQ(toast.lines().size(), 3);
    EXPECT_TRUE(toast.lines().last().endsWith(QChar(0x2026)));
}

TEST_F(WindowLayout, AMissingProfileBadgeIsAsLargeAsTheIconsBesideIt)
{
    model = makeModel();
    model->setProfiles({"Work"});
    setRules({rule("a.com", "Work"), rule("b.com", "Old")});
    ContentView& v = makeView();
    ASSERT_EQ(v.sidebar()->profileRows().size(), 2);
    // The drawn extent of each row's icon square (the left 30 points).
    const auto iconBounds = [&v](NavRow* row) {
        const QImage image = v.grab(QRect(row->mapTo(&v, QPoint(0, 0)), QSize(30, row->height()))).toImage();
        const QColor background = image.pixelColor(0, 0);
        QRect bounds;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) > 60)
                    bounds |= QRect(x, y, 1, 1);
            }
        return bounds;
    };
    const QRect missing = iconBounds(v.sidebar()->profileRows()[0]);
    const QRect known = iconBounds(v.sidebar()->profileRows()[1]);
    ASSERT_EQ(v.sidebar()->profileRows()[0]->icon(), "person.crop.circle.badge.questionmark");
    ASSERT_FALSE(known.isEmpty());
    EXPECT_NEAR(missing.width(), known.width(), 1);
    EXPECT_NEAR(missing.height(), known.height(), 1);
    EXPECT_NEAR(missing.center().x(), known.center().x(), 1);
}

// Every page header sets its detail line at the same distance below its
// title, filtered or not, with or without a control at its right. Measured
// from the top of the capitals each line starts with, as drawn: a label
// taller than its text would centre it, and a title's descenders (the "g" of
// "Routing rules", none in most profile names) say nothing about the layout.
TEST_F(WindowLayout, EveryPageHeaderKeepsTheSameGapBetweenTitleAndDetail)
{
    model = makeModel();
    model->setProfiles({"Work"});
    setRules({rule("a.com", "Work")});
    // The first row of a label that holds drawn text.
    const auto firstTextRow = [](QLabel* label) {
        const QImage image = label->grab().toImage();
        const QRgb background = image.pixel(image.width() - 1, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    return y;
        return -1;
    };
    // A window opened on `tab` (the page built before it is first shown, as
    // the panel and the previews build it), at `size`.
    const auto gap = [&](AppTab tab, QSize size, const QString& filter = QString()) {
        ContentView window(*model, ColorScheme::light);
        window.state().setProfileFilter(filter);
        window.state().setTab(tab);
        window.resize(size);
        window.show();
        QCoreApplication::processEvents();
        auto* header = window.page(tab)->findChild<PageHeader*>();
        EXPECT_TRUE(header);
        if (!header)
            return -1;
        return header->detailLabel()->y() + firstTextRow(header->detailLabel()) -
               (header->titleLabel()->y() + firstTextRow(header->titleLabel()));
    };
    // The panel, and the larger window the previews are drawn in.
    for (QSize size : {ContentView::panelSize, QSize(1040, 760)}) {
        SCOPED_TRACE(size.width());
        // 22-point capitals, 4 points of space, then the detail's.
        const int rules = gap(AppTab::rules, size);
        EXPECT_GT(rules, 22);
        EXPECT_LT(rules, 34);
        EXPECT_NEAR(gap(AppTab::links, size), rules, 1) << "Links";
        EXPECT_NEAR(gap(AppTab::settings, size), rules, 1) << "Settings";
        EXPECT_NEAR(gap(AppTab::rules, size, "Work"), rules, 1) << "filtered Rules";
    }
}

// Hidden, the panel gives up the buffer it was drawn into; shown again, it
// draws itself whole.
TEST_F(WindowLayout, AHiddenWindowGivesUpItsBufferAndPaintsWholeWhenShownAgain)
{
    ContentView& v = makeView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    QTRY_VERIFY(v.backingStore() && v.backingStore()->size() == v.size());
    v.hide();
    QTRY_COMPARE(v.backingStore()->size(), QSize(1, 1));
    v.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    QTRY_COMPARE(v.backingStore()->size(), v.size());
    QImage screen;
    QTRY_VERIFY((screen = v.screen()->grabWindow(v.winId()).toImage(), screen.size() == v.size()));
    const QPoint inCard =
        v.rulesPage()->mapTo(&v, QPoint(v.rulesPage()->width() - 10, v.rulesPage()->height() / 2));
    EXPECT_EQ(screen.pixelColor(inCard), v.palette().card()) << "the card is painted";
    EXPECT_EQ(screen.pixelColor(100, v.height() - 20), VantraPalette::frame()) << "the sidebar is painted";
}

// The rule editor is modal for the whole window: the sidebar is dimmed and out
// of reach of the pointer, and Tab goes round the sheet.
TEST_F(WindowLayout, WhileTheEditorIsUpNothingBehindItCanBeReached)
{
    model = makeModel();
    model->setProfiles({"Work"});
    setRules({rule("a.com", "Work")});
    ContentView& v = makeView();
    v.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
    NavRow* links = v.sidebar()->linksRow();
    const QPoint onLinks = links->mapTo(&v, links->rect().center());
    const QPoint onRulesPill =
        v.sidebar()->rulesRow()->mapTo(&v, QPoint(v.sidebar()->rulesRow()->width() - 4, 14));
    const QImage before = v.grab().toImage();

    v.editRule(RulesLogic::newRule("Work"));
    RuleEditor* editor = v.editor();
    ASSERT_TRUE(editor);
    const QImage after = v.grab().toImage();
    EXPECT_LT(qGray(after.pixel(onRulesPill)), qGray(before.pixel(onRulesPill)) - 5)
        << "the sidebar is dimmed";

    // A click goes where a person's click goes: to the window, at a point.
    QTest::mouseClick(v.windowHandle(), Qt::LeftButton, {}, onLinks);
    EXPECT_EQ(v.state().tab(), AppTab::rules);
    EXPECT_EQ(v.editor(), editor);

    for (int i = 0; i < 14; ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_TRUE(focused && editor->isAncestorOf(focused)) << "after " << i << " Tab presses";
        QTest::keyClick(focused, i % 5 == 4 ? Qt::Key_Backtab : Qt::Key_Tab);
    }

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_EQ(v.editor(), nullptr);
    QTest::mouseClick(v.windowHandle(), Qt::LeftButton, {}, onLinks);
    EXPECT_EQ(v.state().tab(), AppTab::links) << "with the sheet gone the same click switches";
}

} // namespace
} // namespace corvane::testing

namespace corvane::testing {
namespace {

// A page as the Links page will be: it asks the window to open the editor.
class RuleAskingPage : public QWidget {
    Q_OBJECT
signals:
    void createRule(const corvane::Rule& rule);
};

TEST_F(WindowLayout, APageInstalledLaterCanOpenTheEditorPrefilled)
{
    ContentView& v = makeView();
    auto* page = new RuleAskingPage;
    v.installPage(AppTab::links, page);
    EXPECT_EQ(v.page(AppTab::links), page);
    v.state().setTab(AppTab::links);
    EXPECT_TRUE(page->isVisible());

    const Rule wanted = Rule::make(MatchKind::domain, "example.com", "Work");
    emit page->createRule(wanted);
    ASSERT_NE(v.editor(), nullptr);
    EXPECT_EQ(v.editor()->rule(), wanted);
}

} // namespace
} // namespace corvane::testing

#include "window_test.moc"
